// Millisecond clocks: a stack of start times pushed before and popped after
// strictly nested pieces of work (the picture widget's speed evaluation).
#pragma once
#include <cstdint>

// Milliseconds of the time of day, wrapping in 32 bits.
int32_t myclock();
// Pushes the current time; does nothing when no memory can be had.
void PushClock();
// The last pushed time, or the current time when the stack is empty.
int32_t PopClock();
// Milliseconds since the last pushed time, never 0.
int32_t PopNonNullClock();
