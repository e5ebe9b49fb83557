// What the unit tests share: a fresh store directory per test, images made
// in it (closed at the end), seeded noise, and the frames the engine writes
// to its peers, read back from pipes standing for their FIFOs.
#pragma once
#include "brush/Box.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/Msghand.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

// The creation record of an image; extra planes of extraDepth.
inline std::vector<unsigned char> ImageInfo(int w, int h, int mode, int bits, int alpha = 0, int extra = 0,
                                            int extraDepth = 8)
{
    std::vector<unsigned char> info(IMAGE_INFO_SIZE);
    Image_MakeInfo(info.data(), w, h, mode, bits, alpha);
    if (extra) {
        Bytes_SetField(info.data(), IMAGE_INFO_EXTRA, extra);
        Bytes_SetField(info.data(), IMAGE_INFO_EXTRA_DEPTH, extraDepth);
    }
    return info;
}

class TempStore : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/dab_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(Image_Init(dir.c_str(), nullptr, nullptr), 0);
    }
    void TearDown() override
    {
        for (Image *i : images)
            Image_CloseImage(i);
        Image_Init(nullptr, nullptr, nullptr);
        EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
    }

    // A new image, closed at the end of the test.
    Image *Make(int w, int h, int mode, int bits, int alpha = 0, int extra = 0, int extraDepth = 8)
    {
        Image *img = nullptr;
        EXPECT_EQ(Image_CreateImage(&img, ImageInfo(w, h, mode, bits, alpha, extra, extraDepth).data()), 0);
        if (img)
            images.push_back(img);
        return img;
    }
    // An image the code under test closes itself.
    void Forget(Image *img) { images.erase(std::find(images.begin(), images.end(), img)); }

    // Every byte of every row of every plane from a seeded generator.
    static void Noise(Image *img, unsigned seed)
    {
        std::mt19937 gen(seed);
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < Image_Height(img); ++y) {
                unsigned char *row = Image_Row(img, p, y);
                for (int i = 0; i < Image_PlaneBytesPerRow(img, p); ++i)
                    row[i] = static_cast<unsigned char>(gen());
            }
    }

    // The rows of every plane, without the page padding.
    static std::vector<unsigned char> Planes(const Image *img)
    {
        std::vector<unsigned char> out;
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < Image_Height(img); ++y) {
                const unsigned char *row = Image_Row(img, p, y);
                out.insert(out.end(), row, row + Image_PlaneBytesPerRow(img, p));
            }
        return out;
    }

    // All samples, plane after plane.
    static std::vector<uint32_t> Samples(const Image *img)
    {
        std::vector<uint32_t> s;
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < Image_Height(img); ++y)
                for (int x = 0; x < Image_Width(img); ++x)
                    s.push_back(Image_GetSample(img, p, x, y));
        return s;
    }

    std::string dir;
    std::vector<Image *> images;
};

// ---- Frames ----

struct Frame {
    int32_t code, aux;
    std::vector<unsigned char> payload;
    int32_t Word(int offset) const { return Bytes_GetS32(&payload[size_t(offset)]); }
    std::string Text(int offset = 0) const
    {
        return reinterpret_cast<const char *>(&payload[size_t(offset)]);
    }
};

// Every frame waiting on a non-blocking descriptor.
inline std::vector<Frame> Frames(int fd)
{
    std::vector<unsigned char> bytes;
    unsigned char buf[65536];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        bytes.insert(bytes.end(), buf, buf + n);
    std::vector<Frame> frames;
    for (size_t at = 0; at + MSG_HEADER_SIZE <= bytes.size();) {
        const auto length = size_t(Bytes_GetS32(&bytes[at + MSG_HDR_LENGTH]));
        if (at + MSG_HEADER_SIZE + length > bytes.size()) {
            ADD_FAILURE() << "a frame cut short";
            break;
        }
        const auto *payload = &bytes[at + MSG_HEADER_SIZE];
        frames.push_back(Frame{Bytes_GetS32(&bytes[at + MSG_HDR_CODE]),
                               Bytes_GetS32(&bytes[at + MSG_HDR_AUX]),
                               std::vector<unsigned char>(payload, payload + length)});
        at += MSG_HEADER_SIZE + length;
    }
    return frames;
}

inline std::vector<int32_t> Codes(const std::vector<Frame> &frames)
{
    std::vector<int32_t> codes;
    for (const Frame &f : frames)
        codes.push_back(f.code);
    return codes;
}

inline std::vector<Frame> Only(const std::vector<Frame> &frames, int32_t code)
{
    std::vector<Frame> out;
    std::copy_if(frames.begin(), frames.end(), std::back_inserter(out),
                 [code](const Frame &f) { return f.code == code; });
    return out;
}

// A pipe whose write end stands for a peer's FIFO; the read end is returned.
inline int PeerPipe(int *writeEnd)
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK) != 0)
        return -1;
    fcntl(fds[1], F_SETFL, 0);
    fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
    *writeEnd = fds[1];
    return fds[0];
}

// ---- Payloads and messages ----

// Big-endian words, zero-padded to size bytes.
inline std::vector<unsigned char> Words(std::initializer_list<int32_t> words, size_t size = 0)
{
    std::vector<unsigned char> out(std::max(size, 4 * words.size()));
    size_t i = 0;
    for (int32_t w : words)
        Bytes_PutS32(&out[4 * i++], w);
    return out;
}

// A path field, then words.
inline std::vector<unsigned char> PathPayload(const char *path, std::initializer_list<int32_t> words = {})
{
    std::vector<unsigned char> out(MSG_PATH_SIZE);
    std::strncpy(reinterpret_cast<char *>(out.data()), path, MSG_PATH_SIZE - 1);
    const auto w = Words(words);
    out.insert(out.end(), w.begin(), w.end());
    return out;
}

inline void Deliver(void (*handler)(const unsigned char *, const MsgHeader *, void *), int32_t code,
                    const std::vector<unsigned char> &payload, int32_t sender = 0, int32_t aux = 0)
{
    MsgHeader h{sender, code, aux, int32_t(payload.size())};
    handler(payload.data(), &h, nullptr);
}

// A pointer event as the display sends it, handed to a tool.
inline void Event(void (*tool)(void *, const unsigned char *), int kind, int x, int y, int button = 1,
                  int state = -1)
{
    unsigned char ev[MSG_EVENT_SIZE] = {};
    Bytes_PutS32(ev + 4 * MSG_EV_KIND, kind);
    Bytes_PutS32(ev + 4 * MSG_EV_X, x);
    Bytes_PutS32(ev + 4 * MSG_EV_Y, y);
    Bytes_PutS32(ev + 4 * MSG_EV_BUTTON, button);
    Bytes_PutS32(ev + 4 * MSG_EV_STATE, state >= 0    ? state
                                        : button == 1 ? MSG_STATE_BUTTON1
                                                      : MSG_STATE_BUTTON3);
    tool(nullptr, ev);
}

// What a call wrote on the console.
inline std::string Stderr(const std::function<void()> &call)
{
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

inline Box BoxXY(int x1, int y1, int x2, int y2)
{
    return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}

inline std::vector<int> Corners(const Box &b)
{
    return {b.x1, b.y1, b.x2, b.y2};
}

// Width, height, mode, bits and alpha of a creation record.
inline std::vector<int> Geometry(const unsigned char *info)
{
    return {Bytes_Field(info, IMAGE_INFO_WIDTH), Bytes_Field(info, IMAGE_INFO_HEIGHT),
            Bytes_Field(info, IMAGE_INFO_MODE), Bytes_Field(info, IMAGE_INFO_BITS),
            Bytes_Field(info, IMAGE_INFO_ALPHA)};
}
