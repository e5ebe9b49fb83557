// The main window's controls driven as a user drives them (real pointer and
// keys through XTest, widgets found by name), on the 24-bit server and on
// the 8-bit one: what reaches the engine is read in the brush descriptions
// the display gets (1042), in the settings record saved at quit (1014) and
// in the pixels painted into the store image.
#include "tests/e2e/E2e.h"
#include "tests/e2e/Editres.h"

#include "core/Bytes.h"
#include "core/Image.h"
#include "core/Msg.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace e2e;

namespace
{

// Word `word` of the settings record dabstone saved (1014, after the
// program name), or INT32_MIN when none was saved.
int32_t Saved(const Session &s, int word)
{
    std::vector<Frame> saved;
    for (const Frame &f : s.log.Received(s.programPid))
        if (f.code == MSG_SAVE_SETTINGS)
            saved.push_back(f);
    return saved.size() == 1 ? saved[0].Word(size_t(MSG_NAME_SIZE + 4 * word)) : INT32_MIN;
}

// Brush descriptions the display got that pass `also`.
int Descriptions(const Session &s, const std::function<bool(const Frame &)> &also)
{
    return s.displayLog.Count(false, MSG_BRUSH_CURSOR, also);
}

// The display has been told the brush is width x height (position box).
bool WaitSize(const Session &s, int width, int height)
{
    return WaitUntil([&] {
        return Descriptions(s, [&](const Frame &f) {
                   return f.Word(MSG_BR_CHANGE) == MSG_BRC_POSITION && f.Word(MSG_BR_POS_BOX + 16) == width &&
                          f.Word(MSG_BR_POS_BOX + 20) == height;
               }) > 0;
    });
}

// Each test runs on the server its parameter's variable names: the test's
// own connection and the session's programs both go there.
class WindowControls : public testing::TestWithParam<const char *>
{
  protected:
    Session s;
    unsigned long top = 0;
    std::string before;

    void SetUp() override
    {
        const char *display = getenv(GetParam());
        if (!display)
            GTEST_SKIP() << GetParam() << " is not set (scripts/xvfb.sh sets it)";
        before = getenv("DISPLAY") ? getenv("DISPLAY") : "";
        setenv("DISPLAY", display, 1);
    }
    void TearDown() override
    {
        if (!before.empty())
            setenv("DISPLAY", before.c_str(), 1);
    }

    // Starts the session with its display process; returns once the
    // display shows the brush and the main window can be driven.
    void Open(std::vector<std::string> args = {})
    {
        ASSERT_TRUE(s.Start(args) && s.Ready()) << s.kernel.Err();
        top = s.MainWindow();
        ASSERT_NE(top, 0u);
        ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
        // Clear of the display's window, which opens at the top left.
        ASSERT_TRUE(MoveWindow(top, 400, 40));
        ASSERT_TRUE(WaitUntil([&] { return WidgetBox(top, "bar.quit").ok; }));
    }

    // Quits with the bar's button: dabstone saves its settings and ends.
    void Quit()
    {
        ASSERT_TRUE(ClickWidget(top, "bar.quit"));
        ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    }
};

} // namespace

// Loaded settings show in the fields (the arrows step from them); typed
// values, arrows and toggles reach the engine, within each field's bounds.
TEST_P(WindowControls, FieldsArrowsAndToggles)
{
    WriteSettings(s.settings = s.dir.File("settings"),
                  {{SET_WIDTH, 50}, {SET_HEIGHT, 50}, {SET_OPACITY, 40}});
    ASSERT_NO_FATAL_FAILURE(Open());
    // Button 1 steps by 1, button 3 by 10; the link makes the height follow.
    ASSERT_TRUE(ClickWidget(top, "width.plus", 1));
    ASSERT_TRUE(WaitSize(s, 51, 51)) << "from the loaded 50";
    ASSERT_TRUE(ClickWidget(top, "width.plus", 3));
    ASSERT_TRUE(WaitSize(s, 61, 61));
    ASSERT_TRUE(ClickWidget(top, "height.moins", 1));
    ASSERT_TRUE(WaitSize(s, 60, 60));
    ASSERT_TRUE(TypeInto(top, "width.textfield", "20", true));
    ASSERT_TRUE(WaitSize(s, 20, 20));
    // Unlinked, the width changes alone.
    ASSERT_TRUE(ClickWidget(top, "picture_form.l"));
    ASSERT_TRUE(TypeInto(top, "width.textfield", "30", true));
    ASSERT_TRUE(WaitSize(s, 30, 20));
    // Beyond the maximum: the maximum. Letters are refused, and no more
    // digits than the field has columns are taken.
    ASSERT_TRUE(TypeInto(top, "opacity.textfield", "150", true));
    ASSERT_TRUE(TypeInto(top, "spacing.textfield", "1x2345678901234567890", true));
    ASSERT_TRUE(ClickWidget(top, "path.dot"));
    ASSERT_TRUE(ClickWidget(top, "type.aero"));
    ASSERT_NO_FATAL_FAILURE(Quit());
    EXPECT_EQ(Saved(s, SET_WIDTH), 30);
    EXPECT_EQ(Saved(s, SET_HEIGHT), 20);
    EXPECT_EQ(Saved(s, SET_OPACITY), 100) << "loaded 40, typed 150";
    EXPECT_EQ(Saved(s, SET_SPACING), 123);
    EXPECT_EQ(Saved(s, SET_TRACE), 1);
    EXPECT_EQ(Saved(s, SET_AERO), 1);
}

// The option menus' entries, chosen from the entry shown. A dab on the Red
// plane with the alpha channel preserved changes plane 0 only; "Behind"
// reaches the display as a negative op sign. The test is the display
// process here, so that the dab comes exactly when it wants it; a size typed
// after a menu choice tells when dabstone has taken the choice.
TEST_P(WindowControls, PlaneAlphaAndOpMenus)
{
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    FakeDisplay d;
    ASSERT_TRUE(d.Open(s.kernelPid, s.programPid) && d.Connect(s.image)) << s.kernel.Err();
    top = s.MainWindow();
    ASSERT_TRUE(MoveWindow(top, 400, 40));
    ASSERT_TRUE(WaitUntil([&] { return WidgetBox(top, "bar.quit").ok; }));
    auto sized = [&](int size) {
        return TypeInto(top, "width.textfield", std::to_string(size), true) && d.WaitFor([&] {
            const Frame *f = d.Last(MSG_BRUSH_CURSOR);
            return f && f->Word(MSG_BR_CHANGE) == MSG_BRC_POSITION && f->Word(MSG_BR_POS_BOX + 16) == size;
        });
    };
    const std::string op = "op.optionMenu#0", plane = "op.optionMenu#1", alpha = "op.optionMenu#2";
    // Native, Red, ...: Red makes the brush colour the red component alone.
    ASSERT_TRUE(ChooseOption(top, plane, 1));
    ASSERT_TRUE(d.WaitFor([&] {
        const Frame *f = d.Last(MSG_BRUSH_CURSOR);
        return f && f->Word(MSG_BR_CHANGE) == MSG_BRC_COLOR && f->Word(MSG_BR_COLOR) == 1;
    }));
    ASSERT_TRUE(ChooseOption(top, alpha, 1)); // Preserve
    ASSERT_TRUE(sized(7));
    const int32_t brush = int32_t(d.ToolHandle(0));
    for (int32_t kind : {MSG_EVK_PRESS, MSG_EVK_RELEASE})
        d.Send(MSG_POINTER, Words({kind, brush, 0, 0, 0, 20, 20, 1, 0, 256, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(s.log.WaitFor(false, MSG_ROWS_CHANGED)) << s.kernel.Err();
    EXPECT_EQ(Sample(s.image, 0, 20, 20), 0u) << "black at the centre";
    for (int y = 17; y <= 23; y++)
        for (int x = 17; x <= 23; x++)
            for (int p = 1; p < 4; p++)
                ASSERT_EQ(Sample(s.image, p, x, y), uint32_t((x + 3 * y + 7 * p) & 255))
                    << p << " " << x << "," << y;
    EXPECT_TRUE(PatternOutside(s.image, {{17, 17, 23, 23}}));

    // Behind needs the alpha channel worked on.
    ASSERT_TRUE(ChooseOption(top, alpha, -1));
    ASSERT_TRUE(ChooseOption(top, op, 1));
    EXPECT_TRUE(d.WaitFor([&] {
        return d.Count(MSG_BRUSH_CURSOR, [](const Frame &f) {
            return f.Word(MSG_BR_CHANGE) == MSG_BRC_OP && f.Word(MSG_BR_OP_SIGN) == -1;
        }) == 1;
    }));
    ASSERT_TRUE(ClickWidget(top, "bar.quit"));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
}

// Without an alpha plane "Behind" cannot be chosen: released on it, the
// pulldown goes and the operation stays.
TEST_P(WindowControls, NoBehindWithoutAlpha)
{
    s.image = MakeImage(s.dir.path, 64, 48, IMAGE_MODE_RGB, 8, 0);
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_TRUE(ChooseOption(top, "op.optionMenu#0", 1));
    ASSERT_TRUE(TypeInto(top, "width.textfield", "5", true));
    ASSERT_TRUE(WaitSize(s, 5, 5));
    EXPECT_EQ(Descriptions(s, [](const Frame &f) { return f.Word(MSG_BR_CHANGE) == MSG_BRC_OP; }), 0);
    ASSERT_NO_FATAL_FAILURE(Quit());
}

// The options dialog writes each setting at once and is built once: the
// undo size limit (of "1500" typed, the 3-column field takes "150"), the
// display flag and the dithering reach the settings saved at quit.
TEST_P(WindowControls, OptionsDialog)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_TRUE(ClickWidget(top, "bar.options"));
    ASSERT_TRUE(WaitUntil([&] { return WidgetBox(top, "config.form.ok").ok; }));
    ASSERT_TRUE(TypeInto(top, "config.form.size.textfield", "1500", false)); // Return would be "ok"
    ASSERT_TRUE(ClickWidget(top, "config.form.display"));
    ASSERT_TRUE(ChooseOption(top, "config.form.optionMenu", -1)); // Dithering to Treshold
    ASSERT_TRUE(ClickWidget(top, "bar.options"));
    int shells = 0;
    for (const WidgetInfo &w : WidgetTree(top))
        shells += w.name == "config";
    EXPECT_EQ(shells, 1) << "raised, not built again";
    ASSERT_TRUE(ClickWidget(top, "config.form.ok"));
    ASSERT_TRUE(WaitUntil([&] { return !WidgetBox(top, "config.form.ok").ok; }));
    ASSERT_NO_FATAL_FAILURE(Quit());
    EXPECT_EQ(Saved(s, SET_UNDO_LIMIT), 150);
    EXPECT_EQ(Saved(s, SET_ANNOUNCE), 1);
    EXPECT_EQ(Saved(s, SET_DITHERING), 0);
}

INSTANTIATE_TEST_SUITE_P(Screens, WindowControls, testing::Values("DISPLAY", "DAB_DISPLAY8"),
                         [](const testing::TestParamInfo<const char *> &p) {
                             return std::string(p.param) == "DISPLAY" ? "Depth24" : "Depth8";
                         });
