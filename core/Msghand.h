// Incoming side of the host link: reads framed messages from a descriptor
// and hands each to the routines registered for its code, in registration
// order. Answers (1006) go to the routine their reply tail names.
//
// The reading works with or without the toolkit: `Msghand_dispatch` is the
// Xt input handler of the own FIFO; `Msghand_ReadAll` is the same reader for
// any non-blocking descriptor (the sorbane peers and the tests call it).
#pragma once
#include "core/Handle.h"
#include "core/Msg.h"

#include <cstdint>

// The Xt types of the input handler, declared as <X11/Intrinsic.h> does so
// that users of this header do not get Xlib's macros (None, Bool ...).
typedef struct _XtAppStruct *XtAppContext;
typedef void *XtPointer;
typedef unsigned long XtInputId;

// The received header in host order; the payload follows it in the frame.
struct MsgHeader {
    int32_t sender;
    int32_t code;
    int32_t aux;
    int32_t length;
};

// routine(payload, header, client data). The payload buffer is reused by the
// next message: a routine that keeps payload data copies it. It holds
// header->length bytes; routines check the length before reading a field.
using MsghandProc = void (*)(const unsigned char *payload, const MsgHeader *header, void *clientData);

// Creates the (empty) callback list; with an application context, registers
// fd as an Xt input source read by `Msghand_dispatch`. 0 or an error number.
int Msghand_Initialize(XtAppContext app, int fd);

// Appends an entry; several may share a code, one routine may serve several
// codes. 0 or an error number.
int Msghand_AddCallback(int32_t code, MsghandProc routine, void *clientData);

// Xt input handler: reads and dispatches every complete message waiting on
// *fd. When the link ends (all writers gone, a corrupt or over-large frame,
// a read error) the input is removed and the link-lost routine runs.
void Msghand_dispatch(XtPointer clientData, int *fd, XtInputId *id);

// Result of Msghand_ReadAll.
enum {
    MSGHAND_OK = 0,     // nothing more waiting now; a partial frame is kept for later
    MSGHAND_EOF = 1,    // every writer has gone (never for a FIFO opened read-write)
    MSGHAND_BROKEN = 2, // over-large or negative length, or a read error: reported
};

// Reads and dispatches every complete frame waiting on a non-blocking fd. A
// frame that has only partly arrived is completed by later calls, so a
// stalled writer never makes the reader spin.
int Msghand_ReadAll(int fd);

// Drops what is kept for fd (a partial frame); call when closing it.
void Msghand_Forget(int fd);

// Routine run by Msghand_dispatch when the link ends, with the descriptor
// and MSGHAND_EOF or MSGHAND_BROKEN. Without one the input is just removed.
using MsghandLinkLost = void (*)(int fd, int reason);
void Msghand_SetLinkLost(MsghandLinkLost routine);

// The routine for frames that no entry takes (none by default: they are
// dropped). The host peers give one to log and answer what they do not know.
void Msghand_SetDefault(MsghandProc routine, void *clientData);

// 1 while a message is being dispatched and a routine has taken it.
int Msghand_Handled();

// ---- Reply tails -------------------------------------------------------------
// The callback word of a reply tail, a toolbox tool or a drop window is a
// handle whose routine and client data live here. Every handle has a kind,
// so a peer that echoes a word into the wrong message cannot make us call a
// routine with arguments it does not take; unknown, stale or zero words and
// words of another kind find nothing. The client-data word sent beside the
// callback is 0: the client data stays in the table.
enum MsghandTailKind {
    MSGHAND_TAIL_ANSWER = 1, // 1006 answers: MsghandProc
    MSGHAND_TAIL_IMAGE = 2,  // 2003 and 2009 answers: routine(image, client data)
    MSGHAND_TAIL_TOOL = 3,   // toolbox tools, named by 1037: routine(client data, event)
};

// A handle for (kind, routine, data) that lives as long as the process; 0
// when the table is full.
uint32_t Msghand_NewTail(int kind, HandleRoutine routine, void *data);
// 1 and the routine and data when word is a live handle of this kind, else 0.
int Msghand_FindTail(uint32_t word, int kind, HandleRoutine *routine, void **data);

template <typename Fn> uint32_t Msghand_NewTailFn(int kind, Fn routine, void *data)
{
    return Msghand_NewTail(kind, reinterpret_cast<HandleRoutine>(routine), data);
}

template <typename Fn> int Msghand_FindTailFn(uint32_t word, int kind, Fn *routine, void **data)
{
    HandleRoutine r = nullptr;
    void *d = nullptr;
    if (!Msghand_FindTail(word, kind, &r, &d))
        return 0;
    *routine = reinterpret_cast<Fn>(r);
    *data = d;
    return 1;
}
