// The probe: dabstone started with the probe arguments writes its
// application descriptor, raw and whole, on our FIFO and ends at once.
#include "host/Kernel.h"

#include "core/Bytes.h"
#include "core/Fifo.h"
#include "core/Misc.h"
#include "host/KernelLink.h"
#include "host/Sorbane.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int PROBE_BOUND_MS = 20000;
constexpr int DESCRIPTOR_SIZE = 32568;

// Reads the raw descriptor (it comes without a frame) until it is whole, the
// child has ended with nothing more waiting, or the bound has passed.
int ReadDescriptor(int fd, pid_t child, std::vector<unsigned char> *out, int *childStatus)
{
    bool ended = false;
    for (int waited = 0;;) {
        unsigned char buf[8192];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
            out->insert(out->end(), buf, buf + n);
        if (ended)
            return 0;
        if (waitpid(child, childStatus, WNOHANG) == child) {
            ended = true;
            continue; // one more read for what it wrote before ending
        }
        if (waited >= PROBE_BOUND_MS)
            return ETIMEDOUT;
        struct pollfd p = {fd, POLLIN, 0};
        poll(&p, 1, 100);
        waited += 100;
    }
}

void PrintText(const char *label, const unsigned char *field, int size)
{
    std::printf("%s\"%.*s\"\n", label, int(strnlen(reinterpret_cast<const char *>(field), size_t(size))),
                reinterpret_cast<const char *>(field));
}

// A 64 x 64 one-bit bitmap, least significant bit leftmost, as text.
void PrintBitmap(const char *label, const unsigned char *bits)
{
    std::printf("%s\n", label);
    for (int y = 0; y < 64; y++) {
        std::fputs("  ", stdout);
        for (int x = 0; x < 64; x++)
            std::fputc((bits[y * 8 + x / 8] >> (x % 8)) & 1 ? '#' : '.', stdout);
        std::fputc('\n', stdout);
    }
}

void PrintDescriptor(const unsigned char *d)
{
    PrintText("name: ", d, 100);
    std::printf("words:");
    for (int off = 100; off < 128; off += 4)
        std::printf(" %d", int(Bytes_Field(d, off)));
    std::printf("\n");
    static const char *planeNames[3] = {"first", "second", "third"};
    for (int p = 0; p < 3; p++) {
        const unsigned char *plane = d + 128 + p * 10000;
        long sum = 0;
        for (int i = 0; i < 10000; i++)
            sum += plane[i];
        std::printf("icon %s plane: 100 x 100, mean %ld\n", planeNames[p], sum / 10000);
    }
    PrintBitmap("bitmap:", d + 30128);
    PrintBitmap("mask:", d + 30640);
    std::printf("words after the bitmaps: %d %d\n", int(Bytes_Field(d, 31152)), int(Bytes_Field(d, 31156)));
    std::printf("about:\n");
    for (int line = 0; line < 22; line++) {
        const unsigned char *text = d + 31160 + 64 * line;
        if (text[0])
            std::printf("  %2d %.*s\n", line, int(strnlen(reinterpret_cast<const char *>(text), 64)),
                        reinterpret_cast<const char *>(text));
    }
}

} // namespace

int Kernel_Probe(int argc, char **argv)
{
    Misc_SetProgramName("sorbane");
    std::string raw, dabstoneOption;
    const KernelLinkOption options[] = {{"--raw", &raw, nullptr}, {"--dabstone", &dabstoneOption, nullptr}};
    std::string problem = KernelLink_ParseOptions(argc - 1, argv + 1, options, std::size(options), nullptr);
    if (!problem.empty()) {
        KernelLink_Say("probe: %s", problem.c_str());
        return Sorbane_Usage("probe");
    }
    signal(SIGPIPE, SIG_IGN);
    int pid = getpid();
    int fd = Fifo_OpenRead(pid, pid);
    if (fd < 0) {
        KernelLink_Say("can't open fifo %s : %s", Fifo_Name(pid, pid), std::strerror(errno));
        return 1;
    }
    KernelLink_CloseOnExec(fd);
    std::string dabstone = Kernel_FindDabstone(dabstoneOption.c_str());
    pid_t child = KernelLink_Spawn({dabstone, "sorbane", "NULL", "NULL", "INTERROGATION"});
    std::vector<unsigned char> d;
    int childStatus = 0;
    int rc = child ? ReadDescriptor(fd, child, &d, &childStatus) : errno;
    Fifo_CloseRead(pid, pid, fd);
    if (rc != 0) {
        KernelLink_Say("probe: no answer from %s : %s", dabstone.c_str(), std::strerror(rc));
        if (child)
            kill(child, SIGKILL);
        return 1;
    }
    if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) {
        KernelLink_Say("probe: %s ended with status %d", dabstone.c_str(),
                       WIFEXITED(childStatus) ? WEXITSTATUS(childStatus) : 128 + WTERMSIG(childStatus));
        return 1;
    }
    if (d.size() != size_t(DESCRIPTOR_SIZE)) {
        KernelLink_Say("probe: descriptor of %zu bytes, %d expected", d.size(), DESCRIPTOR_SIZE);
        return 1;
    }
    if (!raw.empty()) {
        FILE *f = std::fopen(raw.c_str(), "wb");
        if (!f || std::fwrite(d.data(), 1, d.size(), f) != d.size() || std::fclose(f) != 0) {
            KernelLink_Say("probe: can't write %s : %s", raw.c_str(), std::strerror(errno));
            return 1;
        }
    }
    PrintDescriptor(d.data());
    return 0;
}
