// SHA-256, by the system's own implementation: OpenSSL's libcrypto on Linux, BCrypt on
// Windows (a system DLL, so the Windows programs bring no library of their own for it).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/problem.h"

namespace netsorter {

class RandomAccessFile;

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(std::string_view bytes);
    // The digest of everything added, in lower-case hex; the object is spent.
    std::string hexDigest();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The digest of a whole regular file, in lower-case hex, or why it cannot be read.
Result<std::string> sha256OfFile(const std::string& path);
// The same of a file already open, read from its start.
Result<std::string> sha256OfFile(const RandomAccessFile& file);

}  // namespace netsorter
