#include "geo/table_cache.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>
#include <random>

#include "common/sha256.h"

namespace netsorter {
namespace {

// The header: the magic, the layout's version, the kind of table, the database's size and
// hash, and the checksum of all that precedes it and of every section.
constexpr std::array<char, 8> kMagic = {'N', 'S', 'T', 'A', 'B', 'L', 'E', '\n'};
// Raised whenever the layout of a section changes, so that an older file is refused.
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kShaHexSize = 64;

struct Header {
    std::array<char, 8> magic;
    std::uint32_t version;
    std::array<char, 8> kind;  // the name, padded with zero bytes
    std::uint32_t reserved;
    std::uint64_t databaseSize;
    std::array<char, kShaHexSize> databaseSha256;
    std::uint64_t checksum;
};
static_assert(sizeof(Header) == 104, "the header has no padding");
constexpr std::size_t kChecked = offsetof(Header, checksum);

// A 64-bit hash at several bytes a cycle: the tables are tens of megabytes, read on every
// start. Each byte passes through bijective steps, so that a change of any one byte always
// changes the result; chaining the seed makes the sections one sum.
constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87;
constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4F;
constexpr std::uint64_t kP3 = 0x165667B19E3779F9;
constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63;
constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5;

std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint64_t mixIn(std::uint64_t acc, std::uint64_t input) {
    return std::rotl(acc + input * kP2, 31) * kP1;
}

std::uint64_t hashBytes(const void* data, std::size_t n, std::uint64_t seed) {
    const auto* p = static_cast<const unsigned char*>(data);
    const unsigned char* const end = p + n;
    std::uint64_t h;
    if (n >= 32) {
        std::uint64_t v1 = seed + kP1 + kP2, v2 = seed + kP2, v3 = seed, v4 = seed - kP1;
        for (; end - p >= 32; p += 32) {
            v1 = mixIn(v1, load64(p));
            v2 = mixIn(v2, load64(p + 8));
            v3 = mixIn(v3, load64(p + 16));
            v4 = mixIn(v4, load64(p + 24));
        }
        h = std::rotl(v1, 1) + std::rotl(v2, 7) + std::rotl(v3, 12) + std::rotl(v4, 18);
        for (const std::uint64_t v : {v1, v2, v3, v4}) {
            h = (h ^ mixIn(0, v)) * kP1 + kP4;
        }
    } else {
        h = seed + kP5;
    }
    h += n;
    for (; end - p >= 8; p += 8) {
        h = std::rotl(h ^ mixIn(0, load64(p)), 27) * kP1 + kP4;
    }
    for (; p < end; ++p) {
        h = std::rotl(h ^ (*p * kP5), 11) * kP1;
    }
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return h ^ (h >> 32);
}

std::array<char, 8> kindField(std::string_view kind) {
    std::array<char, 8> field{};
    kind.copy(field.data(), field.size());
    return field;
}

std::string hexOf(std::uint64_t v) {
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) {
        hex[static_cast<std::size_t>(i)] = "0123456789abcdef"[v & 15];
    }
    return hex;
}

}  // namespace

std::string tableCachePath(const std::string& dir, std::string_view kind,
                           const std::string& databasePath) {
    Sha256 hash;
    hash.add(databasePath);
    return fullName(dir, std::string(kind) + "-" + hash.hexDigest().substr(0, 32) + ".table");
}

Status TableCacheWriter::write(const std::string& path) const {
    if (key_.databaseSha256.size() != kShaHexSize) {
        return Status::failure("no hash of the database");
    }
    Header header{.magic = kMagic,
                  .version = kVersion,
                  .kind = kindField(key_.kind),
                  .reserved = 0,
                  .databaseSize = key_.databaseSize,
                  .databaseSha256 = {},
                  .checksum = 0};
    std::memcpy(header.databaseSha256.data(), key_.databaseSha256.data(), kShaHexSize);
    std::uint64_t checksum = hashBytes(&header, kChecked, 0);
    std::vector<std::uint64_t> lengths;
    lengths.reserve(sections_.size());
    for (const std::string_view section : sections_) {
        lengths.push_back(section.size());
        checksum = hashBytes(&lengths.back(), sizeof(std::uint64_t), checksum);
        checksum = hashBytes(section.data(), section.size(), checksum);
    }
    header.checksum = checksum;

    // A name of its own for each writer: two processes may make the same file at once.
    std::random_device random;
    const std::string temporary =
        path + "." + hexOf(std::uint64_t{random()} << 32 | random()) + ".tmp";
    Status written = [&] {
        OutputFile file;
        Status status = file.create(temporary);
        if (status) {
            status =
                file.write(std::string_view(reinterpret_cast<const char*>(&header), sizeof header));
        }
        for (std::size_t i = 0; status && i < sections_.size(); ++i) {
            status = file.write(std::string_view(reinterpret_cast<const char*>(&lengths[i]),
                                                 sizeof(std::uint64_t)));
            if (status) {
                status = file.write(sections_[i]);
            }
        }
        return status;
    }();
    if (written) {
        written = replaceFile(temporary, path);
    }
    if (!written) {
        removeFile(temporary);
    }
    return written;
}

std::optional<TableCacheReader> TableCacheReader::open(const std::string& path,
                                                       std::string_view kind,
                                                       std::uint64_t databaseSize) {
    TableCacheReader reader;
    if (!reader.file_.open(path)) {
        return std::nullopt;
    }
    Header header{};
    const std::optional<std::uint64_t> size = reader.file_.size();
    if (!size || *size < sizeof header || !reader.file_.readAt(0, &header, sizeof header) ||
        header.magic != kMagic || header.version != kVersion || header.kind != kindField(kind) ||
        header.databaseSize != databaseSize) {
        return std::nullopt;
    }
    reader.databaseSha256_.assign(header.databaseSha256.data(), kShaHexSize);
    reader.size_ = *size;
    reader.at_ = sizeof header;
    reader.checksum_ = hashBytes(&header, kChecked, 0);
    reader.expected_ = header.checksum;
    return reader;
}

bool TableCacheReader::sectionBytes(std::size_t unit, std::uint64_t maxCount,
                                    std::uint64_t& bytes) {
    if (failed_ || size_ - at_ < sizeof bytes || !file_.readAt(at_, &bytes, sizeof bytes)) {
        failed_ = true;
        return false;
    }
    checksum_ = hashBytes(&bytes, sizeof bytes, checksum_);
    at_ += sizeof bytes;
    // Checked before any memory is taken for it: a length that is no length is refused here.
    if (bytes % unit != 0 || bytes / unit > maxCount || bytes > size_ - at_ ||
        bytes > std::numeric_limits<std::size_t>::max()) {
        failed_ = true;
        return false;
    }
    return true;
}

bool TableCacheReader::readInto(void* data, std::uint64_t bytes) {
    if (bytes > 0 && !file_.readAt(at_, data, static_cast<std::size_t>(bytes))) {
        failed_ = true;
        return false;
    }
    checksum_ = hashBytes(data, static_cast<std::size_t>(bytes), checksum_);
    at_ += bytes;
    return true;
}

bool TableCacheReader::read(std::string& text, std::uint64_t maxBytes) {
    std::uint64_t bytes = 0;
    if (!sectionBytes(1, maxBytes, bytes)) {
        return false;
    }
    text.resize(static_cast<std::size_t>(bytes));
    return readInto(text.data(), bytes);
}

bool TableCacheReader::finish() const {
    return !failed_ && at_ == size_ && checksum_ == expected_;
}

}  // namespace netsorter
