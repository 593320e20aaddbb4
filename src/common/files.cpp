#include "common/files.h"

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
