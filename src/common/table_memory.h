// Memory for tables of many megabytes that are filled right after they are sized: a lookup
// in them misses the TLB far less often on huge pages, and every 4 KiB page is a fault of
// its own when the table is filled (on a virtual machine, most of a start's time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "common/files.h"

namespace netsorter {

// An allocator that puts large tables on whole huge pages where the system has them (see
// adviseHugePages), and whose resize leaves values of trivial types unset, to be filled.
template <class T>
class TableAllocator {
  public:
    using value_type = T;

    TableAllocator() = default;
    template <class U>
    TableAllocator(const TableAllocator<U>&) noexcept {}  // NOLINT: rebinding is implicit

    T* allocate(std::size_t n) {
        // No object is larger, even rounded up to whole pages.
        constexpr std::size_t kMaxBytes = static_cast<std::size_t>(PTRDIFF_MAX) - kHugePage;
        if (n > kMaxBytes / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = n * sizeof(T);
        if constexpr (kHugePages) {
            // Whole pages, the last one included: a table of half a page and more takes one
            // fault for it rather than hundreds.
            if (huge(bytes)) {
                const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
                void* data = ::operator new (rounded, std::align_val_t{kHugePage});
                adviseHugePages(data, rounded);
                return static_cast<T*>(data);
            }
        }
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* data, std::size_t n) noexcept {
        if constexpr (kHugePages) {
            if (huge(n * sizeof(T))) {
                ::operator delete (data, std::align_val_t{kHugePage});
                return;
            }
        }
        ::operator delete(data);
    }

    // Default-initialised: a table is sized first and filled after.
    template <class U>
    void construct(U* at) noexcept(noexcept(U())) {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const TableAllocator&, const TableAllocator&) { return true; }

  private:
#ifdef _WIN32
    // Windows gives large pages to privileged processes only: nothing to align to.
    static constexpr bool kHugePages = false;
#else
    static constexpr bool kHugePages = true;
#endif
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    static bool huge(std::size_t bytes) {
        return bytes >= kHugePage / 2 && bytes <= static_cast<std::size_t>(-1) - kHugePage;
    }
};

template <class T>
using TableVector = std::vector<T, TableAllocator<T>>;

}  // namespace netsorter
