#include "tests/e2e/Editres.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <poll.h>
#include <sstream>

namespace e2e
{

namespace
{

using Clock = std::chrono::steady_clock;

constexpr long kProtocolVersion = 5;
enum Command : unsigned char { SEND_WIDGET_TREE = 0, GET_GEOMETRY = 3 };
constexpr unsigned long kFormatted = 0; // reply type: the data the command defines
constexpr unsigned long kNoWindow = 2;  // the window the tree names for a windowless object
constexpr size_t kHeader = 6;           // serial, op code or reply type, length

// The protocol's fields: big-endian; strings and lists counted in 16 bits.
struct Writer {
    std::vector<unsigned char> bytes;
    void Put(unsigned long value, int size)
    {
        for (int i = size - 1; i >= 0; i--)
            bytes.push_back((value >> (8 * i)) & 0xff);
    }
    void Widgets(const std::vector<unsigned long> &ids)
    {
        Put(ids.size(), 2);
        for (unsigned long id : ids)
            Put(id, 4);
    }
};

struct Reader {
    const std::vector<unsigned char> &bytes;
    size_t at = 0;
    bool ok = true;
    unsigned long Get(size_t size)
    {
        ok = ok && at + size <= bytes.size();
        unsigned long value = 0;
        for (size_t i = 0; ok && i < size; i++)
            value = value << 8 | bytes[at++];
        return value;
    }
    std::string String()
    {
        size_t n = Get(2);
        ok = ok && at + n <= bytes.size();
        if (!ok)
            return "";
        at += n;
        return std::string(bytes.begin() + long(at - n), bytes.begin() + long(at));
    }
    std::vector<unsigned long> Widgets()
    {
        std::vector<unsigned long> ids(Get(2));
        for (unsigned long &id : ids)
            id = Get(4);
        return ids;
    }
};

Atom Named(Display *dpy, const char *name)
{
    return XInternAtom(dpy, name, False);
}

// One request and its reply: a window of our own owns the selection the
// program reads the request from, and receives the steps of the exchange.
struct Exchange {
    Display *dpy;
    Window self;
    Atom selection;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(kBound);

    explicit Exchange(Display *d)
        : dpy(d), self(XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)),
          selection(Named(d, "EditresComm"))
    {
        XSelectInput(dpy, self, PropertyChangeMask);
    }
    ~Exchange()
    {
        XDestroyWindow(dpy, self);
        XSync(dpy, False);
        for (XEvent e; Next(e, false);) {
        } // late events for the window, which nobody else would read
    }

    // The next event for our window; waits up to the deadline when wait.
    bool Next(XEvent &e, bool wait = true)
    {
        auto mine = [](Display *, XEvent *event, XPointer arg) -> Bool {
            return event->xany.window == *reinterpret_cast<Window *>(arg);
        };
        while (!XCheckIfEvent(dpy, &e, mine, reinterpret_cast<XPointer>(&self))) {
            long left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (!wait || left <= 0)
                return false;
            pollfd p{ConnectionNumber(dpy), POLLIN, 0};
            poll(&p, 1, int(left));
        }
        return true;
    }

    // A server timestamp: an empty append to a property of ours is stamped.
    Time Now()
    {
        XChangeProperty(dpy, self, Named(dpy, "EditresTime"), XA_STRING, 8, PropModeAppend, nullptr, 0);
        for (XEvent e; Next(e);)
            if (e.type == PropertyNotify)
                return e.xproperty.time;
        return CurrentTime;
    }

    // Hands the request to the program when it asks for it.
    void Serve(const XSelectionRequestEvent &r, const std::vector<unsigned char> &request)
    {
        XEvent answer{};
        XSelectionEvent &n = answer.xselection;
        n.type = SelectionNotify;
        n.requestor = r.requestor;
        n.selection = r.selection;
        n.target = r.target;
        n.time = r.time;
        n.property = None; // refused
        if (r.target == Named(dpy, "EditresCommand")) {
            n.property = r.property == None ? r.target : r.property;
            XChangeProperty(dpy, r.requestor, n.property, Named(dpy, "EditresProtocol"), 8, PropModeReplace,
                            request.data(), int(request.size()));
        }
        XSendEvent(dpy, r.requestor, False, NoEventMask, &answer);
        XFlush(dpy);
    }

    // The reply's data when it is a formatted answer to request ident.
    bool Read(const XSelectionEvent &n, unsigned ident, std::vector<unsigned char> &reply)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        if (n.property == None ||
            XGetWindowProperty(dpy, self, n.property, 0, 1L << 24, True, AnyPropertyType, &type, &format,
                               &count, &after, &data) != Success)
            return false;
        std::vector<unsigned char> bytes(data, data + (format == 8 ? count : 0));
        XFree(data);
        Reader r{bytes};
        if (type != Named(dpy, "EditresProtocol") || r.Get(1) != ident || r.Get(1) != kFormatted)
            return false; // an incremental (INCR) transfer is not followed: replies are small
        size_t length = r.Get(4);
        if (!r.ok || length > bytes.size() - kHeader)
            return false;
        reply.assign(bytes.begin() + kHeader, bytes.begin() + long(kHeader + length));
        return true;
    }

    bool Ask(Window shell, const std::vector<unsigned char> &request, std::vector<unsigned char> &reply)
    {
        Time time = Now();
        XSetSelectionOwner(dpy, selection, self, time);
        if (XGetSelectionOwner(dpy, selection) != self)
            return false;
        XEvent message{};
        XClientMessageEvent &c = message.xclient;
        c.type = ClientMessage;
        c.window = shell;
        c.message_type = Named(dpy, "Editres");
        c.format = 32;
        c.data.l[0] = long(time);
        c.data.l[1] = long(selection);
        c.data.l[2] = request[0];
        c.data.l[3] = kProtocolVersion;
        XSendEvent(dpy, shell, False, NoEventMask, &message);
        // The program takes the selection over to answer: then we fetch the answer.
        for (XEvent e; Next(e);)
            if (e.type == SelectionRequest && e.xselectionrequest.selection == selection)
                Serve(e.xselectionrequest, request);
            else if (e.type == SelectionClear && e.xselectionclear.selection == selection)
                XConvertSelection(dpy, selection, Named(dpy, "EditresClientVal"), Named(dpy, "EditresReply"),
                                  self, CurrentTime);
            else if (e.type == SelectionNotify && e.xselection.selection == selection)
                return Read(e.xselection, request[0], reply);
        return false;
    }
};

// The program's reply to command with data, or false.
bool Request(unsigned long shell, Command command, const std::vector<unsigned char> &data,
             std::vector<unsigned char> &reply)
{
    static unsigned char serial = 0;
    Display *dpy = TestDisplay();
    Window window = ShellOf(shell);
    if (!dpy || !window)
        return false;
    Writer request;
    request.Put(++serial, 1);
    request.Put(command, 1);
    request.Put(data.size(), 4);
    request.bytes.insert(request.bytes.end(), data.begin(), data.end());
    return Exchange(dpy).Ask(window, request.bytes, reply);
}

// SendWidgetTree's entries name each widget's ancestry by id, parents first:
// the names of those ids make the path.
std::vector<WidgetInfo> ParseTree(const std::vector<unsigned char> &data)
{
    Reader r{data};
    std::vector<WidgetInfo> tree(r.Get(2));
    std::map<unsigned long, std::string> names;
    std::map<unsigned long, int> nths;
    std::map<std::pair<unsigned long, std::string>, int> seen; // (parent, name): siblings so far
    for (WidgetInfo &w : tree) {
        w.ids = r.Widgets();
        w.name = r.String();
        w.className = r.String();
        unsigned long window = r.Get(4);
        w.gadget = window == kNoWindow;
        w.window = w.gadget ? 0 : window;
        if (!r.ok || w.ids.empty())
            return {};
        names[w.ids.back()] = w.name;
        nths[w.ids.back()] = seen[{w.ids.size() > 1 ? w.ids[w.ids.size() - 2] : 0, w.name}]++;
        for (unsigned long id : w.ids) {
            w.path.push_back(names[id]);
            w.nth.push_back(nths[id]);
        }
    }
    return tree;
}

bool HasClass(Display *dpy, Window w)
{
    XClassHint hint{};
    if (!XGetClassHint(dpy, w, &hint))
        return false;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return true;
}

std::vector<Window> Children(Display *dpy, Window w, Window *parent = nullptr)
{
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, w, &root, &up, &children, &count))
        return {};
    std::vector<Window> out(children, children + count);
    if (children)
        XFree(children);
    if (parent)
        *parent = up;
    return out;
}

// The first window at or below w (breadth first) that names its class:
// the shell inside a window manager's frame.
Window ShellBelow(Display *dpy, Window w)
{
    for (std::vector<Window> level = {w}; !level.empty();) {
        std::vector<Window> next;
        for (Window each : level) {
            if (HasClass(dpy, each))
                return each;
            std::vector<Window> children = Children(dpy, each);
            next.insert(next.end(), children.begin(), children.end());
        }
        level = next;
    }
    return 0;
}

ScreenBox WindowArea(Display *dpy, Window w)
{
    ScreenBox box;
    XWindowAttributes a;
    Window child = 0;
    if (XGetWindowAttributes(dpy, w, &a) &&
        XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &box.x, &box.y, &child)) {
        box.width = a.width;
        box.height = a.height;
        box.ok = a.map_state == IsViewable;
    }
    return box;
}

// Where the program itself puts the widget: for gadgets, which have no window.
ScreenBox GeometryOf(unsigned long shell, const WidgetInfo &w)
{
    Writer data;
    data.Put(1, 2);
    data.Widgets(w.ids);
    std::vector<unsigned char> reply;
    ScreenBox box;
    if (!Request(shell, GET_GEOMETRY, data.bytes, reply))
        return box;
    Reader r{reply};
    if (r.Get(2) != 1 || r.Widgets() != w.ids || r.Get(1) != 0) // one entry, this widget, no error
        return box;
    bool mapped = r.Get(1) != 0;
    int x = int16_t(r.Get(2)), y = int16_t(r.Get(2));
    box.width = int(r.Get(2));
    box.height = int(r.Get(2));
    int border = int(r.Get(2));
    box.x = x + border; // x, y are those of the outer corner, border included
    box.y = y + border;
    box.ok = r.ok && mapped;
    return box;
}

ScreenBox BoxOf(unsigned long shell, const WidgetInfo &w)
{
    Display *dpy = TestDisplay();
    if (!dpy || !w.Found())
        return {};
    return w.window ? WindowArea(dpy, w.window) : GeometryOf(shell, w);
}

unsigned long Root()
{
    Display *dpy = TestDisplay();
    return dpy ? DefaultRootWindow(dpy) : 0;
}

bool ClickBox(const ScreenBox &b, int button)
{
    return b.ok && ClickAt(Root(), b.x + b.width / 2, b.y + b.height / 2, button);
}

std::vector<std::string> Split(const std::string &path)
{
    std::vector<std::string> names;
    std::istringstream in(path);
    for (std::string name; std::getline(in, name, '.');)
        names.push_back(name);
    return names;
}

// A name of a path as given, with its optional "#N".
struct Step {
    std::string name;
    int nth = -1; // any
};

std::vector<Step> Steps(const std::string &path)
{
    std::vector<Step> steps;
    for (const std::string &name : Split(path)) {
        size_t hash = name.rfind('#');
        steps.push_back(hash == std::string::npos
                            ? Step{name}
                            : Step{name.substr(0, hash), std::atoi(name.c_str() + hash + 1)});
    }
    return steps;
}

bool EndsWith(const WidgetInfo &w, const std::vector<Step> &tail)
{
    if (tail.empty() || tail.size() > w.path.size())
        return false;
    for (size_t i = 1; i <= tail.size(); i++) {
        const Step &s = tail[tail.size() - i];
        if (w.path[w.path.size() - i] != s.name || (s.nth >= 0 && w.nth[w.nth.size() - i] != s.nth))
            return false;
    }
    return true;
}

// The window of the program's posted pulldown menu (its viewable menu shell), or 0.
unsigned long PostedMenu(unsigned long shell)
{
    for (const WidgetInfo &menu : WidgetTree(shell))
        if (menu.className == "XmMenuShell" && menu.window && WindowArea(TestDisplay(), menu.window).ok)
            return menu.window;
    return 0;
}

// The entries of a posted menu as root y ranges, top to bottom, read from
// its pixels: bands of rows where a label differs from the background. The
// shadows are left out: they fill the rows they cross, or lie outside the
// columns looked at.
std::vector<std::pair<int, int>> EntryRows(Window menu)
{
    Display *dpy = TestDisplay();
    ScreenBox box = WindowArea(dpy, menu);
    std::vector<std::pair<int, int>> rows;
    XImage *image =
        box.ok ? XGetImage(dpy, menu, 0, 0, unsigned(box.width), unsigned(box.height), AllPlanes, ZPixmap)
               : nullptr;
    if (!image)
        return rows;
    const int x1 = 6, x2 = box.width - 6;
    std::map<unsigned long, int> count; // the background: the commonest pixel
    for (int y = 0; y < box.height; y++)
        for (int x = x1; x < x2; x++)
            count[XGetPixel(image, x, y)]++;
    unsigned long background = 0;
    for (auto [pixel, n] : count)
        if (n > count[background])
            background = pixel;
    bool inside = false;
    for (int y = 0; y < box.height; y++) {
        int other = 0;
        for (int x = x1; x < x2; x++)
            other += XGetPixel(image, x, y) != background;
        bool label = other > 0 && other < x2 - x1;
        if (label && !inside)
            rows.push_back({box.y + y, box.y + y});
        if (label)
            rows.back().second = box.y + y;
        inside = label;
    }
    XDestroyImage(image);
    return rows;
}

// The option menu's cascade button; where the program gives no gadget
// geometry, a point near the option menu's right edge: its button follows
// its label.
ScreenBox OptionButtonBox(unsigned long shell, const std::string &optionMenuPath)
{
    ScreenBox box = WidgetBox(shell, optionMenuPath + ".OptionButton");
    if (box.ok)
        return box;
    // Without gadget geometry: the button follows an empty title at the
    // menu's left, at least as wide as its 80-pixel first entry.
    box = WidgetBox(shell, optionMenuPath);
    box.x += 10;
    box.width = std::min(box.width - 10, 40);
    return box;
}

} // namespace

unsigned long ShellOf(unsigned long window)
{
    Display *dpy = TestDisplay();
    if (!dpy)
        return 0;
    for (Window w = window; w && w != DefaultRootWindow(dpy);) {
        if (HasClass(dpy, w))
            return w; // the nearest: only shells name their class
        Window parent = 0;
        Children(dpy, w, &parent);
        w = parent;
    }
    return ShellBelow(dpy, window);
}

std::vector<WidgetInfo> WidgetTree(unsigned long shell)
{
    std::vector<unsigned char> reply;
    if (!Request(shell, SEND_WIDGET_TREE, {}, reply))
        return {};
    return ParseTree(reply);
}

WidgetInfo FindWidget(unsigned long shell, const std::string &path)
{
    std::vector<Step> tail = Steps(path);
    WidgetInfo found;
    int matches = 0;
    for (const WidgetInfo &w : WidgetTree(shell))
        if (EndsWith(w, tail)) {
            found = w;
            matches++;
        }
    return matches == 1 ? found : WidgetInfo{};
}

ScreenBox WidgetBox(unsigned long shell, const std::string &path)
{
    return BoxOf(shell, FindWidget(shell, path));
}

bool ClickWidget(unsigned long shell, const std::string &path, int button)
{
    return ClickBox(WidgetBox(shell, path), button);
}

bool PressWidget(unsigned long shell, const std::string &path, int button)
{
    ScreenBox b = WidgetBox(shell, path);
    return b.ok && PressAt(Root(), b.x + b.width / 2, b.y + b.height / 2, button);
}

bool DragWidget(unsigned long shell, const std::string &path, int fromDx, int fromDy, int toDx, int toDy,
                int button)
{
    ScreenBox b = WidgetBox(shell, path);
    // A step half way, as a hand moves: widgets that tell drags from
    // clicks by a motion threshold see one before the end.
    return b.ok && PressAt(Root(), b.x + fromDx, b.y + fromDy, button) &&
           PointerTo(Root(), b.x + (fromDx + toDx) / 2, b.y + (fromDy + toDy) / 2) &&
           PointerTo(Root(), b.x + toDx, b.y + toDy) && ReleaseButton(button);
}

bool TypeInto(unsigned long shell, const std::string &path, const std::string &text, bool enter)
{
    // Typed text replaces the selection (Motif's pending delete).
    return ClickWidget(shell, path) && TypeKey(XK_Home) && TypeKey(XK_End, true) && TypeText(text) &&
           (!enter || TypeKey(XK_Return));
}

bool ChooseOption(unsigned long shell, const std::string &optionMenuPath, int moves)
{
    // Pressed on its button, the pulldown posts with the entry shown over
    // the button, under the pointer. Once seen mapped, one more request
    // answered means its exposure has been handled: the entries are drawn.
    ScreenBox button = OptionButtonBox(shell, optionMenuPath);
    unsigned long menu = 0;
    const int y = button.y + button.height / 2;
    if (!button.ok || !PressAt(Root(), button.x + button.width / 2, y, 1) ||
        !WaitUntil([&] { return (menu = PostedMenu(shell)) != 0; }) || PostedMenu(shell) != menu) {
        ReleaseButton(1);
        return false;
    }
    std::vector<std::pair<int, int>> rows = EntryRows(menu);
    auto middle = [&](int i) { return (rows[size_t(i)].first + rows[size_t(i)].second) / 2; };
    int shown = -1;
    for (int i = 0; i < int(rows.size()); i++)
        if (shown < 0 || std::abs(middle(i) - y) < std::abs(middle(shown) - y))
            shown = i;
    const int target = shown + moves;
    ScreenBox pane = WindowArea(TestDisplay(), menu);
    // Released over the entry: chosen, unless insensitive. Escape comes
    // after the release in the server's order of input, so whatever the
    // release did is done first.
    bool moved = shown >= 0 && target >= 0 && target < int(rows.size()) &&
                 PointerTo(Root(), pane.x + pane.width / 2, middle(target));
    // Released within the multi-click time, a pulldown stays posted for
    // clicking (200 ms by default): a hand dragging to an entry holds the
    // button longer.
    if (!ReleaseButton(1, 500) || (!moved && !TypeKey(XK_Escape)))
        return false;
    return WaitUntil([&] { return !PostedMenu(shell); }) && moved;
}

} // namespace e2e
