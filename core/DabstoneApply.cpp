// Apply, paste, masks and undo control of the engine.
//
// Least form until the apply and undo work exists: the standard mask is the
// whole image, undo is never built, and the messages of that work are
// logged and ignored (a lent image is given back at once).
#include "core/Dabstone.h"

#include "core/Image.h"
#include "core/Misc.h"
#include "core/Msg.h"

#include <cstring>

namespace {
GG_Dabstone &E() { return *G_dabstone; }

void NotYet(const char *what) { Misc_OpenWarning(what, 0); }
} // namespace

void Dabstone_MakeStdMask()
{
    GG_Dabstone &e = E();
    if (e.targets)
        Box_DestroyList(e.targets);
    e.targets = List_New();
    if (e.image && e.targets)
        List_Append(e.targets, Box_Dup(&e.imageBox));
}

void Dabstone_DestroyMask()
{
    if (E().mask)
        Image_CloseImage(E().mask);
    E().mask = nullptr;
}

void Dabstone_DestroyUndo()
{
    E().undoImage = nullptr;
    E().undoRequest = 0;
}

int Dabstone_CreateUndo() { return 0; }

void Dabstone_Paste(const unsigned char *payload, const MsgHeader *h, void *)
{
    NotYet("paste ignored (not yet available)");
    if (h->length >= MSG_PASTE_SIZE && Bytes_GetS32(payload + MSG_PATH_SIZE) != 0) {
        unsigned char path[MSG_PATH_SIZE] = {};
        std::memcpy(path, payload, MSG_PATH_SIZE - 1);
        Dabstone_SendKernel(MSG_GIVE_BACK, path, MSG_PATH_SIZE);
    }
}

void Dabstone_MaskReady(const unsigned char *, const MsgHeader *, void *) { NotYet("mask ignored (not yet available)"); }

void Dabstone_MaskNotPending(const unsigned char *, const MsgHeader *, void *) { E().maskWanted = 0; }

void Dabstone_Selection(const unsigned char *, const MsgHeader *, void *)
{
    NotYet("selection ignored (not yet available)");
}

void Dabstone_Action(const unsigned char *, const MsgHeader *, void *) { NotYet("action ignored (not yet available)"); }
