// Process-wide handle table. Messages carry callbacks and client data as
// 32-bit words; a pointer never goes into such a word. A handle names a
// routine and its pointer-sized client data; an unknown, stale or zero
// handle finds nothing, so a peer can never make us jump where it likes.
#pragma once
#include <cstdint>

using HandleRoutine = void (*)();

// A new non-zero handle for (routine, data); 0 when the table is full.
uint32_t Handle_New(HandleRoutine routine, void *data);
// 1 and the pair when the handle is live, else 0 and nothing written.
int Handle_Lookup(uint32_t handle, HandleRoutine *routine, void **data);
// Forget a handle; later lookups of it fail even when its slot is reused.
void Handle_Release(uint32_t handle);

// Typed helpers: store any function pointer, get it back with its own type.
template <typename Fn> uint32_t Handle_NewFn(Fn routine, void *data)
{
    return Handle_New(reinterpret_cast<HandleRoutine>(routine), data);
}

template <typename Fn> int Handle_LookupFn(uint32_t handle, Fn *routine, void **data)
{
    HandleRoutine r = nullptr;
    void *d = nullptr;
    if (!Handle_Lookup(handle, &r, &d))
        return 0;
    *routine = reinterpret_cast<Fn>(r);
    if (data)
        *data = d;
    return 1;
}
