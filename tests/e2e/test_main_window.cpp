// Dabstone's main window driven as a user drives it: real pointer and keys
// (XTest) on its buttons and dialogs, the results read in the store.
#include "tests/e2e/E2e.h"
#include "tests/e2e/Editres.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

using namespace e2e;

namespace
{

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
        ASSERT_TRUE(WaitUntil([&] { return ClickWidget(top, "bar.rebuild"); }));
        if (!c.userBrush) {
            unsigned long prompt = 0;
            ASSERT_TRUE(WaitUntil([&] { return (prompt = DialogOf(top)) != 0; }));
            // The prompt is in the program's tree with its windowless buttons.
            WidgetInfo ok = FindWidget(prompt, "OK");
            EXPECT_TRUE(ok.gadget && ok.window == 0 && ok.className == "XmPushButtonGadget") << ok.className;
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

// The bar's buttons found by name: side by side along the bottom of the
// window, "quit" at the right edge, "undo" hidden at first; "quit" ends
// dabstone with status 0.
TEST(MainWindow, QuitButtonEndsTheProgram)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    unsigned long top = s.MainWindow();
    ASSERT_NE(top, 0u);
    ASSERT_TRUE(MoveWindow(top, 300, 600));
    ScreenBox quit, rebuild, form;
    ASSERT_TRUE(WaitUntil([&] { return (quit = WidgetBox(top, "bar.quit")).ok; }));
    rebuild = WidgetBox(top, "rebuild");
    form = WidgetBox(top, "form");
    ASSERT_TRUE(rebuild.ok && form.ok);
    EXPECT_TRUE(quit.width > 0 && quit.height > 0 && quit.height == rebuild.height && quit.y == rebuild.y);
    EXPECT_LE(rebuild.x + rebuild.width, quit.x);
    EXPECT_EQ(quit.x + quit.width, form.x + form.width);
    EXPECT_EQ(quit.y + quit.height, form.y + form.height);
    EXPECT_FALSE(WidgetBox(top, "undo").ok);
    EXPECT_FALSE(FindWidget(top, "form.quit").Found()) << "a path names each parent";
    ASSERT_TRUE(ClickWidget(top, "bar.quit"));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    EXPECT_EQ(s.NoticeStatus(), 0);
}
