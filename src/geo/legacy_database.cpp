#include "geo/legacy_database.h"

#include <array>

namespace netsorter {
namespace {

// The turns toBase gives while it writes value in base 2: one after each digit.
void yieldPerDigit(std::uint32_t value, const Yield& yield) {
    do {
        yieldOnce(yield);
        value >>= 1;
    } while (value != 0);
}

}  // namespace

std::string toBase(std::uint32_t value, std::uint8_t base, const Yield& yield) {
    if (base < 2) {
        return {};
    }
    std::string digits;
    do {
        const std::uint32_t d = value % base;
        digits.insert(digits.begin(), static_cast<char>(d < 10 ? '0' + d : d + 55));
        value /= base;
        yieldOnce(yield);
    } while (value != 0);
    return digits;
}

std::unique_ptr<LegacyCountryDatabase> LegacyCountryDatabase::open(const std::string& path,
                                                                   GeoAccess access,
                                                                   Status& status) {
    auto database = std::make_unique<LegacyCountryDatabase>();
    std::string reason;
    if (!database->file_.open(path, &reason)) {
        status = Status::failure(reason);
        return nullptr;
    }
    if (access == GeoAccess::MemoryImage) {
        database->image_.emplace();
        if (!database->image_->load(database->file_)) {
            status = Status::failure("cannot be read whole");
            return nullptr;
        }
    }
    status = Status::success();
    return database;
}

std::unique_ptr<LegacyCountryDatabase> LegacyCountryDatabase::fromBytes(std::string_view bytes) {
    auto database = std::make_unique<LegacyCountryDatabase>();
    database->image_.emplace();
    database->image_->load(bytes);
    return database;
}

WalkEnd LegacyCountryDatabase::walkFile(std::uint32_t address) const {
    const std::optional<std::uint64_t> length = file_.size();
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
        if (!file_.readAt(node * kNodeBytes, bytes.data(), bytes.size())) {
            return {WalkEnd::NotFound};
        }
        const std::uint32_t record = nodeRecord(bytes.data(), (address >> (31 - level)) & 1);
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

CountryAnswer LegacyCountryDatabase::countryOf(const IpAddress& ip, const Yield& yield) {
    if (!usable_ || !ip.isV4()) {
        return {};
    }
    const std::uint32_t address = ip.v4();
    WalkEnd end;
    if (image_) {
        // A batch: the path is taken straight from the address's bits, with no turn for
        // other events, which a batch does not have.
        end = image_->walk(address);
    } else {
        // The path digits: the two 16-bit halves in base 2.
        yieldPerDigit(address >> 16, yield);
        yieldPerDigit(address & 0xFFFF, yield);
        // A lookup nested in those turns may have found the database damaged.
        if (!usable_) {
            return {};
        }
        end = walkFile(address);
    }
    CountryAnswer answer;
    switch (end.kind) {
        case WalkEnd::Leaf:
            answer.kind = CountryAnswer::Country;
            answer.index = end.country;
            break;
        case WalkEnd::NotFound:
            break;
        case WalkEnd::Damaged:
            file_.close();
            image_.reset();
            usable_ = false;
            answer.kind = CountryAnswer::Damaged;
            answer.message = kDamagedDatabase;
            break;
    }
    return answer;
}

}  // namespace netsorter
