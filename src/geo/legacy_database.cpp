#include "geo/legacy_database.h"

#include <algorithm>
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

// The turns for the path digits of an address: its 16-bit groups in base 2, most
// significant first.
void yieldPerPathDigit(const Ipv6Number& address, int levels, const Yield& yield) {
    for (int group = levels / 16 - 1; group >= 0; --group) {
        const std::uint64_t half = group >= 4 ? address.hi : address.lo;
        yieldPerDigit(static_cast<std::uint32_t>((half >> (16 * (group % 4))) & 0xFFFF), yield);
    }
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

Status LegacyCountryDatabase::Tree::open(const std::string& path, GeoAccess access) {
    close();
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    if (access == GeoAccess::MemoryImage) {
        image.emplace(levels);
        if (!image->load(file)) {
            close();
            return Status::failure("cannot be read whole");
        }
    }
    usable = true;
    return Status::success();
}

void LegacyCountryDatabase::Tree::fromBytes(std::string_view bytes) {
    image.emplace(levels);
    image->load(bytes);
    usable = true;
}

void LegacyCountryDatabase::Tree::close() {
    file.close();
    image.reset();
    usable = false;
}

WalkEnd LegacyCountryDatabase::Tree::walkFile(const Ipv6Number& address) const {
    const std::optional<std::uint64_t> length = file.size();
    if (!length) {
        return {WalkEnd::NotFound};
    }
    std::uint64_t node = 0;
    for (int level = 0; level < levels; ++level) {
        // The bound is on the node number, not on its byte offset.
        if (node >= *length) {
            return {WalkEnd::NotFound};
        }
        std::array<unsigned char, kNodeBytes> bytes{};
        // Only a damaged file ends inside a node; such a node counts as not found.
        if (!file.readAt(node * kNodeBytes, bytes.data(), bytes.size())) {
            return {WalkEnd::NotFound};
        }
        const std::uint32_t record = nodeRecord(bytes.data(), pathBit(address, levels, level));
        if (record > kCountryBegin) {
            return {WalkEnd::Leaf, record - kCountryBegin};
        }
        node = record;
    }
    // A sound database may end the walk of a single address without a country on this
    // record at the last level (Debian's GeoIP.dat does for 91.218.38.187, its GeoIPv6.dat
    // for ::91.218.38.187): that is an answer, not damage.
    return {node == kCountryBegin ? WalkEnd::NotFound : WalkEnd::Damaged};
}

Result<std::unique_ptr<LegacyCountryDatabase>> LegacyCountryDatabase::open(const std::string& path,
                                                                           GeoAccess access) {
    auto database = std::make_unique<LegacyCountryDatabase>();
    database->access_ = access;
    if (Status opened = database->v4_.open(path, access); !opened) {
        return opened;
    }
    return database;
}

std::unique_ptr<LegacyCountryDatabase> LegacyCountryDatabase::fromBytes(std::string_view bytes) {
    auto database = std::make_unique<LegacyCountryDatabase>();
    database->v4_.fromBytes(bytes);
    return database;
}

Status LegacyCountryDatabase::openIpv6(const std::string& path) {
    return v6_.open(path, access_);
}

CountryAnswer LegacyCountryDatabase::countryOf(const IpAddress& ip, const Yield& yield) {
    // IPv4 addresses written in IPv6 come as IPv4: GeoIPv6.dat's copy of them is never read.
    Tree& tree = ip.isV4() ? v4_ : v6_;
    if (!v4_.usable || !tree.usable) {
        return {};
    }
    const Ipv6Number address = ip.isV4() ? Ipv6Number{0, ip.v4()} : ip.v6();
    WalkEnd end;
    if (tree.image) {
        // A batch: the path is taken straight from the address's bits, with no turn for
        // other events, which a batch does not have.
        end = ip.isV4() ? tree.image->walk(ip.v4()) : tree.image->walk(address);
    } else {
        yieldPerPathDigit(address, tree.levels, yield);
        // A lookup nested in those turns may have found the database damaged.
        if (!v4_.usable || !tree.usable) {
            return {};
        }
        end = tree.walkFile(address);
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
            tree.close();
            if (&tree == &v4_) {
                v6_.close();
            }
            answer.kind = CountryAnswer::Damaged;
            answer.message = kDamagedDatabase;
            break;
    }
    return answer;
}

std::string legacyBuildDate(std::string_view end) {
    const std::size_t info = end.rfind(std::string_view("\0\0\0", 3));
    if (info == std::string_view::npos) {
        return {};
    }
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::string_view text = end.substr(info + 3);
    for (std::size_t i = 0; i + 8 <= text.size(); ++i) {
        const std::string_view d = text.substr(i, 8);
        if ((i == 0 || text[i - 1] == ' ') && std::all_of(d.begin(), d.end(), digit) &&
            (i + 8 == text.size() || !digit(text[i + 8]))) {
            const std::string date = std::string(d.substr(0, 4)) + "-" +
                                     std::string(d.substr(4, 2)) + "-" + std::string(d.substr(6));
            const bool valid = date.substr(5, 2) >= "01" && date.substr(5, 2) <= "12" &&
                               date.substr(8) >= "01" && date.substr(8) <= "31";
            return valid ? date : std::string();
        }
    }
    return {};
}

}  // namespace netsorter
