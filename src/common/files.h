// The program's own files: where they are and how they are read. The platform parts live
// in files_posix.cpp and files_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace netsorter {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The directory of the running executable (UTF-8), without a final separator unless it is
// the root of a drive or of the file system.
std::string programDir();

// The full name of one of the program's files: a name that is already absolute (a drive
// letter and a colon on Windows, a leading "/" elsewhere) is taken as it is; any other name
// is joined to dir with one separator, and doubled separators are collapsed so that a root
// directory, which already ends in one, gets a single separator. A leading double backslash
// (a network share) is kept.
std::string fullName(std::string_view dir, std::string_view name, char separator = kPathSeparator);

// Reads a whole file. On failure reason holds the system's description of the failure.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& reason);

// A file opened for reading only (never created), read at absolute offsets so that no
// file position is shared between callers.
class RandomAccessFile {
public:
    RandomAccessFile() = default;
    ~RandomAccessFile() { close(); }
    RandomAccessFile(RandomAccessFile&& other) noexcept;
    RandomAccessFile& operator=(RandomAccessFile&& other) noexcept;
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    bool open(const std::string& path);
    void close() noexcept;
    bool isOpen() const { return handle_ != kNoHandle; }

    // The file's current length in bytes, asked of the system on every call.
    std::optional<std::uint64_t> size() const;

    // Reads exactly n bytes at offset; false when fewer are there or the read fails.
    bool readAt(std::uint64_t offset, void* buffer, std::size_t n) const;

private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
};

}  // namespace netsorter
