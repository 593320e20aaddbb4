// The program's own files: where they are and how they are read. The platform parts live
// in files_posix.cpp and files_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/problem.h"

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

// The last part of a path: all of it after its last separator ("\" or "/" on Windows, "/"
// elsewhere), or all of it when it has none.
std::string_view fileName(std::string_view path);

// The most a text file of the program (nets.txt, countries.txt) may hold: the text, its
// decoded copy and what is built from it must fit the process, which for the 32-bit
// program is 2 GB of address space.
inline constexpr std::uint64_t kMaxTextFileBytes =
    sizeof(void*) >= 8 ? std::uint64_t{1} << 30 : std::uint64_t{64} << 20;

// Why a file is refused although the system would open it.
std::string notARegularFileReason();
std::string tooLargeReason();

// Reads a whole regular file of at most kMaxTextFileBytes. A failure's reason is the
// system's description or one of the two reasons above, about the path. A FIFO or a device
// (/dev/zero) is refused without a read, so it can neither block nor fill memory.
Result<std::string> readWholeFile(const std::string& path);

// A regular file opened for reading only (never created; anything else, a FIFO included,
// is refused at once), read at absolute offsets so that no file position is shared
// between callers.
class RandomAccessFile {
  public:
    RandomAccessFile() = default;
    ~RandomAccessFile() { close(); }
    RandomAccessFile(RandomAccessFile&& other) noexcept;
    RandomAccessFile& operator=(RandomAccessFile&& other) noexcept;
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    // A failure's reason is the system's description, or notARegularFileReason().
    Status open(const std::string& path);
    void close() noexcept;

    // The file's current length in bytes, asked of the system on every call.
    std::optional<std::uint64_t> size() const;

    // Reads exactly n bytes at offset; false when fewer are there or the read fails.
    bool readAt(std::uint64_t offset, void* buffer, std::size_t n) const;

    // Reads at most n bytes at offset: how many (0 at the end of the file), or the
    // system's description of why the read failed.
    Result<std::size_t> readSome(std::uint64_t offset, void* buffer, std::size_t n) const;

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
};

}  // namespace netsorter
