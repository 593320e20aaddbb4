// Prepared tables kept in a file of their own, so that a later start reads them in a few
// reads instead of making them again from the database they came from. The file names the
// database by its content's SHA-256; a file of another version, of another database, or
// damaged anywhere (a checksum covers every byte) is refused, and the caller makes the
// tables as before. Nothing read from the file is trusted: every size is checked against
// the room left in the file and the most the database can hold before memory is taken.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"

namespace netsorter {

// What a cache file is for: the kind of table (one per reader) and the database it was made
// from.
struct TableCacheKey {
    std::string_view kind;  // at most 8 bytes
    std::uint64_t databaseSize = 0;
    std::string databaseSha256;  // lower-case hex
};

// The file in dir holding the tables of kind made from the database at path: one per
// database and kind, so that none overwrites another's.
std::string tableCachePath(const std::string& dir, std::string_view kind,
                           const std::string& databasePath);

// Sections written one after another, each its length and its bytes.
class TableCacheWriter {
  public:
    explicit TableCacheWriter(TableCacheKey key) : key_(std::move(key)) {}

    template <class T, class Allocator>
    void add(const std::vector<T, Allocator>& values) {
        add(std::string_view(reinterpret_cast<const char*>(values.data()),
                             values.size() * sizeof(T)));
    }
    void add(std::string_view bytes) { sections_.push_back(bytes); }

    // Writes the file in one step: another process sees the old file or the new one, never
    // a part. The sections' bytes must live until then.
    Status write(const std::string& path) const;

  private:
    TableCacheKey key_;
    std::vector<std::string_view> sections_;
};

// Reads the sections back in the order they were written, each checked for its size; the
// file is closed when the reader goes.
class TableCacheReader {
  public:
    // The reader over the file at path when its header is whole and names this version, the
    // kind and a database of this size; nothing otherwise. Which database (its content's
    // hash) is for the caller to compare, so that it hashes the database only when it may
    // match.
    static std::optional<TableCacheReader> open(const std::string& path, std::string_view kind,
                                                std::uint64_t databaseSize);
    const std::string& databaseSha256() const { return databaseSha256_; }

    // The next section into values, when it holds whole values and at most maxCount of them.
    template <class T, class Allocator>
    bool read(std::vector<T, Allocator>& values, std::uint64_t maxCount) {
        std::uint64_t bytes = 0;
        if (!sectionBytes(sizeof(T), maxCount, bytes)) {
            return false;
        }
        values.resize(static_cast<std::size_t>(bytes / sizeof(T)));
        return readInto(values.data(), bytes);
    }
    bool read(std::string& text, std::uint64_t maxBytes);

    // Whether every section was read, the file has nothing after them, and the checksum
    // holds: only then is anything read to be used.
    bool finish() const;

  private:
    TableCacheReader() = default;

    bool sectionBytes(std::size_t unit, std::uint64_t maxCount, std::uint64_t& bytes);
    bool readInto(void* data, std::uint64_t bytes);

    RandomAccessFile file_;
    std::string databaseSha256_;
    std::uint64_t size_ = 0;
    std::uint64_t at_ = 0;
    std::uint64_t checksum_ = 0;
    std::uint64_t expected_ = 0;
    bool failed_ = false;
};

}  // namespace netsorter
