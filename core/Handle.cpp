#include "core/Handle.h"

#include <cstddef>
#include <vector>

// A handle is (generation << 16) | (slot + 1): the low half is never 0 and a
// released slot gets a new generation, so stale handles stop matching.
namespace
{
struct Slot {
    HandleRoutine routine = nullptr;
    void *data = nullptr;
    uint16_t generation = 1;
    bool live = false;
};

constexpr size_t kMaxSlots = 0xFFFF;
std::vector<Slot> slots;
std::vector<uint32_t> freeSlots;

Slot *slotOf(uint32_t handle)
{
    uint32_t index = (handle & 0xFFFF);
    if (index == 0 || index > slots.size())
        return nullptr;
    Slot &s = slots[index - 1];
    if (!s.live || s.generation != (handle >> 16))
        return nullptr;
    return &s;
}
} // namespace

uint32_t Handle_New(HandleRoutine routine, void *data)
{
    uint32_t index;
    if (!freeSlots.empty()) {
        index = freeSlots.back();
        freeSlots.pop_back();
    } else {
        if (slots.size() >= kMaxSlots)
            return 0;
        slots.emplace_back();
        index = static_cast<uint32_t>(slots.size() - 1);
    }
    Slot &s = slots[index];
    s.routine = routine;
    s.data = data;
    s.live = true;
    return (uint32_t(s.generation) << 16) | (index + 1);
}

int Handle_Lookup(uint32_t handle, HandleRoutine *routine, void **data)
{
    Slot *s = slotOf(handle);
    if (!s)
        return 0;
    *routine = s->routine;
    *data = s->data;
    return 1;
}

void Handle_Release(uint32_t handle)
{
    Slot *s = slotOf(handle);
    if (!s)
        return;
    s->live = false;
    s->routine = nullptr;
    s->data = nullptr;
    s->generation = static_cast<uint16_t>(s->generation == 0xFFFF ? 1 : s->generation + 1);
    freeSlots.push_back(static_cast<uint32_t>(s - slots.data()));
}
