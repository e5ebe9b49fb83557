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
#include <functional>

using namespace e2e;

namespace
{

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
        WriteSettings(s.settings, {{SET_SELECTION, useSelection}, {SET_UNDO_LIMIT, undoLimit}});
        // The settings (1015) go to dabstone before the display connects, so
        // once connected it has taken them.
        return s.Start({"--no-display"}) && s.Ready() && d.Open(s.kernelPid, s.programPid) &&
               d.Connect(s.image);
    }

    // The undo image is the answer to the seventh 2007 (the six work images
    // come first). Its copy goes row by row, plane after plane, and dabstone
    // marks undo ready in the call that copies the last row: once the copy
    // is whole, strokes are accepted.
    bool WaitUndoReady()
    {
        return WaitUntil([&] {
            std::vector<Frame> answers = s.log.Sent(MSG_WORK_CREATED);
            undoPath = answers.size() > 6 ? answers[6].Text(0) : "";
            return !undoPath.empty() && Planes(undoPath) == Planes(s.image);
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
        return d.Count(MSG_MOTION, [](const Frame &f) { return f.Word(0) == 99; });
    }
    // Runs start(), then waits for one more job to end.
    bool Job(const std::function<void()> &start)
    {
        int before = JobsEnded();
        start();
        return d.WaitFor([&] { return JobsEnded() > before; });
    }

    // A stroke of the brush tool through the points; waits for its end.
    bool Stroke(std::initializer_list<std::pair<int, int>> points)
    {
        return Job([&] {
            for (auto it = points.begin(); it != points.end(); ++it)
                Event(0, it == points.begin() ? MSG_EVK_PRESS : MSG_EVK_MOTION, it->first, it->second);
            Event(0, MSG_EVK_RELEASE, (points.end() - 1)->first, (points.end() - 1)->second);
        });
    }

    // 1040 asks for an undo (8) or an apply (16) of the image.
    void Action(int32_t action) { d.Send(MSG_ACTION, PathWords(s.image, {action, 0, 0})); }
    bool Undo()
    {
        return Job([&] { Action(8); });
    }

    int Quit()
    {
        s.ToProgram(MSG_EXIT, {});
        return s.Finish();
    }
};

} // namespace

// Undo takes back exactly the last stroke; undo again puts it back.
TEST(UndoE2e, UndoTakesBackTheLastStrokeAndUndoAgainRestoresIt)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    auto before = Planes(p.s.image);
    ASSERT_TRUE(p.Stroke({{5, 5}, {20, 5}}));
    ASSERT_NE(Planes(p.s.image), before) << "the stroke painted nothing";
    ASSERT_TRUE(p.Undo());
    ASSERT_EQ(Planes(p.s.image), before);
    ASSERT_TRUE(p.Stroke({{10, 10}, {40, 20}, {50, 30}}));
    auto second = Planes(p.s.image);
    ASSERT_TRUE(p.Undo());
    EXPECT_EQ(Planes(p.s.image), before);
    ASSERT_TRUE(p.Undo());
    EXPECT_EQ(Planes(p.s.image), second);
    EXPECT_EQ(p.Quit(), 0);
}

// A job waits for the selection it asks for (1043) and paints only inside
// it: a fill inside a rectangle, or a stroke over the whole image masked by
// a mask image whose columns below 32 are open. The undo takes exactly the
// job away.
TEST(UndoE2e, SelectionsAndMasksLimitTheJob)
{
    struct Case {
        const char *what;
        int tool;
        int32_t selection[7];
        Rect box; // where the job may paint
    } cases[] = {{"fill", 1, {1, 0, 10, 12, 20, 8, 0}, {10, 12, 29, 19}},
                 {"masked stroke", 0, {2, 0, 0, 0, 64, 48, 0}, {0, 0, 31, 47}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Painter p;
        ASSERT_TRUE(p.Start(1));
        ASSERT_TRUE(p.WaitUndoReady());
        if (c.tool == 0) {
            std::string mask = MakeImage(p.s.dir.path, 64, 48, IMAGE_MODE_GREY, 8, 0);
            ASSERT_TRUE(EditImage(mask, [](Image *m) {
                for (int y = 0; y < 48; ++y)
                    memset(Image_Row(m, 0, y), 0, 64), memset(Image_Row(m, 0, y), 255, 32);
            }));
            auto ready = PathField(mask);
            Append(ready, PathField(p.s.image));
            ASSERT_TRUE(p.s.ToProgram(MSG_MASK_READY, ready));
        }
        // The selection changed: the next job asks for it (1016 clears the
        // flag that keeps the last one).
        ASSERT_TRUE(p.s.ToProgram(MSG_NO_MASK, {}));
        auto before = Planes(p.s.image);
        ASSERT_TRUE(p.Job([&] {
            p.Event(c.tool, MSG_EVK_PRESS, 10, 24);
            ASSERT_TRUE(p.d.WaitCode(MSG_ASK_SELECTION));
            const int32_t *r = c.selection;
            p.d.Send(MSG_SELECTION, Words({r[0], r[1], r[2], r[3], r[4], r[5], r[6]}));
            p.Event(c.tool, MSG_EVK_MOTION, 55, 24);
            p.Event(c.tool, MSG_EVK_RELEASE, 55, 24);
        }));
        EXPECT_TRUE(PatternOutside(p.s.image, {c.box}));
        EXPECT_NE(Planes(p.s.image), before);
        ASSERT_TRUE(p.Undo());
        EXPECT_EQ(Planes(p.s.image), before);
        EXPECT_EQ(p.Quit(), 0);
    }
}

TEST(UndoE2e, ApplyStampsThePlacedBrushAtItsCentre)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    auto before = Planes(p.s.image);
    p.Action(16); // no brush placed: nothing
    // Place a 9 x 9 brush at (20, 10): its centre is (24, 14).
    p.d.Send(MSG_POINTER, Words({512, 0, 0, 0, 7, 0, 0, 0, 0, 0, 20, 10, 9, 9, 1, 0}));
    ASSERT_TRUE(p.Job([&] { p.Action(16); }));
    EXPECT_TRUE(PatternOutside(p.s.image, {{20, 10, 28, 18}}));
    EXPECT_NE(Sample(p.s.image, 0, 24, 14), before[14 * 64 + 24]);
    EXPECT_EQ(p.d.Count(MSG_MOTION, [](const Frame &f) { return f.Word(0) == 1; }), 0)
        << "no pointer motion was allowed during the apply";
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
    ASSERT_TRUE(p.d.WaitFor([&] {
        return p.d.Count(MSG_MOTION, [](const Frame &f) { return f.Word(0) == 1; }) >= 2 &&
               p.d.Count(MSG_REDRAW_NOW) >= 1;
    }));
    auto painted = Planes(p.s.image);
    ASSERT_NE(painted, before);
    ASSERT_EQ(kill(p.s.programPid, SIGKILL), 0);
    p.s.Finish();
    // The store file opens as it is and holds every painted byte.
    ASSERT_TRUE(EditImage(p.s.image, [](Image *) {}));
    EXPECT_EQ(Planes(p.s.image), painted);
}

// The pipette's colour reaches the display's brush cursor; the modes are
// the unit tests' business, one session with four planes is enough here.
TEST(UndoE2e, ThePipettePicksTheColourUnderThePointer)
{
    Painter p;
    ASSERT_TRUE(p.Start(0, MakeImage(p.s.dir.path, 30, 20, IMAGE_MODE_CMYK, 8, 0)));
    auto colours = [&] {
        return p.d.Count(MSG_BRUSH_CURSOR, [](const Frame &f) { return f.Word(1140) == 16; });
    };
    auto shown = colours();
    p.Event(2, MSG_EVK_PRESS, 7, 5);
    ASSERT_TRUE(p.d.WaitFor([&] { return colours() > shown; }));
    const Frame *b = p.d.Last(MSG_BRUSH_CURSOR);
    // The pattern holds (x + 3y + 7p) & 255 in plane p; CMYK stands in words 4 to 7.
    EXPECT_EQ(b->Word(1088), IMAGE_MODE_CMYK);
    for (int pl = 0; pl < 4; ++pl)
        EXPECT_EQ(b->Word(1088 + 4 * (4 + pl)), (7 + 15 + 7 * pl) & 255) << "plane " << pl;
    EXPECT_EQ(p.Quit(), 0);
}

// Undo comes on by itself when the settings allow the image's size: an
// undo image of the image's geometry is asked for. With a limit of 0
// megabytes it stays off.
TEST(UndoE2e, TheSettingsSwitchUndoOnForSmallEnoughImages)
{
    for (int limit : {100, 0}) {
        SCOPED_TRACE(limit);
        Painter p;
        ASSERT_TRUE(p.Start(0, "", limit));
        if (limit) {
            ASSERT_TRUE(p.WaitUndoReady());
        }
        EXPECT_EQ(p.Quit(), 0);
        EXPECT_EQ(p.s.log.Count(false, MSG_CREATE_WORK,
                                [](const Frame &f) {
                                    return f.Word(IMAGE_INFO_WIDTH) == 64 && f.Word(IMAGE_INFO_HEIGHT) == 48;
                                }),
                  limit ? 1 : 0);
    }
}

// A new current image gives the undo image back (2008) and asks for one of
// the new image's geometry.
TEST(UndoE2e, AnImageChangeGivesTheUndoImageBack)
{
    Painter p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitUndoReady());
    std::string other = MakeImage(p.s.dir.path, 40, 30, IMAGE_MODE_GREY, 8, 0);
    ASSERT_TRUE(p.s.ToProgram(MSG_GIVEN, PathField(other)));
    ASSERT_TRUE(WaitUntil([&] { return p.s.log.HasPath(false, MSG_DELETE, p.undoPath); }));
    ASSERT_TRUE(WaitUntil([&] {
        return p.s.log.Count(false, MSG_CREATE_WORK, [](const Frame &f) {
            return f.Word(IMAGE_INFO_WIDTH) == 40 && f.Word(IMAGE_INFO_HEIGHT) == 30 &&
                   f.Word(IMAGE_INFO_MODE) == IMAGE_MODE_GREY;
        }) > 0;
    }));
    EXPECT_EQ(p.Quit(), 0);
}
