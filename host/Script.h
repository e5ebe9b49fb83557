// Display scripts: a text file of pointer events and commands that the
// display process replays instead of a user at a window (tests, benchmarks,
// the demo). One command per line; '#' starts a comment. The language is
// described in the README ("sorbane scripts").
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum ScriptOp {
    SCRIPT_TOOL,       // tool brush|fill|pipette|HANDLE
    SCRIPT_PRESS,      // press X Y [BUTTON]
    SCRIPT_MOVE,       // move X Y
    SCRIPT_RELEASE,    // release X Y
    SCRIPT_BRUSH,      // brush X Y W H: place and size the brush
    SCRIPT_UNBRUSH,    // unbrush: take the brush off the image
    SCRIPT_SELECT,     // select X Y W H: add a rectangle to the selection
    SCRIPT_SELECT_ALL, // select all: the whole image (the default)
    SCRIPT_UNDO,       // undo
    SCRIPT_APPLY,      // apply [brush|fill]
    SCRIPT_PASTE,      // paste PATH [lend]
    SCRIPT_DROP,       // drop main|brush PATH
    SCRIPT_WAIT,       // wait CODE [SECONDS]
    SCRIPT_QUIT,       // quit: end the session
    SCRIPT_LEAVE,      // leave: close the display and end the script
    SCRIPT_CLOSE,      // close: the person closed the display window (q or the window manager)
    SCRIPT_VANISH,     // vanish: end without telling anybody (tests)
    SCRIPT_SETTINGS,   // settings KEY=VALUE...: brush parameters as a settings record (1015)
    SCRIPT_SCREENSHOT, // screenshot PATH [now]: the whole X screen as a PNG (now: as it is, unrefined)
    SCRIPT_ZOOM,       // zoom NUM/DEN: the window shows NUM image pixels on DEN screen pixels
    SCRIPT_POLYGON,    // polygon X1 Y1 X2 Y2 X3 Y3 ...: add a closed polygon to the selection
    // The display window's own edits, never written in a script.
    SCRIPT_SHAPE_SET,    // shape arg[0] of the selection becomes kind arg[1] with `points`
    SCRIPT_SHAPE_DELETE, // shape arg[0] of the selection is removed
};

// Tool names of `tool`: the toolbox slots 0, 1, 2. A number instead names a
// raw callback handle (SCRIPT_TOOL_RAW in arg[0], the handle in arg[1]).
enum ScriptTool { SCRIPT_TOOL_BRUSH = 0, SCRIPT_TOOL_FILL = 1, SCRIPT_TOOL_PIPETTE = 2, SCRIPT_TOOL_RAW = 3 };
// `apply` without a target takes it from the current tool.
constexpr int32_t SCRIPT_APPLY_FROM_TOOL = -1;
// `drop` windows, in the order the program registers them.
enum ScriptDropWindow { SCRIPT_DROP_MAIN = 0, SCRIPT_DROP_BRUSH = 1 };
// Largest term of a `zoom` fraction.
constexpr int32_t SCRIPT_MAX_ZOOM = 256;
// Bound of `wait` and of a move held back by motion control, in seconds.
constexpr int SCRIPT_DEFAULT_WAIT = 60;

// Words of the settings record (37 big-endian words, the payload of 1015
// after its status word) that `settings` fills.
constexpr int SCRIPT_SETTINGS_WORDS = 37;

struct ScriptCommand {
    ScriptOp op;
    int line;                      // 1-based line in the script
    int32_t arg[4];                // numbers, in the order written
    std::string path;              // paste, drop and screenshot
    std::vector<int32_t> settings; // settings: the whole record
    std::vector<int32_t> points;   // polygon and shape edits: (x, y) pairs
};

// Parses a whole script. 0 and the commands, or 1046 ("Bad parameter") with
// `error` naming the line and what is wrong with it; nothing is half-parsed.
int Script_Parse(const std::string &text, std::vector<ScriptCommand> *out, std::string *error);

// Reads and parses a script file; a file that cannot be read gives the
// system error number.
int Script_Load(const char *path, std::vector<ScriptCommand> *out, std::string *error);
