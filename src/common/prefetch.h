// Asking the memory early for what a lookup a few addresses ahead will read: a batch of
// lookups in tables far larger than the caches then waits for memory once, not once per
// lookup and level.
#pragma once

#include <cstddef>
#include <cstdint>

namespace netsorter {

// Lookups of the tables below take two steps, as their reads depend on each other: the
// first asks for the bucket, the second (once it is there) for the entries it points at.
enum class PrefetchStep { Bucket, Entries };

inline void prefetchBytes(const void* from, std::size_t bytes) {
    constexpr std::size_t kLine = 64;
    const auto* at = static_cast<const char*>(from);
    // A bucket with very many entries is searched, not read whole: its first lines suffice.
    const std::size_t lines = bytes / kLine + 1;
    for (std::size_t i = 0; i < lines && i < 4; ++i) {
        __builtin_prefetch(at + i * kLine);
    }
}

}  // namespace netsorter
