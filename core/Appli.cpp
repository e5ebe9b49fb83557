#include "core/Appli.h"

#include "core/Bytes.h"
#include "core/Dabstone.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Misc.h"
#include "core/Msg.h"
#include "core/Msghand.h"
#include "core/OrvError.h"
#include "ui/Alert.h"
#include "ui/Interface.h"
#include "xc/Visual.h"

#include <Xm/Protocols.h>
#include <Xm/Xm.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

int kernelPid = 0;
int kernelFifo = -1;
int appliFifo = -1;
int displayPid = 0;
int displayFifo = -1;
const char *prgname = nullptr;
const char *PrgName = nullptr;

namespace
{
unsigned char descriptor[APPLI_DESCRIPTOR_SIZE];

const char *const kAbout[] = {
    "DabStone, 07/1995",
    "Pixel Retouching && Image Pasting by",
    "the Dabstone developers",
    "Free software: use it, copy it, change it.",
    "Post: write through the project's issue tracker",
    "Telephone: none - Fax: none",
};

// ---- The artwork: a round brush, drawn on a 64 x 64 grid ----

// Distance from (x, y) to the segment (ax, ay)-(bx, by).
double SegmentDistance(double x, double y, double ax, double ay, double bx, double by)
{
    double dx = bx - ax, dy = by - ay;
    double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

// The brush lies from its handle at the top right to its tip at the bottom
// left: handle, ferrule, bristles, point. 0 outside, else the part (1..4).
int BrushPart(double x, double y)
{
    struct Piece {
        double ax, ay, bx, by, r;
    };
    static const Piece pieces[] = {
        {56, 6, 37, 25, 3.2},  // handle
        {37, 25, 29, 33, 5.5}, // ferrule
        {29, 33, 13, 49, 4.5}, // bristles
        {13, 49, 7, 56, 2.2},  // point
    };
    for (int i = 0; i < 4; ++i) {
        const Piece &p = pieces[i];
        if (SegmentDistance(x, y, p.ax, p.ay, p.bx, p.by) <= p.r)
            return i + 1;
    }
    return 0;
}

bool InBrush(int x, int y)
{
    return x >= 0 && y >= 0 && x < APPLI_BITMAP_SIDE && y < APPLI_BITMAP_SIDE && BrushPart(x + 0.5, y + 0.5);
}

void SetBit(unsigned char *bitmap, int x, int y)
{
    bitmap[y * (APPLI_BITMAP_SIDE / 8) + x / 8] |= static_cast<unsigned char>(1u << (x % 8));
}

// The mask is the silhouette; the bitmap its outline.
void DrawBitmaps(unsigned char *bitmap, unsigned char *mask)
{
    for (int y = 0; y < APPLI_BITMAP_SIDE; ++y)
        for (int x = 0; x < APPLI_BITMAP_SIDE; ++x) {
            if (!InBrush(x, y))
                continue;
            SetBit(mask, x, y);
            if (!InBrush(x - 1, y) || !InBrush(x + 1, y) || !InBrush(x, y - 1) || !InBrush(x, y + 1))
                SetBit(bitmap, x, y);
        }
}

// The colour icon: the brush over an orange dab on warm paper.
void DrawIcon(unsigned char *planes)
{
    const int side = APPLI_ICON_SIDE, plane = side * side;
    const double scale = double(APPLI_BITMAP_SIDE) / side;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            double rgb[3] = {236.0 - y / 5.0, 226.0 - y / 5.0, 200.0 - y / 3.0};
            // The dab: full colour inside, fading over its last 8 pixels.
            double d = std::hypot(x - 38.0, y - 62.0);
            double a = std::clamp((30.0 - d) / 8.0, 0.0, 1.0);
            const double dab[3] = {222, 86, 38};
            for (int c = 0; c < 3; ++c)
                rgb[c] += (dab[c] - rgb[c]) * a;
            static const double parts[5][3] = {
                {0, 0, 0}, {120, 62, 28}, {170, 170, 178}, {52, 44, 40}, {150, 40, 20}};
            if (int part = BrushPart((x + 0.5) * scale, (y + 0.5) * scale))
                std::copy(parts[part], parts[part] + 3, rgb);
            for (int c = 0; c < 3; ++c)
                planes[c * plane + y * side + x] = static_cast<unsigned char>(std::lround(rgb[c]));
        }
}

void BuildDescriptor()
{
    unsigned char *d = descriptor;
    std::strcpy(reinterpret_cast<char *>(d + APPLI_NAME), "DabStone");
    const int32_t words[7] = {220, 2, 2, 0, 0, 0, 1};
    for (int i = 0; i < 7; ++i)
        Bytes_PutS32(d + APPLI_WORDS + 4 * i, words[i]);
    DrawIcon(d + APPLI_ICON);
    DrawBitmaps(d + APPLI_BITMAP, d + APPLI_MASK);
    Bytes_PutS32(d + APPLI_TAIL_WORDS, 1);
    Bytes_PutS32(d + APPLI_TAIL_WORDS + 4, 0);
    int line = 0;
    for (const char *text : kAbout)
        std::strncpy(reinterpret_cast<char *>(d + APPLI_ABOUT + APPLI_ABOUT_LINE * line++), text,
                     APPLI_ABOUT_LINE - 1);
}

// ---- Start-up helpers ----

[[noreturn]] void CantOpenFifo()
{
    Misc_OpenFatal("initializing communication with Sorbane - can't open fifo", errno);
}

void SendWord(int32_t code, int32_t word)
{
    unsigned char payload[4];
    Bytes_PutS32(payload, word);
    Dabstone_SendKernel(code, payload, 4);
}

void RegisterDropWindow(Widget w, uint32_t handle)
{
    unsigned char payload[MSG_DROP_SIZE] = {};
    Bytes_Put32(payload, uint32_t(XtWindow(w)));
    Bytes_Put32(payload + 4, handle);
    Dabstone_SendKernel(MSG_DROP_WINDOW, payload, MSG_DROP_SIZE);
}

void AskWorkImagesNow(XtPointer, XtIntervalId *)
{
    Dabstone_AskWorkImages();
}

// The own FIFO cannot be read any more (a corrupt frame was reported):
// nothing can reach us, so end in order.
void LinkLost(int, int)
{
    Dabstone_Exit("", ORV_CONNECTION_OFF);
}

// The kernel's FIFO has lost its reader: the kernel is gone. Its write end
// turns readable (an error condition) exactly then; end in order without it.
void KernelGone(XtPointer, int *source, XtInputId *id)
{
    pollfd p = {*source, 0, 0};
    if (poll(&p, 1, 0) != 1 || !(p.revents & (POLLERR | POLLHUP)))
        return;
    XtRemoveInput(*id);
    Dabstone_KernelGone();
}

void Fault(XtPointer signal, XtIntervalId *)
{
    std::raise(int(reinterpret_cast<intptr_t>(signal)));
}

void ArmTestFault(XtAppContext app)
{
    const char *fault = std::getenv("DABSTONE_FAULT");
    if (!fault)
        return;
    int signal = std::strcmp(fault, "SEGV") == 0 ? SIGSEGV : std::strcmp(fault, "BUS") == 0 ? SIGBUS : 0;
    if (signal)
        XtAppAddTimeOut(app, 0, Fault, reinterpret_cast<XtPointer>(intptr_t(signal)));
}

bool IsNull(int argc, char **argv, int entry)
{
    return entry >= argc || std::strcmp(argv[entry], "NULL") == 0;
}

// Step 14: the image to edit; the program cannot run without it.
void OpenImageArgument(int argc, char **argv)
{
    Image *image = nullptr;
    if (!IsNull(argc, argv, 3)) {
        int rc = Image_OpenImage(&image, argv[3]);
        if (rc != 0) {
            Dabstone_EndLinks(rc);
            std::exit(rc);
        }
    }
    Dabstone_SetImage(image);
}
} // namespace

void Appli_RegisterHandlers()
{
    static const struct {
        int32_t code;
        MsghandProc routine;
    } handlers[] = {
        {MSG_WORK_CREATED, Dabstone_WorkImageAnswer},
        {MSG_IMAGE_OPENED, Dabstone_ImageAnswer},
        {MSG_GIVEN, Dabstone_ImageGiven},
        {MSG_DISPLAY_CONNECT, Dabstone_DisplayConnect},
        {MSG_DISPLAY_CLOSE, Dabstone_DisplayClose},
        {MSG_DISPLAY_LEAVE, Dabstone_DisplayClose},
        {MSG_POINTER, Dabstone_Event},
        {MSG_MASK_READY, Dabstone_MaskReady},
        {MSG_NO_MASK, Dabstone_MaskNotPending},
        {MSG_SELECTION, Dabstone_Selection},
        {MSG_PASTE, Dabstone_Paste},
        {MSG_ACTION, Dabstone_Action},
        {MSG_EXIT, Dabstone_KernelQuit},
        {MSG_WANTED, Dabstone_ImageWanted},
        {MSG_SETTINGS, Dabstone_LoadSettings},
        {MSG_REQUEST_FAILED, Dabstone_RequestFailed},
    };
    for (const auto &h : handlers)
        Msghand_AddCallback(h.code, h.routine, nullptr);
}

const unsigned char *Appli_Descriptor()
{
    if (descriptor[0] == 0)
        BuildDescriptor();
    return descriptor;
}

const char *Appli_Name()
{
    return reinterpret_cast<const char *>(Appli_Descriptor() + APPLI_NAME);
}

int Appli_DelayMs(const char *value)
{
    if (!value)
        return -1;
    return std::clamp(std::atoi(value), 0, 10000);
}

void Dabstone_SigPipe(int)
{
    std::signal(SIGPIPE, Dabstone_SigPipe);
}

void Dabstone_WmDelete(Widget, XtPointer, XtPointer)
{
    Dabstone_Quit("", 0);
}

void Dabstone_DelayedStart()
{
    int delay = Appli_DelayMs(std::getenv("DABSTONE_DELAY"));
    if (delay < 0)
        Dabstone_AskWorkImages();
    else
        XtAppAddTimeOut(G_dabstone->app, unsigned(delay), AskWorkImagesNow, nullptr);
}

void Appli_Main(int argc, char **argv)
{
    GG_Dabstone &e = *G_dabstone;
    kernelPid = int(getppid());
    prgname = PrgName = Appli_Name();
    Misc_SetProgramName(prgname);

    kernelFifo = Fifo_OpenWrite(kernelPid, kernelPid);
    if (kernelFifo < 0)
        CantOpenFifo();
    if (argc > 4 && std::strcmp(argv[4], "INTERROGATION") == 0) {
        // The kernel reads what it gets; nothing else to do on a failure.
        Msg_WriteAll(kernelFifo, Appli_Descriptor(), APPLI_DESCRIPTOR_SIZE);
        Fifo_CloseWrite(kernelPid, kernelPid, kernelFifo);
        std::exit(0);
    }
    appliFifo = Fifo_OpenRead(kernelPid, int(getpid()));
    if (appliFifo < 0)
        CantOpenFifo();
    Misc_InitSegv(kernelFifo, 0);
    std::signal(SIGPIPE, Dabstone_SigPipe);

    e.toplevel = XtOpenApplication(&e.app, "DabStone", nullptr, 0, &argc, argv, nullptr,
                                   applicationShellWidgetClass, nullptr, 0);
    XtVaSetValues(e.toplevel, XmNtitle, "DabStone", XmNdeleteResponse, XmDO_NOTHING, nullptr);
    Display *display = XtDisplay(e.toplevel);
    Atom deleteWindow = XmInternAtom(display, const_cast<char *>("WM_DELETE_WINDOW"), False);
    XmInternAtom(display, const_cast<char *>("WM_PROTOCOLS"), False);
    XmAddWMProtocolCallback(e.toplevel, deleteWindow, Dabstone_WmDelete, nullptr);
    Alert_Initialize(e.toplevel);
    e.defaultVisual = XcOpenDefaultVisual(e.toplevel);
    e.bestVisual = XcOpenBestVisual(e.toplevel);

    Msghand_Initialize(e.app, appliFifo);
    Appli_RegisterHandlers();
    Msghand_SetLinkLost(LinkLost);
    XtAppAddInput(e.app, kernelFifo, reinterpret_cast<XtPointer>(XtInputReadMask), KernelGone, nullptr);
    SendWord(MSG_HELLO, int32_t(getpid()));

    e.working = 0;
    Dabstone_InitState();
    Interface_Create(e.toplevel);
    Dabstone_InitDefaults();
    OpenImageArgument(argc, argv);
    if (!IsNull(argc, argv, 2))
        Dabstone_AskImage(argv[2], Dabstone_ChangeBrushHandle());

    XtRealizeWidget(e.toplevel);
    RegisterDropWindow(e.toplevel, Dabstone_MainDropHandle());
    RegisterDropWindow(e.brushPreview, Dabstone_BrushDropHandle());
    Dabstone_DelayedStart();
    if (e.image && Image_SizeMegabytes(e.image) <= double(e.undoLimit))
        Interface_CallUseUndo();
    unsigned char name[MSG_NAME_SIZE] = {};
    std::strcpy(reinterpret_cast<char *>(name), Appli_Name());
    Dabstone_SendKernel(MSG_READY, name, MSG_NAME_SIZE);

    ArmTestFault(e.app);
    XtAppMainLoop(e.app);
    Dabstone_Exit("", 0); // the main loop only ends through an exit
}
