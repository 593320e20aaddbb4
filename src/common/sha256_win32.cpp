#include <windows.h>
// bcrypt.h needs windows.h above it.
#include <bcrypt.h>

#include <stdexcept>
#include <vector>

#include "common/sha256.h"

namespace netsorter {

struct Sha256::State {
    struct CloseAlgorithm {
        void operator()(BCRYPT_ALG_HANDLE h) const { BCryptCloseAlgorithmProvider(h, 0); }
    };
    struct DestroyHash {
        void operator()(BCRYPT_HASH_HANDLE h) const { BCryptDestroyHash(h); }
    };
    std::unique_ptr<void, CloseAlgorithm> algorithm;
    std::unique_ptr<void, DestroyHash> hash;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        throw std::runtime_error("SHA-256 is not available");
    }
    state_->algorithm.reset(algorithm);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        throw std::runtime_error("SHA-256 is not available");
    }
    state_->hash.reset(hash);
}

Sha256::~Sha256() = default;

void Sha256::add(std::string_view bytes) {
    // BCrypt takes at most 4 GiB a call.
    while (!bytes.empty()) {
        const ULONG n = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<ULONG>(bytes.size());
        BCryptHashData(state_->hash.get(),
                       reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), n, 0);
        bytes.remove_prefix(n);
    }
}

std::string Sha256::hexDigest() {
    unsigned char digest[32];
    BCryptFinishHash(state_->hash.get(), digest, sizeof digest, 0);
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 15];
    }
    return hex;
}

}  // namespace netsorter
