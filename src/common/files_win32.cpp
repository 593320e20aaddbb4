#include <windows.h>

#include <utility>

#include "common/files.h"
#include "common/wide.h"

namespace netsorter {
namespace {

HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// A handle closed with its owner.
class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) {
            CloseHandle(h_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }

  private:
    HANDLE h_;
};

// Opens path for reading if it is a file on a disk: a pipe or a device (NUL, CON, COM1)
// could wait for ever or never end, a directory is no file to read. Others may still
// replace the file (delete or rename it) while it is open, as an updater of GeoIP.dat,
// which stays open, does.
HANDLE openRegular(const std::string& path, std::uint64_t& size, std::string& reason) {
    Handle h(CreateFileW(toWide(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE) {
        reason = systemMessage(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(h.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        reason = notARegularFileReason();
        return INVALID_HANDLE_VALUE;
    }
    size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return h.release();
}

}  // namespace

std::string programDir() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return ".";
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string dir = fromWide(path);
    dir.resize(dir.size() - fileName(dir).size());
    if (dir.empty()) {
        return ".";
    }
    // A drive's root keeps its backslash ("C:\"), any other directory loses it.
    if (!(dir.size() == 3 && dir[1] == ':')) {
        dir.pop_back();
    }
    return dir;
}

std::string notARegularFileReason() {
    return "Это не обычный файл.";
}

std::string tooLargeReason() {
    return "Файл больше " + std::to_string(kMaxTextFileBytes >> 20) + " МБ.";
}

Status RandomAccessFile::open(const std::string& path) {
    close();
    std::uint64_t size = 0;
    std::string why;
    const HANDLE h = openRegular(path, size, why);
    if (h == INVALID_HANDLE_VALUE) {
        return Status::failure(std::move(why));
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return Status::success();
}

void RandomAccessFile::close() noexcept {
    if (handle_ != kNoHandle) {
        CloseHandle(asHandle(handle_));
        handle_ = kNoHandle;
    }
}

std::optional<std::uint64_t> RandomAccessFile::size() const {
    LARGE_INTEGER size{};
    if (handle_ == kNoHandle || !GetFileSizeEx(asHandle(handle_), &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

Result<std::size_t> RandomAccessFile::readSome(std::uint64_t offset, void* buffer,
                                               std::size_t n) const {
    if (handle_ == kNoHandle) {
        return Status::failure(systemMessage(ERROR_INVALID_HANDLE));
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD wanted = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    if (!ReadFile(asHandle(handle_), buffer, wanted, &got, &at)) {
        // A read that starts at or past the end is no failure, only the end.
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) {
            return std::size_t{0};
        }
        return Status::failure(systemMessage(error));
    }
    return std::size_t{got};
}

}  // namespace netsorter

namespace netsorter {

std::string userDataDir() {
    std::wstring local(MAX_PATH, L'\0');
    const DWORD n =
        GetEnvironmentVariableW(L"LOCALAPPDATA", local.data(), static_cast<DWORD>(local.size()));
    if (n == 0 || n >= local.size()) {
        return {};
    }
    local.resize(n);
    return fullName(fromWide(local), "Netsorter");
}

Status OutputFile::create(const std::string& path) {
    close();
    const HANDLE h = CreateFileW(toWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return Status::failure(path + ": " + systemMessage(GetLastError()));
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return Status::success();
}

Status OutputFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
        DWORD wrote = 0;
        if (!WriteFile(asHandle(handle_), bytes.data(), chunk, &wrote, nullptr) || wrote == 0) {
            return Status::failure(systemMessage(GetLastError()));
        }
        bytes.remove_prefix(wrote);
    }
    return Status::success();
}

Status OutputFile::truncate() {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(asHandle(handle_), zero, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(asHandle(handle_))) {
        return Status::failure(systemMessage(GetLastError()));
    }
    return Status::success();
}

Status OutputFile::finish() {
    if (!FlushFileBuffers(asHandle(handle_))) {
        return Status::failure(systemMessage(GetLastError()));
    }
    CloseHandle(asHandle(std::exchange(handle_, kNoHandle)));
    return Status::success();
}

void OutputFile::close() noexcept {
    if (handle_ != kNoHandle) {
        CloseHandle(asHandle(std::exchange(handle_, kNoHandle)));
    }
}

Status replaceFile(const std::string& from, const std::string& to) {
    // Possible while the programs run: they read a database into memory and close it.
    if (!MoveFileExW(toWide(from).c_str(), toWide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Status::failure(to + ": " + systemMessage(GetLastError()));
    }
    return Status::success();
}

void adviseHugePages(const void*, std::size_t) {}

Result<bool> FileLock::tryLock(const std::string& path) {
    release();
    // Opened without sharing: a second opener is refused until this handle is closed,
    // which the system does when the process ends.
    const HANDLE h = CreateFileW(toWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            return false;
        }
        return Status::failure(path + ": " + systemMessage(error));
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
}

void FileLock::release() noexcept {
    if (handle_ != kNoHandle) {
        CloseHandle(asHandle(std::exchange(handle_, kNoHandle)));
    }
}

}  // namespace netsorter
