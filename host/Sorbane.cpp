// sorbane: main() and the command table, and the image tools (import,
// export, new, info).
#include "host/Sorbane.h"

#include "core/Image.h"
#include "core/OrvError.h"
#include "host/Display.h"
#include "host/Kernel.h"
#include "host/KernelLink.h"
#include "host/Png.h"
#include "host/Screenshot.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <unistd.h>

namespace
{

// Every command of the program: add a row to add a command.
const SorbaneCommand commands[] = {
    {"import", Sorbane_Import, "IN.png OUT",
     "store image OUT from a PNG (grey, RGB, with or without alpha; 8 or 16 bits)"},
    {"export", Sorbane_Export, "IN OUT.png", "PNG of store image IN (CMYK converted to RGB)"},
    {"new", Sorbane_New,
     "[--mode grey|rgb|cmyk] [--size WxH] [--bits 1|8|16] [--alpha] [--extra N] [--pattern] OUT",
     "blank store image (white, opaque; default rgb 256x256 8 bits) or a colour test pattern"},
    {"info", Sorbane_Info, "FILE", "header fields and plane records of a store image"},
    {"run", Kernel_Run,
     "IMAGE [--brush B] [--script FILE] [--export OUT.png] [--store DIR] [--log FILE] [--display-log FILE] "
     "[--mask M] [--settings FILE] [--dabstone PATH] [--no-display] [--keep] [--show]",
     "the kernel: run dabstone on IMAGE with a display window (or a script), answer its requests"},
    {"display", Display_Main, "[--kernel K] --program P IMAGE [--script FILE [--show]] [--log FILE]",
     "a display process for dabstone P of kernel K: a window on IMAGE, or a script replayed"},
    {"probe", Kernel_Probe, "[--raw FILE] [--dabstone PATH]",
     "run dabstone's probe and print its application descriptor"},
    {"render", Sorbane_Render,
     "IMAGE OUT.png [--box X,Y,W,H] [--zoom NUM/DEN[,NUM/DEN]] [--average] [--precision N [--phase X,Y]] "
     "[--background R,G,B] [--show]",
     "store image IMAGE as dabstone shows it on $DISPLAY: NUM image pixels to DEN screen pixels, the box "
     "(default the whole image) nearest or averaged, a partial pass every N pixels at phase X,Y, over a "
     "background (default black), read back from the X image as an RGB PNG; --show also opens a window "
     "until a key"},
    {"screenshot", Sorbane_Screenshot, "OUT.png", "PNG of the X screen ($DISPLAY) where windows cover it"},
};

const SorbaneCommand *FindCommand(const char *name)
{
    for (const SorbaneCommand &c : commands)
        if (!strcmp(c.name, name))
            return &c;
    return nullptr;
}

int Help(FILE *to)
{
    fprintf(to, "usage: sorbane COMMAND ARGUMENTS...\n");
    for (const SorbaneCommand &c : commands)
        fprintf(to, "  sorbane %s %s\n      %s\n", c.name, c.usage, c.summary);
    fprintf(to, "  sorbane --help\n      this text\n");
    return 0;
}

// A store file that becomes OUT: made in OUT's directory under a temporary
// name, its header already naming OUT, and renamed onto OUT only once it is
// complete, so that a failure never leaves a partial OUT behind.
struct Output {
    Image *image = nullptr;
    std::string temporary;
};

int CreateOutput(const char *out, const unsigned char *info, Output *output)
{
    std::string path(out), identity;
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (int code = KernelLink_ResolvePath(path, &identity))
        return code;
    if (identity.size() >= size_t(IMAGE_PATH_SIZE))
        return ENAMETOOLONG;
    if (int code = Image_Init(dir.c_str(), nullptr, nullptr))
        return code;
    if (int code = Image_CreateImage(&output->image, info))
        return code;
    output->temporary = Image_Path(output->image);
    Image_SetText(output->image, IMAGE_PATH, IMAGE_PATH_SIZE, identity.c_str());
    Image_SetText(output->image, IMAGE_CREATOR, IMAGE_APPNAME_SIZE, "sorbane");
    return 0;
}

int PublishOutput(Output *output, const char *out)
{
    if (rename(output->temporary.c_str(), out)) {
        int code = errno;
        Image_DestroyImage(output->image);
        return code;
    }
    return Image_CloseImage(output->image);
}

// Makes OUT with the layout of info, lets fill draw it, publishes it; the
// exit status, with a failure reported.
int WriteOutput(const char *out, const unsigned char *info, const std::function<void(Image *)> &fill)
{
    Output output;
    int code = CreateOutput(out, info, &output);
    if (!code) {
        fill(output.image);
        code = PublishOutput(&output, out);
    }
    if (code) {
        Sorbane_Error(out, code);
        return 1;
    }
    return 0;
}

// A sample given on a 16-bit scale, stored at a plane's storage bits.
uint32_t FromWide(uint32_t v, int bits)
{
    switch (bits) {
    case 1:
        return v >= 32768;
    case 8:
        return v >> 8;
    case 16:
        return v;
    default:
        return v * 65537;
    }
}

// The test pattern on a 16-bit scale: red across, green down, blue in
// 16-pixel squares, and alpha opaque in a central ellipse fading out.
void PatternPixel(int x, int y, int w, int h, uint32_t rgb[3], uint32_t *alpha)
{
    rgb[0] = w > 1 ? uint32_t(65535LL * x / (w - 1)) : 0;
    rgb[1] = h > 1 ? uint32_t(65535LL * y / (h - 1)) : 0;
    rgb[2] = ((x >> 4) ^ (y >> 4)) & 1 ? 65535 - rgb[0] : rgb[1] / 2;
    double dx = (x + 0.5) / w * 2 - 1, dy = (y + 0.5) / h * 2 - 1;
    double d = dx * dx + dy * dy;
    *alpha = d <= 0.5 ? 255 : d >= 1.5 ? 0 : uint32_t(255 * (1.5 - d));
}

void FillNew(Image *img, bool pattern)
{
    int w = Image_Width(img), h = Image_Height(img), mode = Image_Mode(img);
    int colours = Image_ColorPlanes(img), alphaPlane = Image_AlphaPlane(img);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t rgb[3] = {65535, 65535, 65535}, alpha = 255, v[4];
            if (pattern)
                PatternPixel(x, y, w, h, rgb, &alpha);
            if (mode == IMAGE_MODE_GREY) {
                v[0] = (rgb[0] + rgb[1] + rgb[2]) / 3;
            } else if (mode == IMAGE_MODE_RGB) {
                std::copy(rgb, rgb + 3, v);
            } else {
                // Black takes what the three inks share.
                v[3] = 65535 - std::max({rgb[0], rgb[1], rgb[2]});
                for (int c = 0; c < 3; ++c)
                    v[c] = 65535 - rgb[c] - v[3];
            }
            for (int c = 0; c < colours; ++c)
                Image_SetSample(img, c, x, y, FromWide(v[c], Image_PlaneBits(img, c)));
            if (alphaPlane >= 0)
                Image_SetSample(img, alphaPlane, x, y, alpha);
            for (int p = colours + Image_AlphaPlanes(img); pattern && p < Image_Planes(img); ++p)
                Image_SetSample(img, p, x, y, FromWide(rgb[0], Image_PlaneBits(img, p)));
        }
}

const char *KindText(int kind)
{
    switch (kind) {
    case IMAGE_KIND_GREY:
        return "grey";
    case IMAGE_KIND_RED:
        return "red";
    case IMAGE_KIND_GREEN:
        return "green";
    case IMAGE_KIND_BLUE:
        return "blue";
    case IMAGE_KIND_CYAN:
        return "cyan";
    case IMAGE_KIND_MAGENTA:
        return "magenta";
    case IMAGE_KIND_YELLOW:
        return "yellow";
    case IMAGE_KIND_BLACK:
        return "black";
    case IMAGE_KIND_ALPHA:
        return "alpha";
    case IMAGE_KIND_EXTRA:
        return "extra";
    default:
        return "?";
    }
}

std::string TimeText(int32_t seconds)
{
    time_t t = seconds;
    struct tm tm;
    char text[40];
    if (!gmtime_r(&t, &tm) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm))
        return std::to_string(seconds);
    return text;
}

void PrintInfo(const char *file, const Image *img)
{
    auto f = [img](int offset) { return Image_Field(img, offset); };
    printf("file         %s\n", file);
    printf("path         %s\n", Image_Path(img));
    printf("title        %s\n", Image_Title(img));
    printf("size         %d x %d, %d bytes (data end %d)\n", Image_Width(img), Image_Height(img),
           Image_FileSize(img), f(IMAGE_DATA_END));
    printf("mode         %s (%d), %d planes: %d colour, %d alpha, %d extra\n",
           Image_ModeToText(Image_Mode(img)), Image_Mode(img), Image_Planes(img), Image_ColorPlanes(img),
           Image_AlphaPlanes(img), Image_ExtraPlanes(img));
    printf("created      %s by \"%s\"\n", TimeText(f(IMAGE_CTIME)).c_str(), Image_Creator(img));
    printf("modified     %s by \"%s\", flags A %d B %d\n", TimeText(f(IMAGE_MTIME)).c_str(),
           Image_Modifier(img), Image_ModifiedA(img), Image_ModifiedB(img));
    printf("lookup       %d entries at %d, %d index bits\n", f(IMAGE_LUT_ENTRIES), f(IMAGE_LUT_OFFSET),
           f(IMAGE_LUT_BITS));
    printf("typed block  type %d, %d bytes at %d\n", f(IMAGE_TYPED_TYPE), f(IMAGE_TYPED_SIZE),
           f(IMAGE_TYPED_OFFSET));
    printf("small block  %d bytes at %d\n", f(IMAGE_SMALL_SIZE), f(IMAGE_SMALL_OFFSET));
    printf("words        flags %d, resolution %d, 28: %d, 2352: %d, 2616: %d, 2624: %d, 2628: %d\n",
           f(IMAGE_FLAGS), f(IMAGE_RESOLUTION), f(IMAGE_WORD_28), f(IMAGE_WORD_2352), f(IMAGE_WORD_2616),
           f(IMAGE_WORD_2624), f(IMAGE_WORD_2628));
    printf("string 2456  \"%s\"\n", Image_Text(img, IMAGE_STRING_2456));
    printf("plane  offset      bits  depth  bytes/row  kind         name\n");
    for (int p = 0; p < Image_Planes(img); ++p)
        printf("%-5d  %-10d  %-4d  %-5d  %-9d  %-2d %-9s %s\n", p, Image_PlaneOffset(img, p),
               Image_PlaneBits(img, p), Image_PlaneDepth(img, p), Image_PlaneBytesPerRow(img, p),
               Image_PlaneKind(img, p), KindText(Image_PlaneKind(img, p)), Image_PlaneName(img, p));
}

// Options of `new` into an info record; 0 or 2 (bad usage, reported).
int ParseNew(int argc, char **argv, unsigned char *info, bool *pattern, const char **out)
{
    int mode = IMAGE_MODE_RGB, width = 256, height = 256, bits = 8, alpha = 0, extra = 0;
    *out = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        char tail;
        if (a == "--mode" && value) {
            std::string m = argv[++i];
            mode = m == "grey"   ? IMAGE_MODE_GREY
                   : m == "rgb"  ? IMAGE_MODE_RGB
                   : m == "cmyk" ? IMAGE_MODE_CMYK
                                 : 0;
            if (!mode)
                return Sorbane_Usage("new");
        } else if (a == "--size" && value) {
            if (sscanf(argv[++i], "%dx%d%c", &width, &height, &tail) != 2 || width < 1 || height < 1)
                return Sorbane_Usage("new");
        } else if (a == "--bits" && value) {
            if (sscanf(argv[++i], "%d%c", &bits, &tail) != 1 || (bits != 1 && bits != 8 && bits != 16))
                return Sorbane_Usage("new");
        } else if (a == "--extra" && value) {
            if (sscanf(argv[++i], "%d%c", &extra, &tail) != 1 || extra < 0 || extra > IMAGE_MAX_PLANES)
                return Sorbane_Usage("new");
        } else if (a == "--alpha") {
            alpha = 1;
        } else if (a == "--pattern") {
            *pattern = true;
        } else if (a.rfind("--", 0) != 0 && !*out) {
            *out = argv[i];
        } else {
            return Sorbane_Usage("new");
        }
    }
    if (!*out)
        return Sorbane_Usage("new");
    Image_MakeInfo(info, width, height, mode, bits, alpha);
    Bytes_SetField(info, IMAGE_INFO_EXTRA, extra);
    Bytes_SetField(info, IMAGE_INFO_EXTRA_DEPTH, bits);
    return 0;
}

std::string BaseName(const char *path)
{
    std::string name(path);
    name = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

const char *Sorbane_ErrorText(int code)
{
    return OrvError_NumToString(code);
}

void Sorbane_Error(const char *what, int code, const char *detail)
{
    if (detail && *detail)
        fprintf(stderr, "sorbane: error: %s: %s : %s\n", what, detail, Sorbane_ErrorText(code));
    else
        fprintf(stderr, "sorbane: error: %s: %s\n", what, Sorbane_ErrorText(code));
}

int Sorbane_Usage(const char *name)
{
    const SorbaneCommand *c = FindCommand(name);
    fprintf(stderr, "sorbane: usage: sorbane %s %s\n", name, c ? c->usage : "");
    return 2;
}

int Sorbane_Import(int argc, char **argv)
{
    if (argc != 3)
        return Sorbane_Usage("import");
    const char *in = argv[1], *out = argv[2];
    PngImage png;
    std::string reason;
    if (int code = Png_Read(in, &png, &reason)) {
        Sorbane_Error(in, code, reason.c_str());
        return 1;
    }
    unsigned char info[IMAGE_INFO_SIZE];
    Png_StoreInfo(png, info);
    snprintf(reinterpret_cast<char *>(info + IMAGE_INFO_TITLE), IMAGE_TITLE_SIZE, "%s", BaseName(in).c_str());
    return WriteOutput(out, info, [&png](Image *image) { Png_ToImage(png, image); });
}

int Sorbane_Export(int argc, char **argv)
{
    if (argc != 3)
        return Sorbane_Usage("export");
    const char *in = argv[1], *out = argv[2];
    Image *img = nullptr;
    PngImage png;
    if (int code = Image_OpenReadImage(&img, in)) {
        Sorbane_Error(in, code);
        return 1;
    }
    int code = Png_FromImage(img, &png);
    Image_CloseImage(img);
    if (code) {
        Sorbane_Error(in, code);
        return 1;
    }
    std::string reason;
    if ((code = Png_Write(out, png, &reason))) {
        Sorbane_Error(out, code, reason.c_str());
        return 1;
    }
    return 0;
}

int Sorbane_New(int argc, char **argv)
{
    unsigned char info[IMAGE_INFO_SIZE];
    bool pattern = false;
    const char *out = nullptr;
    if (int usage = ParseNew(argc, argv, info, &pattern, &out))
        return usage;
    return WriteOutput(out, info, [pattern](Image *image) { FillNew(image, pattern); });
}

int Sorbane_Info(int argc, char **argv)
{
    if (argc != 2)
        return Sorbane_Usage("info");
    Image *img = nullptr;
    if (int code = Image_OpenReadImage(&img, argv[1])) {
        Sorbane_Error(argv[1], code);
        return 1;
    }
    PrintInfo(argv[1], img);
    Image_CloseImage(img);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        Help(stderr);
        return 2;
    }
    if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h") || !strcmp(argv[1], "help"))
        return Help(stdout);
    const SorbaneCommand *c = FindCommand(argv[1]);
    if (!c) {
        fprintf(stderr, "sorbane: error: unknown command \"%s\" (see sorbane --help)\n", argv[1]);
        return 2;
    }
    return c->run(argc - 1, argv + 1);
}
