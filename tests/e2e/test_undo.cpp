// Undo, selections, masks, apply, paste and the pipette through the
// protocol: the real dabstone under the sorbane kernel, the test process as
// the display, the store files compared byte for byte.
#include "tests/e2e/E2e.h"

#include "core/Bytes.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/Msghand.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

using namespace e2e;

namespace
{

// Every row of every plane of a store image (read-only mapping).
std::vector<unsigned char> Planes(const std::string &path)
{
    Image *img = nullptr;
    if (Image_OpenReadImage(&img, path.c_str()) != 0)
        return {};
    std::vector<unsigned char> out;
    for (int p = 0; p < Image_Planes(img); ++p)
        for (int y = 0; y < Image_Height(img); ++y) {
            const unsigned char *row = Image_Row(img, p, y);
            out.insert(out.end(), row, row + Image_PlaneBytesPerRow(img, p));
        }
    Image_CloseImage(img);
    return out;
}

uint32_t Sample(const std::string &path, int plane, int x, int y)
{
    Image *img = nullptr;
    if (Image_OpenReadImage(&img, path.c_str()) != 0)
        return 0xFFFFFFFFu;
    uint32_t v = Image_GetSample(img, plane, x, y);
    Image_CloseImage(img);
    return v;
}

// The settings record of a past session: defaults, with undo on for images
// up to 100 megabytes and the "use selection" setting as given.
void WriteSettings(const std::string &path, int useSelection, int undoLimit = 100)
{
    std::vector<unsigned char> rec(MSG_SETTINGS_SIZE, 0);
    const int32_t words[] = {MSG_SETTINGS_MAGIC, 31, 31, 100, 0, 0, 25, useSelection, undoLimit, 0};
    for (size_t i = 0; i < std::size(words); ++i)
        Bytes_PutS32(rec.data() + 4 * i, words[i]);
    Bytes_PutS32(rec.data() + 4 * 36, 1);
    WriteFile(path, std::string(rec.begin(), rec.end()));
}

// A session whose display is the test: dabstone with undo switched on.
struct Painter {
    Session s;
    FakeDisplay d;
    std::string undoPath;

    bool Start(int useSelection = 0, const std::string &image = "", int undoLimit = 100)
    {
        if (!image.empty())
            s.image = image;
        s.settings = s.dir.File("settings");
        WriteSettings(s.settings, useSelection, undoLimit);
        // The settings (1015) go to dabstone before the display connects, so
        // once connected it has taken them.
        return s.Start({"--no-display"}) && s.log.WaitFor(true, MSG_SETTINGS) &&
               d.Open(s.kernelPid, s.programPid) && d.Connect(s.image);
    }

    // The undo image: the kernel's answer to the 2007 with the image's size.
    bool FindUndo()
    {
        Image *img = nullptr;
        if (Image_OpenReadImage(&img, s.image.c_str()) != 0)
            return false;
        int w = Image_Width(img), h = Image_Height(img);
        Image_CloseImage(img);
        return WaitUntil([&] {
            auto asks = s.log.Received(s.programPid);
            auto answers = s.log.Sent(MSG_WORK_CREATED);
            size_t n = 0;
            for (const Frame &f : asks) {
                if (f.code != MSG_CREATE_WORK)
                    continue;
                if (f.Word(IMAGE_INFO_WIDTH) == w && f.Word(IMAGE_INFO_HEIGHT) == h && n < answers.size()) {
                    undoPath = answers[n].Text(0);
                    return true;
                }
                ++n;
            }
            return false;
        });
    }

    // The copy goes row by row, plane after plane, and dabstone marks undo
    // ready in the call that copies the last row: once the last row of the
    // last plane is in the undo image, strokes are accepted.
    bool WaitUndoReady()
    {
        if (undoPath.empty() && !FindUndo())
            return false;
        return WaitUntil([&] {
            Image *a = nullptr, *b = nullptr;
            bool same = false;
            if (Image_OpenReadImage(&a, s.image.c_str()) == 0 &&
                Image_OpenReadImage(&b, undoPath.c_str()) == 0) {
                int p = Image_Planes(a) - 1, y = Image_Height(a) - 1;
                same = !memcmp(Image_Row(a, p, y), Image_Row(b, p, y), size_t(Image_PlaneBytesPerRow(a, p)));
            }
            if (a)
                Image_CloseImage(a);
            if (b)
                Image_CloseImage(b);
            return same;
        });
    }

    void Event(int tool, int32_t kind, int x, int y, int button = 1)
    {
        int32_t state = button == 1 ? MSG_STATE_BUTTON1 : MSG_STATE_BUTTON3;
        d.Send(MSG_POINTER,
               Words({kind, int32_t(d.ToolHandle(tool)), 0, 0, 7, x, y, button, 0, state, 0, 0, 0, 0, 0, 0}));
    }

    // The motion controls with mode 99 seen so far: each ends a job.
    int JobsEnded() const
    {
        int n = 0;
        for (const Frame &f : d.got)
            n += f.code == MSG_MOTION && f.Word(0) == 99;
        return n;
    }
    bool WaitJobsEnded(int n)
    {
        return WaitUntil([&] {
            Msghand_ReadAll(d.fifo);
            return JobsEnded() >= n;
        });
    }

    // A stroke of the brush tool through the points; waits for its end.
    bool Stroke(std::initializer_list<std::pair<int, int>> points, int button = 1)
    {
        int before = JobsEnded();
        auto it = points.begin();
        Event(0, MSG_EVK_PRESS, it->first, it->second, button);
        std::pair<int, int> last = *it;
        for (++it; it != points.end(); ++it) {
            Event(0, MSG_EVK_MOTION, it->first, it->second, button);
            last = *it;
        }
        Event(0, MSG_EVK_RELEASE, last.first, last.second, button);
        return WaitJobsEnded(before + 1);
    }

    bool Undo()
    {
        int before = JobsEnded();
        auto p = PathField(s.image);
        Append(p, Words({8, 0, 0}));
        d.Send(MSG_ACTION, p);
        return WaitJobsEnded(before + 1);
    }

    int Quit()
    {
        WriteFifo(s.ProgramFifo(), RawFrame(s.kernelPid, MSG_EXIT, 0, 0, {}));
        return s.Finish();
    }
};

} // namespace

TEST(UndoE2e, StrokeUndoAndUndoAgainByteForByte)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    auto before = Planes(p.s.image);
    ASSERT_TRUE(p.Stroke({{10, 10}, {40, 20}, {50, 30}}));
    auto painted = Planes(p.s.image);
    ASSERT_NE(painted, before) << "the stroke painted nothing";
    ASSERT_TRUE(p.Undo());
    EXPECT_EQ(Planes(p.s.image), before);
    ASSERT_TRUE(p.Undo());
    EXPECT_EQ(Planes(p.s.image), painted);
    EXPECT_EQ(p.Quit(), 0);
}

TEST(UndoE2e, AnUndoAfterANewStrokeRemovesOnlyTheNewStroke)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    auto before = Planes(p.s.image);
    ASSERT_TRUE(p.Stroke({{5, 5}, {20, 5}}));
    ASSERT_TRUE(p.Undo());
    ASSERT_EQ(Planes(p.s.image), before);
    ASSERT_TRUE(p.Stroke({{30, 30}, {45, 40}}));
    auto second = Planes(p.s.image);
    ASSERT_NE(second, before);
    ASSERT_TRUE(p.Undo());
    EXPECT_EQ(Planes(p.s.image), before);
    ASSERT_TRUE(p.Undo());
    EXPECT_EQ(Planes(p.s.image), second);
    EXPECT_EQ(p.Quit(), 0);
}

TEST(UndoE2e, AFillStaysInsideTheSelection)
{
    Painter p;
    ASSERT_TRUE(p.Start(1));
    ASSERT_TRUE(p.WaitUndoReady());
    auto before = Planes(p.s.image);
    // The selection changed: the next job asks for it (1016 clears the
    // flag that keeps the last one).
    ASSERT_TRUE(WriteFifo(p.s.ProgramFifo(), RawFrame(p.s.kernelPid, MSG_NO_MASK, 0, 0, {})));
    int ended = p.JobsEnded();
    p.Event(1, MSG_EVK_PRESS, 3, 3);
    ASSERT_TRUE(p.d.WaitCode(MSG_ASK_SELECTION));
    p.d.Send(MSG_SELECTION, Words({1, 0, 10, 12, 20, 8, 0}));
    p.Event(1, MSG_EVK_RELEASE, 3, 3);
    ASSERT_TRUE(p.WaitJobsEnded(ended + 1));
    for (int pl = 0; pl < 4; ++pl)
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                bool in = x >= 10 && x < 30 && y >= 12 && y < 20;
                uint32_t was = before[size_t(pl) * 64 * 48 + size_t(y) * 64 + x];
                if (!in) {
                    ASSERT_EQ(Sample(p.s.image, pl, x, y), was) << pl << " " << x << "," << y;
                }
            }
    EXPECT_NE(Planes(p.s.image), before);
    // The undo takes exactly the fill away.
    ASSERT_TRUE(p.Undo());
    EXPECT_EQ(Planes(p.s.image), before);
    EXPECT_EQ(p.Quit(), 0);
}

TEST(UndoE2e, AMaskImageLimitsTheStroke)
{
    Painter p;
    ASSERT_TRUE(p.Start(1));
    ASSERT_TRUE(p.WaitUndoReady());
    // The mask: columns below 32 open, the rest closed.
    std::string mask = MakeImage(p.s.dir.path, 64, 48, IMAGE_MODE_GREY, 8, 0);
    {
        Image *m = nullptr;
        ASSERT_EQ(Image_OpenImage(&m, mask.c_str()), 0);
        for (int y = 0; y < 48; ++y)
            memset(Image_Row(m, 0, y), 0, 64), memset(Image_Row(m, 0, y), 255, 32);
        Image_CloseImage(m);
    }
    auto ready = PathField(mask);
    Append(ready, PathField(p.s.image));
    ASSERT_TRUE(WriteFifo(p.s.ProgramFifo(),
                          RawFrame(p.s.kernelPid, MSG_MASK_READY, 0, int32_t(ready.size()), ready)));

    ASSERT_TRUE(WriteFifo(p.s.ProgramFifo(), RawFrame(p.s.kernelPid, MSG_NO_MASK, 0, 0, {})));
    auto before = Planes(p.s.image);
    int ended = p.JobsEnded();
    p.Event(0, MSG_EVK_PRESS, 10, 24);
    ASSERT_TRUE(p.d.WaitCode(MSG_ASK_SELECTION));
    p.d.Send(MSG_SELECTION, Words({2, 0, 0, 0, 64, 48, 0})); // the whole image, masked
    p.Event(0, MSG_EVK_MOTION, 55, 24);
    p.Event(0, MSG_EVK_RELEASE, 55, 24);
    ASSERT_TRUE(p.WaitJobsEnded(ended + 1));
    auto after = Planes(p.s.image);
    bool leftChanged = false;
    for (size_t pl = 0; pl < 4; ++pl)
        for (size_t y = 0; y < 48; ++y)
            for (size_t x = 0; x < 64; ++x) {
                size_t at = (pl * 48 + y) * 64 + x;
                if (x >= 32) {
                    ASSERT_EQ(after[at], before[at]) << "painted under the closed mask at " << x << "," << y;
                } else {
                    leftChanged |= after[at] != before[at];
                }
            }
    EXPECT_TRUE(leftChanged);
    EXPECT_EQ(p.Quit(), 0);
}

TEST(UndoE2e, ApplyStampsThePlacedBrushAtItsCentre)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    auto before = Planes(p.s.image);
    // Apply with no brush placed: nothing.
    auto act = PathField(p.s.image);
    Append(act, Words({16, 0, 0}));
    p.d.Send(MSG_ACTION, act);
    // Place a 9 x 9 brush at (20, 10): its centre is (24, 14).
    p.d.Send(MSG_POINTER, Words({512, 0, 0, 0, 7, 0, 0, 0, 0, 0, 20, 10, 9, 9, 1, 0}));
    int ended = p.JobsEnded();
    p.d.Send(MSG_ACTION, act);
    ASSERT_TRUE(p.WaitJobsEnded(ended + 1));
    auto after = Planes(p.s.image);
    EXPECT_NE(after, before);
    for (size_t pl = 0; pl < 4; ++pl)
        for (size_t y = 0; y < 48; ++y)
            for (size_t x = 0; x < 64; ++x) {
                size_t at = (pl * 48 + y) * 64 + x;
                if (x < 20 || x > 28 || y < 10 || y > 18) {
                    ASSERT_EQ(after[at], before[at]) << "outside the brush at " << x << "," << y;
                }
            }
    EXPECT_NE(Sample(p.s.image, 0, 24, 14), before[14 * 64 + 24]);
    // No pointer motion was allowed during the apply.
    for (const Frame &f : p.d.got)
        if (f.code == MSG_MOTION) {
            EXPECT_NE(f.Word(0), 1);
        }
    EXPECT_EQ(p.Quit(), 0);
}

TEST(UndoE2e, AKillInTheMiddleOfAStrokeLosesNothingPainted)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    auto before = Planes(p.s.image);
    p.Event(0, MSG_EVK_PRESS, 10, 10);
    p.Event(0, MSG_EVK_MOTION, 40, 30);
    // Painted and flushed: the display is asked to redraw at once, and
    // motion is allowed again.
    ASSERT_TRUE(WaitUntil([&] {
        Msghand_ReadAll(p.d.fifo);
        int allowed = 0;
        for (const Frame &f : p.d.got)
            allowed += f.code == MSG_MOTION && f.Word(0) == 1;
        return allowed >= 2 && p.d.Count(MSG_REDRAW_NOW) >= 1;
    }));
    auto painted = Planes(p.s.image);
    ASSERT_NE(painted, before);
    ASSERT_EQ(kill(p.s.programPid, SIGKILL), 0);
    p.s.Finish();
    // The store file opens as it is and holds every painted byte.
    Image *img = nullptr;
    ASSERT_EQ(Image_OpenImage(&img, p.s.image.c_str()), 0);
    Image_CloseImage(img);
    EXPECT_EQ(Planes(p.s.image), painted);
}
TEST(UndoE2e, ALentImageIsPastedAndGivenBack)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    std::string lent = MakeImage(p.s.dir.path, 12, 12, IMAGE_MODE_RGB, 8, 1);
    auto paste = PathField(lent);
    Append(paste, Words({1}));
    ASSERT_TRUE(
        WriteFifo(p.s.ProgramFifo(), RawFrame(p.s.kernelPid, MSG_PASTE, 0, int32_t(paste.size()), paste)));
    // It becomes the brush the display shows.
    ASSERT_TRUE(WaitUntil([&] {
        Msghand_ReadAll(p.d.fifo);
        const Frame *b = p.d.Last(MSG_BRUSH_CURSOR);
        return b && b->Text(0) == lent;
    }));
    EXPECT_FALSE(p.s.log.Has(false, MSG_GIVE_BACK));
    // Pasting the current image is refused and a lent one given back at once.
    auto self = PathField(p.s.image);
    Append(self, Words({1}));
    ASSERT_TRUE(
        WriteFifo(p.s.ProgramFifo(), RawFrame(p.s.kernelPid, MSG_PASTE, 0, int32_t(self.size()), self)));
    ASSERT_TRUE(p.s.log.WaitFor(false, MSG_GIVE_BACK));
    // Another lent image takes its place: the first one goes back.
    std::string next = MakeImage(p.s.dir.path, 8, 8, IMAGE_MODE_RGB, 8, 1);
    auto second = PathField(next);
    Append(second, Words({1}));
    ASSERT_TRUE(
        WriteFifo(p.s.ProgramFifo(), RawFrame(p.s.kernelPid, MSG_PASTE, 0, int32_t(second.size()), second)));
    ASSERT_TRUE(p.s.log.WaitFor(false, MSG_GIVE_BACK, 2));
    std::vector<std::string> back;
    for (const Frame &f : p.s.log.Received(p.s.programPid))
        if (f.code == MSG_GIVE_BACK)
            back.push_back(f.Text(0));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], p.s.image);
    EXPECT_EQ(back[1], lent);
    EXPECT_EQ(p.Quit(), 0);
}

TEST(UndoE2e, ThePipettePicksGreyRgbAndCmykColours)
{
    struct Case {
        int mode;
        int words[4];
    } cases[] = {{IMAGE_MODE_GREY, {11}}, {IMAGE_MODE_RGB, {1, 2, 3}}, {IMAGE_MODE_CMYK, {4, 5, 6, 7}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        Painter p;
        p.s.image = MakeImage(p.s.dir.path, 30, 20, c.mode, 8, 0);
        ASSERT_TRUE(p.Start(0, p.s.image));
        int colours = 0;
        auto count = [&] {
            int n = 0;
            for (const Frame &f : p.d.got)
                n += f.code == MSG_BRUSH_CURSOR && f.Word(1140) == 16;
            return n;
        };
        colours = count();
        p.Event(2, MSG_EVK_PRESS, 7, 5);
        ASSERT_TRUE(WaitUntil([&] {
            Msghand_ReadAll(p.d.fifo);
            return count() > colours;
        }));
        const Frame *b = p.d.Last(MSG_BRUSH_CURSOR);
        // The pattern holds (x + 3y + 7p) & 255 in plane p.
        EXPECT_EQ(b->Word(1088), c.mode);
        for (int pl = 0; pl < (c.mode == IMAGE_MODE_GREY ? 1 : c.mode == IMAGE_MODE_RGB ? 3 : 4); ++pl)
            EXPECT_EQ(b->Word(1088 + 4 * c.words[pl]), (7 + 15 + 7 * pl) & 255) << "plane " << pl;
        EXPECT_EQ(p.Quit(), 0);
    }
}

// Undo comes on by itself when the settings allow the image's size: the
// undo image has the image's geometry and ends up holding its bytes. With a
// limit of 0 megabytes it stays off.
TEST(UndoE2e, TheSettingsSwitchUndoOnForSmallEnoughImages)
{
    Painter on;
    ASSERT_TRUE(on.Start());
    ASSERT_TRUE(on.WaitUndoReady());
    EXPECT_EQ(Planes(on.undoPath), Planes(on.s.image));
    EXPECT_EQ(on.Quit(), 0);

    Painter off;
    ASSERT_TRUE(off.Start(0, "", 0));
    EXPECT_EQ(off.Quit(), 0);
    int sized = 0;
    for (const Frame &f : off.s.log.Received(off.s.programPid))
        sized +=
            f.code == MSG_CREATE_WORK && f.Word(IMAGE_INFO_WIDTH) == 64 && f.Word(IMAGE_INFO_HEIGHT) == 48;
    EXPECT_EQ(sized, 0);
}

// A new current image gives the undo image back (2008) and asks for one of
// the new image's geometry.
TEST(UndoE2e, AnImageChangeGivesTheUndoImageBack)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    std::string other = MakeImage(p.s.dir.path, 40, 30, IMAGE_MODE_GREY, 8, 0);
    auto given = PathField(other);
    ASSERT_TRUE(
        WriteFifo(p.s.ProgramFifo(), RawFrame(p.s.kernelPid, MSG_GIVEN, 0, int32_t(given.size()), given)));
    ASSERT_TRUE(WaitUntil([&] {
        for (const Frame &f : p.s.log.Received(p.s.programPid))
            if (f.code == MSG_DELETE && f.Text(0) == p.undoPath)
                return true;
        return false;
    }));
    ASSERT_TRUE(WaitUntil([&] {
        for (const Frame &f : p.s.log.Received(p.s.programPid))
            if (f.code == MSG_CREATE_WORK && f.Word(IMAGE_INFO_WIDTH) == 40 &&
                f.Word(IMAGE_INFO_HEIGHT) == 30 && f.Word(IMAGE_INFO_MODE) == IMAGE_MODE_GREY)
                return true;
        return false;
    }));
    EXPECT_EQ(p.Quit(), 0);
}
