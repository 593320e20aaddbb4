#include "common/sha256.h"

#include <cstdint>

#include "common/files.h"

namespace netsorter {

Result<std::string> sha256OfFile(const std::string& path) {
    RandomAccessFile file;
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    return sha256OfFile(file);
}

Result<std::string> sha256OfFile(const RandomAccessFile& file) {
    Sha256 hash;
    std::string chunk(1 << 16, '\0');
    for (std::uint64_t at = 0;;) {
        const Result<std::size_t> got = file.readSome(at, chunk.data(), chunk.size());
        if (!got) {
            return got.status();
        }
        if (*got == 0) {
            return hash.hexDigest();
        }
        hash.add(std::string_view(chunk).substr(0, *got));
        at += *got;
    }
}

}  // namespace netsorter
