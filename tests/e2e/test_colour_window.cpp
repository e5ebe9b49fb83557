// The colour picker of dabstone's main window, used as a person uses it:
// values typed into its sliders and its space toggles clicked, the colour
// seen where it goes (the brush description of the display, the settings
// record at quit), and the pipette's pick shown back in the picker.
#include "tests/e2e/E2e.h"
#include "tests/e2e/Editres.h"

#include "core/Msg.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace
{

constexpr int32_t kRgb = 2; // the colour space code of RGB

// The colour of the last brush description that carried one.
std::vector<int32_t> LastBrushColour(const FakeDisplay &d)
{
    const Frame *f = d.Last(MSG_BRUSH_CURSOR);
    if (!f)
        return {};
    return {f->Word(MSG_BR_COLOR), f->Word(MSG_BR_COLOR + 4), f->Word(MSG_BR_COLOR + 8),
            f->Word(MSG_BR_COLOR + 12)};
}

std::string Slider(int i)
{
    return "sliders.intfield_" + std::to_string(i) + ".textfield";
}

} // namespace

TEST(ColourWindow, SlidersSpacesAndPipetteReachTheEngine)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    FakeDisplay d;
    ASSERT_TRUE(d.Open(s.kernelPid, s.programPid));
    ASSERT_TRUE(d.Connect(s.image)) << s.kernel.Err();
    unsigned long top = s.MainWindow();
    ASSERT_TRUE(MoveWindow(top, 300, 600));
    auto colourIs = [&](std::vector<int32_t> want) {
        return d.WaitFor([&] { return LastBrushColour(d) == want; });
    };

    // RGB: each value typed reaches the floating brush at once.
    ASSERT_TRUE(WaitUntil([&] { return TypeInto(top, Slider(0), "200", true); }));
    ASSERT_TRUE(TypeInto(top, Slider(1), "50", true) && TypeInto(top, Slider(2), "10", true));
    EXPECT_TRUE(colourIs({kRgb, 200, 50, 10})) << testing::PrintToString(LastBrushColour(d));

    // Shown as CMYK, the colour stays; black typed at full turns it black,
    // still reported in the image's space. A value beyond the channel's
    // range stops at its end.
    ASSERT_TRUE(ClickWidget(top, "space_menu.toggle_1"));
    ASSERT_TRUE(TypeInto(top, Slider(3), "999", true));
    EXPECT_TRUE(colourIs({kRgb, 0, 0, 0})) << testing::PrintToString(LastBrushColour(d));
    // HSV: hue 120 at full saturation and value is pure green.
    ASSERT_TRUE(ClickWidget(top, "space_menu.toggle_2"));
    ASSERT_TRUE(TypeInto(top, Slider(0), "120", true) && TypeInto(top, Slider(1), "100", true) &&
                TypeInto(top, Slider(2), "100", true));
    EXPECT_TRUE(colourIs({kRgb, 0, 255, 0})) << testing::PrintToString(LastBrushColour(d));

    // The pipette picks the pattern's pixel (x + 3y + 7p) at (9, 4), 21 28 35;
    // it comes back through the picker, which shows HSV: 210 40 13 in whole
    // units is 19 26 33.
    ASSERT_NE(d.ToolHandle(2), 0u);
    for (int32_t kind : {MSG_EVK_PRESS, MSG_EVK_RELEASE})
        d.Send(MSG_POINTER,
               Words({kind, int32_t(d.ToolHandle(2)), 0, 0, 0, 9, 4, 1, 0, 256, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(colourIs({kRgb, 19, 26, 33})) << testing::PrintToString(LastBrushColour(d));

    // The picked colour is the one saved with the settings.
    ASSERT_TRUE(ClickWidget(top, "bar.quit"));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    auto saved = s.log.Received(s.programPid);
    const Frame *settings = nullptr;
    for (const Frame &f : saved)
        if (f.code == MSG_SAVE_SETTINGS)
            settings = &f;
    ASSERT_NE(settings, nullptr);
    const size_t colour = MSG_NAME_SIZE + 4 * 10;
    EXPECT_EQ(std::vector<int32_t>({settings->Word(colour), settings->Word(colour + 4),
                                    settings->Word(colour + 8), settings->Word(colour + 12)}),
              std::vector<int32_t>({kRgb, 19, 26, 33}));
}
