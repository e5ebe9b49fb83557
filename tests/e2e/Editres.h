// Widgets of a running Motif (Xt) program found by their names, through the
// X server, and driven with real input (XTest).
//
// The program's shells answer the editres protocol (version 5): we own a
// selection, send the shell an "Editres" client message naming it, the
// program fetches our request from the selection (target "EditresCommand"),
// then owns the selection itself and we fetch its answer ("EditresClientVal").
// SendWidgetTree lists every widget of the program (its whole tree, dialogs
// and menus included) with its ancestry, name, class and window; GetGeometry
// gives where a widget lies on the root window, also for gadgets, which have
// no window of their own.
//
// Every wait is bounded (kBound): a program that does not answer fails the
// look, it does not hang the test.
#pragma once
#include "tests/e2e/E2e.h"

#include <string>
#include <vector>

namespace e2e
{

struct WidgetInfo {
    std::string name, className;
    unsigned long window = 0; // 0: a gadget (no window) or not realized yet
    bool gadget = false;
    std::vector<std::string> path;  // names from the top of the tree down
    std::vector<int> nth;           // along path: the rank among same-named siblings
    std::vector<unsigned long> ids; // the program's widget ids along path, for requests
    bool Found() const { return !ids.empty(); }
};

// The top-level shell window of the program owning window (the shell's own
// window, a window inside it, or a window manager's frame around it), or 0.
unsigned long ShellOf(unsigned long window);

// Every widget of the program owning the shell window `shell`, parents
// before children; empty on failure or when no answer comes within the bound.
std::vector<WidgetInfo> WidgetTree(unsigned long shell);

// The one widget whose name path ends with `path` ("bar.quit", or "quit"):
// names separated by '.', each optionally with "#N" to pick the Nth (from 0,
// in creation order) of siblings that share the name ("op.optionMenu#1").
// Not Found() when none or several match.
WidgetInfo FindWidget(unsigned long shell, const std::string &path);

// The widget's area inside its border, in root window coordinates; ok only
// when it is shown (viewable, or a mapped gadget). A gadget's comes from
// GetGeometry, which a 64-bit Motif refuses (its widgets are not named by
// the protocol's 32-bit ids): not ok there.
struct ScreenBox {
    int x = 0, y = 0, width = 0, height = 0;
    bool ok = false;
};
ScreenBox WidgetBox(unsigned long shell, const std::string &path);

// Real input at the centre of the widget (XTest): a click, a press only
// (released with ReleaseButton of E2e.h, for held-button behaviour), a drag
// from one offset inside it to another (offsets from its top left corner).
bool ClickWidget(unsigned long shell, const std::string &path, int button = 1);
bool PressWidget(unsigned long shell, const std::string &path, int button);
bool DragWidget(unsigned long shell, const std::string &path, int fromDx, int fromDy, int toDx, int toDy,
                int button = 1);

// Clicks into a text field, selects its text (Home, Shift-End) and types text
// over it (printable ASCII), then Return when enter.
bool TypeInto(unsigned long shell, const std::string &path, const std::string &text, bool enter);

// Chooses an entry of a Motif option menu as a user does: pressed on its
// button, the pulldown posts with the entry shown under the pointer; the
// pointer goes to the other entry and the button is released there, held
// past the multi-click time. moves: entries down from the entry shown
// (negative: up), counting those shown (managed), sensitive or not. The
// entries are found in the pulldown's pixels (rows of label between rows of
// background), because gadgets have no window, a 64-bit Motif gives no
// gadget geometry and hidden entries stay in the tree. True once the
// pointer reached the entry and the pulldown is down (an insensitive entry
// takes it down without being chosen).
bool ChooseOption(unsigned long shell, const std::string &optionMenuPath, int moves);

} // namespace e2e
