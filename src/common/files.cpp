#include "common/files.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "common/text.h"

namespace netsorter {

std::string fullName(std::string_view dir, std::string_view name, char separator) {
    const bool absolute = separator == '\\' ? (name.size() >= 2 && name[1] == ':')
                                            : (!name.empty() && name[0] == '/');
    if (absolute) {
        return std::string(name);
    }
    const std::string joined = std::string(dir) + separator + std::string(name);
    // A network share (\\server\share) starts with two backslashes that must stay two.
    const size_t keep = (separator == '\\' && joined.starts_with("\\\\")) ? 1 : 0;
    return joined.substr(0, keep) + collapsePairs(std::string_view(joined).substr(keep), separator);
}

std::string_view fileName(std::string_view path) {
#ifdef _WIN32
    const std::size_t cut = path.find_last_of("\\/");
#else
    const std::size_t cut = path.find_last_of('/');
#endif
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

Result<std::string> readWholeFile(const std::string& path) {
    const auto refused = [&](std::string reason) {
        return Problem::failure(Problem::Subject::None, path, std::move(reason));
    };
    RandomAccessFile file;
    if (const Status opened = file.open(path); !opened) {
        return refused(opened.reason());
    }
    const std::optional<std::uint64_t> size = file.size();
    if (size && *size > kMaxTextFileBytes) {
        return refused(tooLargeReason());
    }
    std::string data;
    data.reserve(static_cast<size_t>(size.value_or(0)));
    char chunk[65536];
    for (;;) {
        const Result<std::size_t> got = file.readSome(data.size(), chunk, sizeof chunk);
        if (!got) {
            return refused(got.reason());
        }
        if (*got == 0) {
            break;
        }
        // The file may grow while it is read.
        if (data.size() + *got > kMaxTextFileBytes) {
            return refused(tooLargeReason());
        }
        data.append(chunk, *got);
    }
    return data;
}

bool RandomAccessFile::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    auto* out = static_cast<char*>(buffer);
    while (n > 0) {
        const Result<std::size_t> got = readSome(offset, out, n);
        if (!got || *got == 0) {
            return false;
        }
        out += *got;
        offset += *got;
        n -= *got;
    }
    return true;
}

RandomAccessFile::RandomAccessFile(RandomAccessFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)) {}

RandomAccessFile& RandomAccessFile::operator=(RandomAccessFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
}

}  // namespace netsorter

namespace netsorter {

Status makeDirectories(const std::string& dir) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(fs::path(std::u8string(dir.begin(), dir.end())), error);
    if (error) {
        return Status::failure(dir + ": " + error.message());
    }
    return Status::success();
}

std::vector<std::string> filesIn(const std::string& dir) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(std::u8string(dir.begin(), dir.end())), error), end;
         !error && it != end; it.increment(error)) {
        const std::u8string name = it->path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    return names;
}

bool removeFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::remove(fs::path(std::u8string(path.begin(), path.end())), error);
    return !error;
}

}  // namespace netsorter
