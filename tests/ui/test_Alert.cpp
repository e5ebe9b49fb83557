// Warning dialogs: their text, buttons, placement, one at a time, and the
// console when none can be shown.
#include "ui/Alert.h"

#include "core/Dabstone.h"
#include "core/Misc.h"
#include "tests/ui/XtFixture.h"

#include <Xm/MessageB.h>
#include <cstring>
#include <string>

namespace
{

TEST(AlertMessage, SeparatorDependsOnTheTextsEnd)
{
    EXPECT_EQ(Alert_Message("can't change image", 1066),
              "DabStone : can't change image : Application is not ready");
    EXPECT_EQ(Alert_Message("can't open :  ", 1066), "DabStone : can't open :   Application is not ready");
    EXPECT_EQ(Alert_Message("", 1066), "DabStone : Application is not ready");
    EXPECT_EQ(Alert_Message(nullptr, 0), "DabStone : ");
}

std::string Text(Widget w, const char *resource)
{
    XmString s = nullptr;
    XtVaGetValues(w, resource, &s, nullptr);
    char *text = static_cast<char *>(
        XmStringUnparse(s, nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
    std::string out = text ? text : "";
    XtFree(text);
    XmStringFree(s);
    return out;
}

int okRuns = 0, cancelRuns = 0;
void *seenData = nullptr;
void Ok(void *data)
{
    ++okRuns;
    seenData = data;
    EXPECT_EQ(Alert_Dialog(), nullptr) << "the dialog is gone before the action runs";
}
void Cancel(void *)
{
    ++cancelRuns;
}

struct Alert : XtFixture {
    void SetUp() override
    {
        XtFixture::SetUp();
        Alert_Initialize(top);
        okRuns = cancelRuns = 0;
    }
    void TearDown() override
    {
        if (Widget d = Alert_Dialog())
            XtCallCallbacks(d, XmNokCallback, nullptr);
    }
};

// A modal warning at (400, 200); one at a time (a second goes to the
// console); the cancel button only with a cancel action; each action runs
// once the dialog is gone.
TEST_F(Alert, PromptsAreModalOneAtATimeAndRunTheirAction)
{
    SKIP_WITHOUT_DISPLAY();
    int data = 0;
    Alert_Prompt("Please confirm destruction of undo buffer", 0, Ok, Cancel, &data);
    Widget d = Alert_Dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(XtIsManaged(d));
    EXPECT_EQ(SystemGrabState[1], 1);
    EXPECT_EQ(Text(d, XmNmessageString), "DabStone : Please confirm destruction of undo buffer");
    EXPECT_EQ(Text(d, XmNcancelLabelString), "CANCEL");
    EXPECT_TRUE(XtIsManaged(XmMessageBoxGetChild(d, XmDIALOG_CANCEL_BUTTON)));
    unsigned char style = 0;
    Position x = 0, y = 0;
    XtVaGetValues(d, XmNdialogStyle, &style, XmNx, &x, XmNy, &y, nullptr);
    EXPECT_EQ(style, XmDIALOG_FULL_APPLICATION_MODAL);
    EXPECT_EQ(std::pair(x, y), std::pair(Position(400), Position(200)));

    Alert_Prompt("another", 0, Ok, nullptr, nullptr);
    EXPECT_EQ(Alert_Dialog(), d);
    testing::internal::CaptureStderr();
    Alert_Warning("can't change brush", 1066);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DabStone: warning: can't change brush : Application is not ready\n");
    XtCallCallbacks(d, XmNokCallback, nullptr);
    EXPECT_EQ(okRuns, 1);
    EXPECT_EQ(seenData, &data);
    EXPECT_EQ(SystemGrabState[1], 0);

    Alert_Warning("can't rebrush", 1213);
    EXPECT_FALSE(XtIsManaged(XmMessageBoxGetChild(Alert_Dialog(), XmDIALOG_CANCEL_BUTTON)));
    XtCallCallbacks(Alert_Dialog(), XmNokCallback, nullptr);
    Alert_Prompt("are you sure ?", 0, Ok, Cancel, nullptr);
    XtCallCallbacks(Alert_Dialog(), XmNcancelCallback, nullptr);
    EXPECT_EQ(cancelRuns, 1);
    EXPECT_EQ(okRuns, 1);
    EXPECT_EQ(Alert_Dialog(), nullptr);

    // Quitting during a job asks, and the question can be refused: the
    // job goes on.
    G_dabstone->working = 1;
    Dabstone_Quit("", 0);
    ASSERT_NE(Alert_Dialog(), nullptr);
    EXPECT_TRUE(XtIsManaged(XmMessageBoxGetChild(Alert_Dialog(), XmDIALOG_CANCEL_BUTTON)));
    XtCallCallbacks(Alert_Dialog(), XmNcancelCallback, nullptr);
    EXPECT_EQ(Alert_Dialog(), nullptr);
    G_dabstone->working = 0;

    // The cancel code is never shown.
    testing::internal::CaptureStderr();
    Alert_Warning("whatever", 1073);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(Alert_Dialog(), nullptr);
}

TEST_F(Alert, ShowingWaitsForAGrabToEnd)
{
    SKIP_WITHOUT_DISPLAY();
    SystemGrabState[0] = 1;
    Alert_Prompt("later", 0, nullptr, nullptr, nullptr);
    Widget d = Alert_Dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(XtIsManaged(d));
    EXPECT_EQ(SystemGrabState[1], 0);
    XtAppProcessEvent(app, XtIMTimer); // one retry while the grab lasts
    EXPECT_FALSE(XtIsManaged(d));
    SystemGrabState[0] = 0;
    EXPECT_TRUE(RunUntil([d] { return XtIsManaged(d); }));
    EXPECT_EQ(SystemGrabState[1], 1);
}

TEST(AlertConsole, WithoutATopLevelEveryWarningGoesToTheConsole)
{
    Alert_Initialize(nullptr);
    testing::internal::CaptureStderr();
    Alert_Warning("please Quit to release this image for another task", 0);
    Alert_Prompt("ignored", 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DabStone: warning: please Quit to release this image for another task\n");
    EXPECT_EQ(Alert_Dialog(), nullptr);
}

} // namespace
