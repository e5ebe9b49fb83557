// Private pools for the small records made and freed by the thousand (list
// records and nodes, boxes, interval elements, clocks). The heap is asked for
// one block of N records at a time; free records are chained through their
// first pointer-sized word, or through the record's own link member when
// one is named (so that a chain of records can go back at once); blocks are
// never given back, so after warm-up a take or a give is one pointer swap.
// One pool per record type, used only on the event-loop thread.
#pragma once
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <typename T, int N, T *T::*Link = nullptr> class Pool
{
    static_assert(sizeof(T) >= sizeof(void *) && std::is_trivially_copyable_v<T>);

  public:
    // A record with undefined contents, or null when the pool is empty and
    // the heap refuses a new block.
    T *Take()
    {
        if (!free_ && !Grow())
            return nullptr;
        T *rec = free_;
        free_ = Next(rec);
        --freeCount_;
        return rec;
    }

    // Back on the head of the free list: the next Take returns it first.
    void Give(T *rec)
    {
        SetNext(rec, free_);
        free_ = rec;
        ++freeCount_;
    }

    // One block more, chained 0 to N-1 on top of the free list.
    bool Grow()
    {
        T *block = static_cast<T *>(std::malloc(sizeof(T) * N));
        if (!block)
            return false;
        for (int i = N - 1; i >= 0; --i)
            Give(block + i);
        ++blocks_;
        return true;
    }

    // A chain first .. last of count records, linked through Link, goes back
    // whole: last is linked to the old head.
    void GiveChain(T *first, T *last, int count)
    {
        static_assert(Link != nullptr);
        last->*Link = free_;
        free_ = first;
        freeCount_ += count;
    }

    int Blocks() const { return blocks_; }
    int FreeCount() const { return freeCount_; }

  private:
    static T *Next(T *rec)
    {
        if constexpr (Link != nullptr)
            return rec->*Link;
        T *next;
        std::memcpy(&next, static_cast<void *>(rec), sizeof next);
        return next;
    }
    static void SetNext(T *rec, T *next)
    {
        if constexpr (Link != nullptr)
            rec->*Link = next;
        else
            std::memcpy(static_cast<void *>(rec), &next, sizeof next);
    }

    T *free_ = nullptr;
    int freeCount_ = 0;
    int blocks_ = 0;
};

// What a pool holds, for tests and leak hunting.
struct PoolStats {
    int blocks;
    int freeRecords;
};
