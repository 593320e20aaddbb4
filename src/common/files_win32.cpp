#include <windows.h>

#include "common/files.h"
#include "common/wide.h"

namespace netsorter {
namespace {

HANDLE asHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

HANDLE openForReading(const std::string& path) {
    return CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return ".";
    }
    // A drive's root keeps its backslash ("C:\"), any other directory loses it.
    const bool root = slash == 2 && path[1] == L':';
    return fromWide(path.substr(0, root ? slash + 1 : slash));
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& reason) {
    const HANDLE h = openForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        reason = systemMessage(GetLastError());
        return false;
    }
    std::string data;
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, chunk, sizeof chunk, &got, nullptr)) {
            reason = systemMessage(GetLastError());
            CloseHandle(h);
            return false;
        }
        if (got == 0) {
            break;
        }
        data.append(chunk, got);
    }
    CloseHandle(h);
    bytes = std::move(data);
    return true;
}

bool RandomAccessFile::open(const std::string& path) {
    close();
    const HANDLE h = openForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
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

bool RandomAccessFile::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (handle_ == kNoHandle) {
        return false;
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(asHandle(handle_), buffer, static_cast<DWORD>(n), &got, &at) && got == n;
}

}  // namespace netsorter
