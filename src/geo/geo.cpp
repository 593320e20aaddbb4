#include "geo/geo.h"

#include <array>

#include "common/text.h"
#include "nets/ipv4.h"

namespace netsorter {
namespace {

constexpr std::uint32_t kCountryBegin = 16776960;  // 0xFFFF00: records above it are leaves
constexpr std::uint64_t kRecordBytes = 3;
constexpr std::uint64_t kNodeBytes = 2 * kRecordBytes;

std::string padLeft(std::string digits, size_t width) {
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

}  // namespace

clsGeo::clsGeo(Ui& ui, std::string dataDir) : ui_(ui), dataDir_(std::move(dataDir)) {}

std::string clsGeo::toBase(std::uint32_t value, std::uint8_t base) {
    if (base < 2) {
        return {};
    }
    std::string digits;
    do {
        const std::uint32_t d = value % base;
        digits.insert(digits.begin(), static_cast<char>(d < 10 ? '0' + d : d + 55));
        value /= base;
        ui_.doEvents();
    } while (value != 0);
    return digits;
}

bool clsGeo::openDataFile(std::string_view FileName) {
    RandomAccessFile file;
    if (!file.open(fullName(dataDir_, FileName))) {
        dataFileOk_ = false;
        return false;
    }
    dataFile_ = std::move(file);
    dataFileOk_ = true;
    return true;
}

void clsGeo::closeAsDamaged() {
    dataFile_.close();
    dataFileOk_ = false;
}

bool clsGeo::getCountryByIP(std::string_view ipStr, std::string& description) {
    double number = 0;
    if (!ipToNumber(ipStr, number)) {
        return false;
    }
    if (!dataFileOk_ || !countriesOk_) {
        return false;
    }
    const auto address = static_cast<std::uint32_t>(number);
    const std::uint32_t high = address >> 16;
    const std::uint32_t low = address & 0xFFFF;
    const std::string path = padLeft(toBase(high, 2), 16) + padLeft(toBase(low, 2), 16);

    // toBase let other events run: a nested lookup may have closed the database as
    // damaged, or a refused load may have dropped the table.
    if (!dataFileOk_ || !countriesOk_ || !lCountries_) {
        return false;
    }
    const std::optional<std::uint64_t> length = dataFile_.size();
    if (!length) {
        return false;
    }
    std::uint64_t node = 0;
    for (const char digit : path) {
        // The bound is on the node number, not on its byte offset.
        if (node >= *length) {
            return false;
        }
        std::array<unsigned char, kNodeBytes> bytes{};
        // Only a damaged file ends inside a node; such a node counts as not found.
        if (!dataFile_.readAt(node * kNodeBytes, bytes.data(), bytes.size())) {
            return false;
        }
        const size_t at = digit == '1' ? kRecordBytes : 0;
        const std::uint32_t record =
            bytes[at] | (std::uint32_t{bytes[at + 1]} << 8) | (std::uint32_t{bytes[at + 2]} << 16);
        if (record > kCountryBegin) {
            const auto found = lCountries_->find(std::to_string(record - kCountryBegin));
            if (found == lCountries_->end()) {
                return false;
            }
            description = found->second;
            return true;
        }
        node = record;
    }
    // A sound database may end the walk of a single address without a country on this
    // record at the last level (Debian's GeoIP.dat does for 91.218.38.187): that is an
    // answer, not damage.
    if (node == kCountryBegin) {
        return false;
    }
    closeAsDamaged();
    ui_.msgBox(kDamagedDatabase, "Внимание", MsgIcon::Critical, MsgButtons::Ok);
    return false;
}

bool clsGeo::openCountriesFile(std::string_view FileName) {
    const std::string path = fullName(dataDir_, FileName);
    if (!lCountries_) {
        lCountries_.emplace();
    }
    std::string bytes;
    std::string reason;
    if (!readWholeFile(path, bytes, reason)) {
        return false;
    }
    const std::vector<std::string> lines = splitLines(decodeText(bytes));
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!line.empty() && line[0] != '#') {
            const size_t tab = line.find('\t');
            const std::string key = line.substr(0, tab);
            // A nested load, refused by the user, may have dropped the table meanwhile.
            if (!lCountries_) {
                lCountries_.emplace();
            }
            const bool stored =
                tab != std::string::npos &&
                lCountries_->emplace(foldCase(key), line.substr(tab + 1)).second;
            if (!stored) {
                const std::string prompt = "Дублирующийся номер (" + key + ")\r\nФайл " + path +
                                           "\r\nСтрока " + std::to_string(i + 1) +
                                           "\r\nПродолжить обработку файла?";
                if (ui_.msgBox(prompt, "Ошибка", MsgIcon::None, MsgButtons::YesNo) ==
                    MsgAnswer::No) {
                    lCountries_.reset();
                    countriesOk_ = false;
                    return false;
                }
            }
        }
        ui_.doEvents();
    }
    countriesOk_ = true;
    return true;
}

}  // namespace netsorter
