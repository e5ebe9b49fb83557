// The base record of every fill object: the function a view calls to paint
// one destination box, and the filler's private data, owned by the filler.
#pragma once

struct Box;
struct View;

using FillFn = void (*)(View *view, void *data, Box *box);

struct Fill {
    FillFn fill;
    void *data;
};

// A zeroed base record, or null when the heap refuses.
Fill *FillCreate();
// Frees the base record only; each kind's destroy frees its data first.
void FillDestroy(Fill *fill);
