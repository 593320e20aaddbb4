#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/files.h"

namespace netsorter {

std::string programDir() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) {
        return ".";
    }
    path.resize(static_cast<size_t>(n));
    // The root of the file system keeps its "/", any other directory loses it.
    path.resize(path.size() - fileName(path).size());
    if (path.size() > 1) {
        path.pop_back();
    }
    return path;
}

std::string notARegularFileReason() {
    return "not a regular file";
}

std::string tooLargeReason() {
    return "larger than " + std::to_string(kMaxTextFileBytes >> 20) + " MiB";
}

namespace {

// A descriptor closed with its owner.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// Opens path (following links) for reading if it is a regular file. Opening a FIFO for
// reading waits for a writer unless it is non-blocking, so the type is checked first and
// blocking reads are restored afterwards.
int openRegular(const std::string& path, off_t& size, std::string& reason) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        reason = std::strerror(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = notARegularFileReason();
        return -1;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        reason = std::strerror(errno);
        return -1;
    }
    size = st.st_size;
    return fd.release();
}

}  // namespace

Status RandomAccessFile::open(const std::string& path) {
    close();
    off_t size = 0;
    std::string why;
    const int fd = openRegular(path, size, why);
    if (fd < 0) {
        return Status::failure(std::move(why));
    }
    handle_ = fd;
    return Status::success();
}

void RandomAccessFile::close() noexcept {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));
        handle_ = kNoHandle;
    }
}

std::optional<std::uint64_t> RandomAccessFile::size() const {
    // Asked on every lookup: seeking to the end costs a third of fstat. The file position
    // itself is never used, every read names its offset.
    const off_t end = handle_ == kNoHandle ? -1 : ::lseek(static_cast<int>(handle_), 0, SEEK_END);
    if (end < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(end);
}

Result<std::size_t> RandomAccessFile::readSome(std::uint64_t offset, void* buffer,
                                               std::size_t n) const {
    if (handle_ == kNoHandle) {
        return Status::failure(std::strerror(EBADF));
    }
    for (;;) {
        const ssize_t got =
            ::pread(static_cast<int>(handle_), buffer, n, static_cast<off_t>(offset));
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            return Status::failure(std::strerror(errno));
        }
    }
}

}  // namespace netsorter

namespace netsorter {

std::string userDataDir() {
    // Only an absolute XDG_DATA_HOME counts, as the XDG rules say.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        return fullName(xdg, "netsorter");
    }
    const char* home = std::getenv("HOME");
    if (!home || home[0] == '\0') {
        return {};
    }
    return fullName(fullName(fullName(home, ".local"), "share"), "netsorter");
}

Status OutputFile::create(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Status::failure(path + ": " + std::strerror(errno));
    }
    handle_ = fd;
    return Status::success();
}

Status OutputFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Status::failure(std::strerror(n < 0 ? errno : ENOSPC));
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Status::success();
}

Status OutputFile::truncate() {
    if (::ftruncate(static_cast<int>(handle_), 0) != 0 ||
        ::lseek(static_cast<int>(handle_), 0, SEEK_SET) != 0) {
        return Status::failure(std::strerror(errno));
    }
    return Status::success();
}

Status OutputFile::finish() {
    if (::fsync(static_cast<int>(handle_)) != 0) {
        return Status::failure(std::strerror(errno));
    }
    const int fd = static_cast<int>(std::exchange(handle_, kNoHandle));
    if (::close(fd) != 0) {
        return Status::failure(std::strerror(errno));
    }
    return Status::success();
}

void OutputFile::close() noexcept {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(std::exchange(handle_, kNoHandle)));
    }
}

Status replaceFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return Status::failure(to + ": " + std::strerror(errno));
    }
    // The new name reaches the disk with the directory.
    const std::string dir = to.substr(0, to.size() - fileName(to).size());
    Descriptor fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        ::fsync(fd.get());
    }
    return Status::success();
}

void adviseHugePages(const void* data, std::size_t bytes) {
    // Only whole pages inside the table.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto from = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const auto to = (reinterpret_cast<std::uintptr_t>(data) + bytes) / page * page;
    if (to > from) {
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
}

Result<bool> FileLock::tryLock(const std::string& path) {
    release();
    Descriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        return Status::failure(path + ": " + std::strerror(errno));
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return false;
        }
        return Status::failure(path + ": " + std::strerror(errno));
    }
    handle_ = fd.release();
    return true;
}

void FileLock::release() noexcept {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(std::exchange(handle_, kNoHandle)));  // drops the lock
    }
}

}  // namespace netsorter
