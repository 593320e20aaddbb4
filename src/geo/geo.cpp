#include "geo/geo.h"

#include <array>

#include "common/text.h"
#include "nets/ipv4.h"

namespace netsorter {
namespace {

constexpr std::uint64_t kRecordBytes = 3;
constexpr std::uint64_t kNodeBytes = 2 * kRecordBytes;

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

bool clsGeo::openDataFile(std::string_view FileName, GeoAccess access) {
    RandomAccessFile file;
    std::optional<GeoImage> image;
    if (access == GeoAccess::MemoryImage) {
        image.emplace();
    }
    if (!file.open(fullName(dataDir_, FileName)) || (image && !image->load(file))) {
        dataFileOk_ = false;
        return false;
    }
    dataFile_ = std::move(file);
    image_ = std::move(image);
    dataFileOk_ = true;
    return true;
}

void clsGeo::closeAsDamaged() {
    dataFile_.close();
    image_.reset();
    dataFileOk_ = false;
}

// The turns toBase gives while it writes value in base 2: one after each digit.
void clsGeo::yieldPerDigit(std::uint32_t value) {
    do {
        ui_.doEvents();
        value >>= 1;
    } while (value != 0);
}

WalkEnd clsGeo::walkFile(std::uint32_t address) const {
    const std::optional<std::uint64_t> length = dataFile_.size();
    if (!length) {
        return {WalkEnd::NotFound};
    }
    std::uint64_t node = 0;
    for (int level = 0; level < 32; ++level) {
        // The bound is on the node number, not on its byte offset.
        if (node >= *length) {
            return {WalkEnd::NotFound};
        }
        std::array<unsigned char, kNodeBytes> bytes{};
        // Only a damaged file ends inside a node; such a node counts as not found.
        if (!dataFile_.readAt(node * kNodeBytes, bytes.data(), bytes.size())) {
            return {WalkEnd::NotFound};
        }
        const size_t at = (address >> (31 - level)) & 1 ? kRecordBytes : 0;
        const std::uint32_t record =
            bytes[at] | (std::uint32_t{bytes[at + 1]} << 8) | (std::uint32_t{bytes[at + 2]} << 16);
        if (record > kCountryBegin) {
            return {WalkEnd::Leaf, record - kCountryBegin};
        }
        node = record;
    }
    // A sound database may end the walk of a single address without a country on this
    // record at the last level (Debian's GeoIP.dat does for 91.218.38.187): that is an
    // answer, not damage.
    return {node == kCountryBegin ? WalkEnd::NotFound : WalkEnd::Damaged};
}

const std::string* clsGeo::countryDescription(std::uint32_t country) {
    if (!byIndexValid_) {
        for (std::uint32_t i = 1; i < byIndex_.size(); ++i) {
            const auto found = lCountries_->find(std::to_string(i));
            byIndex_[i] = found == lCountries_->end() ? nullptr : &found->second;
        }
        byIndexValid_ = true;
    }
    return country < byIndex_.size() ? byIndex_[country] : nullptr;
}

bool clsGeo::getCountryByIP(std::string_view ipStr, std::string& description) {
    double number = 0;
    if (!ipToNumber(ipStr, number)) {
        return false;
    }
    if (!dataFileOk_ || !countriesOk_ || !lCountries_) {
        return false;
    }
    const auto address = static_cast<std::uint32_t>(number);
    if (image_) {
        // A batch: the path is taken straight from the address's bits, with no turn for
        // other events, which a batch does not have.
        return answer(image_->walk(address), description);
    }
    // The path digits: the two 16-bit halves in base 2.
    yieldPerDigit(address >> 16);
    yieldPerDigit(address & 0xFFFF);

    // Those turns let other events run: a nested lookup may have closed the database as
    // damaged, or a refused load may have dropped the table.
    if (!dataFileOk_ || !countriesOk_ || !lCountries_) {
        return false;
    }
    return answer(walkFile(address), description);
}

bool clsGeo::answer(const WalkEnd& end, std::string& description) {
    if (end.kind == WalkEnd::Leaf) {
        const std::string* found = countryDescription(end.country);
        if (!found) {
            return false;
        }
        description = *found;
        return true;
    }
    if (end.kind == WalkEnd::Damaged) {
        closeAsDamaged();
        ui_.msgBox(kDamagedDatabase, "Внимание", MsgIcon::Critical, MsgButtons::Ok);
    }
    return false;
}

bool clsGeo::openCountriesFile(std::string_view FileName) {
    const std::string path = fullName(dataDir_, FileName);
    if (!lCountries_) {
        lCountries_.emplace();
    }
    byIndexValid_ = false;
    std::string bytes;
    std::string reason;
    if (!readWholeFile(path, bytes, reason)) {
        return false;
    }
    const std::string text = decodeText(bytes);
    std::string().swap(bytes);
    size_t number = 0;
    bool refused = false;
    forEachLine(text, [&](std::string_view line) {
        ++number;
        if (refused) {
            return;  // nothing after the refused line is read
        }
        if (!line.empty() && line[0] != '#') {
            const size_t tab = line.find('\t');
            const std::string_view key = line.substr(0, tab);
            // A nested load, refused by the user, may have dropped the table meanwhile.
            if (!lCountries_) {
                lCountries_.emplace();
            }
            byIndexValid_ = false;
            const bool stored = tab != std::string_view::npos &&
                                lCountries_->emplace(foldCase(key), line.substr(tab + 1)).second;
            if (!stored) {
                const std::string prompt =
                    "Дублирующийся номер (" + std::string(key) + ")\r\nФайл " + path +
                    "\r\nСтрока " + std::to_string(number) + "\r\nПродолжить обработку файла?";
                if (ui_.msgBox(prompt, "Ошибка", MsgIcon::None, MsgButtons::YesNo) ==
                    MsgAnswer::No) {
                    lCountries_.reset();
                    countriesOk_ = false;
                    refused = true;
                    return;
                }
            }
        }
        ui_.doEvents();
    });
    if (refused) {
        return false;
    }
    countriesOk_ = true;
    return true;
}

}  // namespace netsorter
