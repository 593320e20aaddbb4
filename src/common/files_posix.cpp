#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/files.h"

namespace netsorter {

std::string programDir() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) {
        return ".";
    }
    path.resize(static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    std::string data;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            reason = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        data.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    bytes = std::move(data);
    return true;
}

bool RandomAccessFile::open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
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

bool RandomAccessFile::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (handle_ == kNoHandle) {
        return false;
    }
    auto* out = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = ::pread(static_cast<int>(handle_), out, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace netsorter
