// Numbers for point records, given in the order the points are first met: open addressing
// over the records' addresses, one allocation for the whole table rather than one a point,
// so that numbering the points of a million-polygon mesh stays cheap.
#ifndef REFHOST_POINT_NUMBERS_H
#define REFHOST_POINT_NUMBERS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "refhost/scene.h"

namespace refhost {

class PointNumbers {
public:
    // Room for `expected` points before the table grows.
    explicit PointNumbers(size_t expected = 0) { resize(expected); }

    // The point's number, or -1 when it has none.
    int find(const Point *p) const {
        for (size_t i = slot_of(p);; i = (i + 1) & mask_) {
            if (slots_[i].point == p) return slots_[i].number;
            if (!slots_[i].point) return -1;
        }
    }
    // The point's number; a new point gets the next one and `added` is set.
    int insert(const Point *p, bool &added) {
        if (2 * (count_ + 1) > slots_.size()) resize(2 * (count_ + 1));
        for (size_t i = slot_of(p);; i = (i + 1) & mask_) {
            Slot &slot = slots_[i];
            added = !slot.point;
            if (slot.point == p) return slot.number;
            if (added) {
                slot = {p, static_cast<int>(count_++)};
                return slot.number;
            }
        }
    }
    size_t size() const { return count_; }

private:
    struct Slot {
        const Point *point = nullptr;
        int number = 0;
    };
    // Points made one after another lie one after another on the heap, and polygons name
    // points made near each other: their slots are neighbours too (a multiplying hash
    // scatters them, and every look-up of a large mesh becomes a cache miss). Points far
    // apart on the heap are spread by the address's high bits.
    size_t slot_of(const Point *p) const {
        const uintptr_t a = reinterpret_cast<uintptr_t>(p) >> 4;
        return static_cast<size_t>(a ^ (a >> 21)) & mask_;
    }
    // At least twice as many slots as points, a power of two.
    void resize(size_t points) {
        size_t n = 16;
        while (n < 2 * points) n <<= 1;
        if (n <= slots_.size()) return;
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(n, Slot{});
        mask_ = n - 1;
        for (const Slot &s : old) {
            if (!s.point) continue;
            size_t i = slot_of(s.point);
            while (slots_[i].point) i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t count_ = 0;
};

}  // namespace refhost

#endif
