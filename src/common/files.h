// The program's own files: where they are and how they are read. The platform parts live
// in files_posix.cpp and files_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// This user's own folder of the program, for what it fetches and writes for itself:
// $XDG_DATA_HOME/netsorter, else ~/.local/share/netsorter; %LOCALAPPDATA%\Netsorter on
// Windows. Empty when the system names no home. Not created here.
std::string userDataDir();
// Its "cache" folder, where the programs keep what they make of the databases; empty when
// there is no such folder.
inline std::string userCacheDir() {
    const std::string data = userDataDir();
    return data.empty() ? data : fullName(data, "cache");
}

// Creates dir and its missing parents.
Status makeDirectories(const std::string& dir);

// The names in dir (files and folders, not "." nor ".."); empty when it cannot be read.
std::vector<std::string> filesIn(const std::string& dir);

// Removes a file; true when it is gone (or was never there).
bool removeFile(const std::string& path);

// A new file written from the start (an existing one is emptied), closed with its owner.
// Every failure keeps the system's reason (a full disk among them).
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    Status create(const std::string& path);
    Status write(std::string_view bytes);
    // Back to an empty file, to be written again.
    Status truncate();
    // What was written reaches the disk before the file is closed.
    Status finish();
    void close() noexcept;

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
};

// Puts the file from in place of the file to in one step (an old one is replaced; no reader
// ever sees a part of either), and makes the change reach the disk.
Status replaceFile(const std::string& from, const std::string& to);

// Asks the system to back a large table with huge pages where it can (Linux, when
// transparent huge pages are on request): random lookups in tables of many megabytes then
// miss the TLB far less often. Nothing elsewhere.
void adviseHugePages(const void* data, std::size_t bytes);

// A lock that one process at a time holds, on a file of its own (created if need be),
// until it is released or the process ends, however it ends.
class FileLock {
  public:
    FileLock() = default;
    ~FileLock() { release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock without waiting: false with held() false when another process has it,
    // the system's reason when the file cannot be opened.
    Result<bool> tryLock(const std::string& path);
    bool held() const { return handle_ != kNoHandle; }
    void release() noexcept;

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
};

}  // namespace netsorter
