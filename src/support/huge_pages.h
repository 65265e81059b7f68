#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace orthomix {

// Asks the kernel to back the whole 2 MB pages inside [data, data + bytes)
// with transparent huge pages, where the system lends them on request. On
// virtual machines a first touch of every 4 kB page costs a fault that can
// outweigh the work on the page (reading a 20,000 x 80 matrix took three
// times as long with them); a huge page costs one fault for 512 of them.
// Only a hint: nothing changes but the time, and ranges under 4 MB are left
// alone. Call it on memory that is allocated but not yet written.
void adviseHugePages(const void* data, std::size_t bytes);

// v.reserve(count), with the room advised as above when it is new.
template <class Vector>
void reserveWithHugePages(Vector& vector, std::size_t count) {
    if (vector.capacity() >= count) return;
    vector.reserve(count);
    adviseHugePages(vector.data(), vector.capacity() * sizeof(*vector.data()));
}

// v.assign(count, value), the room advised as above when it is new.
template <class Vector, class Value>
void assignWithHugePages(Vector& vector, std::size_t count, const Value& value) {
    // Cleared first, so that no old contents are copied into the new room.
    if (vector.capacity() < count) vector.clear();
    reserveWithHugePages(vector, count);
    vector.assign(count, value);
}

// 2 MB or more for `bytes`, aligned to 2 MB and advised as above as a whole;
// freed with std::free. Throws std::bad_alloc when there is no memory.
inline constexpr std::size_t kHugePageBytes = std::size_t{1} << 21;
void* allocateHugePageBlock(std::size_t bytes);
void freeHugePageBlock(void* block) noexcept;

// An allocator for arrays that are allocated anew and filled at once, as
// an attempt's densities and weights are: blocks of 2 MB or more start on a
// huge page and cover whole huge pages, so that every page of them can be
// lent as a huge page (std::vector's own storage starts at an arbitrary
// place, and only whole huge pages inside it could be). Smaller blocks come
// from operator new.
template <class T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kHugePageBytes) return static_cast<T*>(::operator new(bytes));
        return static_cast<T*>(allocateHugePageBlock(bytes));
    }
    void deallocate(T* data, std::size_t count) noexcept {
        if (count * sizeof(T) < kHugePageBytes) {
            ::operator delete(data);
        } else {
            freeHugePageBlock(data);
        }
    }
    friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) { return true; }
};

template <class T>
using HugePageVector = std::vector<T, HugePageAllocator<T>>;

}  // namespace orthomix
