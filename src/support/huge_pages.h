#pragma once

#include <cstddef>

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

}  // namespace orthomix
