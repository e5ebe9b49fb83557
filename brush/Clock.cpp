#include "brush/Clock.h"

#include "core/List.h"
#include "core/Pool.h"

#include <sys/time.h>

namespace
{
struct ClockRec {
    int32_t time;
    ClockRec *link;
};

Pool<ClockRec, 10, &ClockRec::link> pool;
List *stack; // made on the first push
} // namespace

int32_t myclock()
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return int32_t(uint32_t(tv.tv_sec) * 1000u + uint32_t(tv.tv_usec / 1000));
}

void PushClock()
{
    if (!stack && !(stack = List_New()))
        return;
    ClockRec *rec = pool.Take();
    if (!rec)
        return;
    rec->time = myclock();
    if (List_Append(stack, rec) != LIST_OK)
        pool.Give(rec);
}

int32_t PopClock()
{
    if (!stack || List_GoLast(stack) != LIST_OK)
        return myclock();
    ClockRec *rec = static_cast<ClockRec *>(List_Current(stack));
    List_Remove(stack);
    int32_t time = rec->time;
    pool.Give(rec);
    return time;
}

int32_t PopNonNullClock()
{
    int32_t start = PopClock(), elapsed;
    while ((elapsed = int32_t(uint32_t(myclock()) - uint32_t(start))) == 0) {
    }
    return elapsed;
}
