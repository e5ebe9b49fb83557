// One application context and a realised top-level shell for the widget
// tests of this folder; they are skipped when no X server can be reached.
#pragma once
#include <gtest/gtest.h>

#include <X11/Intrinsic.h> // after gtest: Xlib defines None and Bool
#include <Xm/Xm.h>
#include <chrono>

struct XtFixture : testing::Test {
    static XtAppContext app;
    static Widget top;

    void SetUp() override
    {
        if (!top) {
            static char name[] = "test_ui";
            static char *argv[] = {name, nullptr};
            int argc = 1;
            XtToolkitInitialize();
            app = XtCreateApplicationContext();
            Display *display = XtOpenDisplay(app, nullptr, "test_ui", "DabStone", nullptr, 0, &argc, argv);
            if (!display)
                return;
            top = XtVaAppCreateShell("test_ui", "DabStone", applicationShellWidgetClass, display, XmNwidth,
                                     50, XmNheight, 50, nullptr);
            XtRealizeWidget(top);
        }
    }
    bool NoDisplay() const { return top == nullptr; }

    // Runs the event loop until done() holds, for at most a generous bound;
    // a ticking timer keeps the bound when no event comes.
    template <typename Done> bool RunUntil(Done done)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        XtIntervalId tick;
        Tick(&tick, nullptr);
        bool met;
        while (!(met = done()) && std::chrono::steady_clock::now() < end)
            XtAppProcessEvent(app, XtIMAll);
        XtRemoveTimeOut(tick);
        return met;
    }
    static void Tick(XtPointer id, XtIntervalId *)
    {
        *static_cast<XtIntervalId *>(id) = XtAppAddTimeOut(app, 100, Tick, id);
    }
};
inline XtAppContext XtFixture::app = nullptr;
inline Widget XtFixture::top = nullptr;

#define SKIP_WITHOUT_DISPLAY()                                                                               \
    do {                                                                                                     \
        if (NoDisplay())                                                                                     \
            GTEST_SKIP() << "no X server";                                                                   \
    } while (0)
