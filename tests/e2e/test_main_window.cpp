// Dabstone's main window driven as a user drives it: real pointer and keys
// (XTest) on its buttons and dialogs, the results read in the store.
#include "tests/e2e/E2e.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <X11/keysym.h>
#include <algorithm>
#include <gtest/gtest.h>

using namespace e2e;

namespace
{

// The push buttons of the bottom strip that are shown, right to left: the
// strip is the form's child that spans its width along its bottom edge.
std::vector<WindowBox> BarButtons(unsigned long top)
{
    std::vector<WindowBox> form = ViewableChildren(top);
    if (form.size() != 1)
        return {};
    for (const WindowBox &strip : ViewableChildren(form[0].id))
        if (strip.width == form[0].width && strip.y + strip.height == form[0].height) {
            std::vector<WindowBox> buttons = ViewableChildren(strip.id);
            std::sort(buttons.begin(), buttons.end(), [](auto &a, auto &b) { return a.x > b.x; });
            return buttons;
        }
    return {};
}

// The image the kernel made for the rebuild (the 2009 answering 2002).
std::string RebuiltPath(const Session &s)
{
    bool asked = false;
    for (const Frame &f : s.log.Frames()) {
        asked |= !f.sent && f.code == MSG_CREATE_REBUILD;
        if (asked && f.sent && f.code == MSG_WORK_CREATED)
            return f.Text(0);
    }
    return "";
}

std::string Title(const std::string &path)
{
    Image *image = nullptr;
    if (Image_OpenReadImage(&image, path.c_str()) != 0)
        return "(can't open " + path + ")";
    std::string title = Image_Title(image);
    Image_CloseImage(image);
    return title;
}

} // namespace

// "rebuild" makes the brush as painted into an image of its own: a user
// brush at once, the built-in one after the user confirms the prompt.
TEST(MainWindow, RebuildButtonMakesTheBrushImage)
{
    struct Case {
        bool userBrush;
        const char *title;
    };
    for (const Case &c : {Case{true, "stamp_brush1"}, Case{false, "brush_31x31"}}) {
        SCOPED_TRACE(c.title);
        Session s;
        std::vector<std::string> args = {"--no-display", "--keep"};
        if (c.userBrush) {
            std::string brush = MakeImage(s.dir.path, 9, 7, IMAGE_MODE_RGB, 8, 1);
            ASSERT_TRUE(
                EditImage(brush, [](Image *b) { Image_SetText(b, IMAGE_TITLE, IMAGE_TITLE_SIZE, "stamp"); }));
            args.insert(args.end(), {"--brush", brush});
        }
        ASSERT_TRUE(s.Start(args));
        ASSERT_TRUE(s.Ready()) << s.kernel.Err();
        unsigned long top = s.MainWindow();
        ASSERT_NE(top, 0u);
        // Clear of the windows of other tests, which open at the top left.
        ASSERT_TRUE(MoveWindow(top, 300, 600));
        std::vector<WindowBox> buttons;
        ASSERT_TRUE(WaitUntil([&] { return (buttons = BarButtons(top)).size() == 4; }))
            << buttons.size() << " buttons: \"undo\" starts hidden";
        const WindowBox &rebuild = buttons[2]; // quit, options, rebuild, apply
        ASSERT_TRUE(ClickAt(rebuild.id, rebuild.width / 2, rebuild.height / 2));
        if (!c.userBrush) {
            unsigned long prompt = 0;
            ASSERT_TRUE(WaitUntil([&] { return (prompt = DialogOf(top)) != 0; }));
            ASSERT_FALSE(s.log.Has(false, MSG_CREATE_REBUILD)) << "nothing before the answer";
            ASSERT_TRUE(MoveWindow(prompt, 300, 800));
            ASSERT_TRUE(TypeAt(prompt, 20, 20, XK_Return)); // the default button: OK
        }
        // Drawn, the rebuilt image's rows are announced; it is titled then.
        std::string rebuilt;
        ASSERT_TRUE(WaitUntil([&] {
            rebuilt = RebuiltPath(s);
            return !rebuilt.empty() && s.log.HasPath(false, MSG_ROWS_CHANGED, rebuilt);
        })) << s.kernel.Err();
        ASSERT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
        EXPECT_EQ(Title(rebuilt), c.title);
    }
}
