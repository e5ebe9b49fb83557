#include "host/Script.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace
{

constexpr int BAD_PARAMETER = 1046;

// One row per command word: how many numbers it takes, at least and at
// most, and whether words follow instead of numbers (parsed by its own rule).
struct Syntax {
    const char *word;
    ScriptOp op;
    int minNumbers, maxNumbers;
    const char *usage;
};

const Syntax syntaxTable[] = {
    {"press", SCRIPT_PRESS, 2, 3, "press X Y [BUTTON]"},
    {"move", SCRIPT_MOVE, 2, 2, "move X Y"},
    {"release", SCRIPT_RELEASE, 2, 2, "release X Y"},
    {"brush", SCRIPT_BRUSH, 4, 4, "brush X Y WIDTH HEIGHT"},
    {"unbrush", SCRIPT_UNBRUSH, 0, 0, "unbrush"},
    {"undo", SCRIPT_UNDO, 0, 0, "undo"},
    {"quit", SCRIPT_QUIT, 0, 0, "quit"},
    {"leave", SCRIPT_LEAVE, 0, 0, "leave"},
    {"close", SCRIPT_CLOSE, 0, 0, "close"},
    {"vanish", SCRIPT_VANISH, 0, 0, "vanish"},
    // Commands with words of their own; numbers are checked by their rule.
    {"tool", SCRIPT_TOOL, -1, -1, "tool brush|fill|pipette|HANDLE"},
    {"select", SCRIPT_SELECT, -1, -1, "select X Y WIDTH HEIGHT | select all"},
    {"apply", SCRIPT_APPLY, -1, -1, "apply [brush|fill]"},
    {"paste", SCRIPT_PASTE, -1, -1, "paste PATH [lend]"},
    {"drop", SCRIPT_DROP, -1, -1, "drop main|brush PATH"},
    {"wait", SCRIPT_WAIT, -1, -1, "wait CODE [SECONDS]"},
    {"settings", SCRIPT_SETTINGS, -1, -1,
     "settings [width=N] [height=N] [opacity=N] [aero=0|1] [trace=cont|dot|single] [spacing=N] "
     "[selection=0|1] "
     "[colour=R,G,B] [undo=N]"},
    {"screenshot", SCRIPT_SCREENSHOT, -1, -1, "screenshot PATH [now]"},
    {"zoom", SCRIPT_ZOOM, -1, -1, "zoom NUM/DEN"},
    {"polygon", SCRIPT_POLYGON, -1, -1, "polygon X1 Y1 X2 Y2 X3 Y3 ... (3 points or more)"},
};

// A whole-word integer in 32 bits; base 0 accepts 0x... for handles.
bool ParseNumber(const std::string &word, int base, int32_t *out)
{
    if (word.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(word.c_str(), &end, base);
    if (errno || *end || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = int32_t(v);
    return true;
}

bool ParseNumbers(const std::vector<std::string> &words, size_t from, ScriptCommand *cmd)
{
    for (size_t i = from; i < words.size(); i++)
        if (!ParseNumber(words[i], 10, &cmd->arg[i - from]))
            return false;
    return true;
}

// `settings`: the record dabstone loads (1015), from the defaults of a
// fresh program and the keys given. Values are checked by dabstone (it
// clamps them); here only their form.
bool ParseSettings(const std::vector<std::string> &w, ScriptCommand *cmd)
{
    std::vector<int32_t> &r = cmd->settings;
    r.assign(SCRIPT_SETTINGS_WORDS, 0);
    r[0] = 1652;                                                 // the record's mark
    r[1] = r[2] = 31, r[3] = 100, r[4] = 0, r[5] = 0, r[6] = 25; // brush, trace, spacing
    r[10] = 2;                                                   // colour for colour planes: RGB black
    r[23] = 1;                                                   // colour for single planes: grey 0
    r[36] = 1;                                                   // dithering
    const struct {
        const char *key;
        int word;
    } keys[] = {{"width", 1},   {"height", 2},    {"opacity", 3}, {"aero", 4},
                {"spacing", 6}, {"selection", 7}, {"undo", 8}};
    for (size_t i = 1; i < w.size(); i++) {
        size_t eq = w[i].find('=');
        if (eq == std::string::npos)
            return false;
        std::string key = w[i].substr(0, eq), value = w[i].substr(eq + 1);
        bool known = false;
        for (const auto &k : keys)
            if (key == k.key) {
                known = ParseNumber(value, 10, &r[size_t(k.word)]);
                if (!known)
                    return false;
            }
        if (key == "trace") {
            const char *modes[] = {"cont", "dot", "single"};
            for (int m = 0; m < 3; m++)
                if (value == modes[m]) {
                    r[5] = m;
                    known = true;
                }
        } else if (key == "colour" || key == "color") {
            std::istringstream in(value);
            std::string part;
            int c = 0;
            for (; c < 3 && std::getline(in, part, ','); c++)
                if (!ParseNumber(part, 10, &r[size_t(11 + c)]))
                    return false;
            if (c != 3 || std::getline(in, part, ','))
                return false;
            // The record also holds the colour as CMYK and grey.
            for (int k = 0; k < 3; k++)
                r[size_t(14 + k)] = 255 - r[size_t(11 + k)];
            r[21] = (r[11] + r[12] + r[13]) / 3;
            known = true;
        }
        if (!known)
            return false;
    }
    return true;
}

// `zoom NUM/DEN`, both terms from 1 to SCRIPT_MAX_ZOOM.
bool ParseZoom(const std::vector<std::string> &w, ScriptCommand *cmd)
{
    size_t slash = w.size() == 2 ? w[1].find('/') : std::string::npos;
    if (slash == std::string::npos || !ParseNumber(w[1].substr(0, slash), 10, &cmd->arg[0]) ||
        !ParseNumber(w[1].substr(slash + 1), 10, &cmd->arg[1]))
        return false;
    return cmd->arg[0] >= 1 && cmd->arg[1] >= 1 && cmd->arg[0] <= SCRIPT_MAX_ZOOM &&
           cmd->arg[1] <= SCRIPT_MAX_ZOOM;
}

// `polygon`: pairs of numbers, at least 3 points.
bool ParsePolygon(const std::vector<std::string> &w, ScriptCommand *cmd)
{
    const size_t n = w.size() - 1;
    if (n % 2 || n < 6)
        return false;
    cmd->points.resize(n);
    for (size_t i = 0; i < n; i++)
        if (!ParseNumber(w[i + 1], 10, &cmd->points[i]))
            return false;
    return true;
}

// The commands whose arguments are words; false when they do not fit.
bool ParseSpecial(const std::vector<std::string> &w, ScriptCommand *cmd)
{
    size_t n = w.size() - 1;
    switch (cmd->op) {
    case SCRIPT_TOOL:
        if (n != 1)
            return false;
        if (w[1] == "brush")
            cmd->arg[0] = SCRIPT_TOOL_BRUSH;
        else if (w[1] == "fill")
            cmd->arg[0] = SCRIPT_TOOL_FILL;
        else if (w[1] == "pipette")
            cmd->arg[0] = SCRIPT_TOOL_PIPETTE;
        else {
            cmd->arg[0] = SCRIPT_TOOL_RAW;
            return ParseNumber(w[1], 0, &cmd->arg[1]);
        }
        return true;
    case SCRIPT_SELECT:
        if (n == 1 && w[1] == "all") {
            cmd->op = SCRIPT_SELECT_ALL;
            return true;
        }
        return n == 4 && ParseNumbers(w, 1, cmd) && cmd->arg[2] > 0 && cmd->arg[3] > 0;
    case SCRIPT_APPLY:
        cmd->arg[0] = SCRIPT_APPLY_FROM_TOOL;
        if (n == 0)
            return true;
        if (n != 1 || (w[1] != "brush" && w[1] != "fill"))
            return false;
        cmd->arg[0] = w[1] == "brush" ? 0 : 1;
        return true;
    case SCRIPT_PASTE:
        if (n < 1 || n > 2 || (n == 2 && w[2] != "lend"))
            return false;
        cmd->path = w[1];
        cmd->arg[0] = n == 2;
        return true;
    case SCRIPT_DROP:
        if (n != 2 || (w[1] != "main" && w[1] != "brush"))
            return false;
        cmd->arg[0] = w[1] == "main" ? SCRIPT_DROP_MAIN : SCRIPT_DROP_BRUSH;
        cmd->path = w[2];
        return true;
    case SCRIPT_SETTINGS:
        return ParseSettings(w, cmd);
    case SCRIPT_ZOOM:
        return ParseZoom(w, cmd);
    case SCRIPT_POLYGON:
        return ParsePolygon(w, cmd);
    case SCRIPT_SCREENSHOT:
        if (n < 1 || n > 2 || (n == 2 && w[2] != "now"))
            return false;
        cmd->path = w[1];
        cmd->arg[0] = n == 2;
        return true;
    case SCRIPT_WAIT:
        cmd->arg[1] = SCRIPT_DEFAULT_WAIT;
        if (n < 1 || n > 2 || !ParseNumbers(w, 1, cmd))
            return false;
        return cmd->arg[0] > 0 && cmd->arg[1] > 0 && cmd->arg[1] <= 3600;
    default:
        return false;
    }
}

// Parses one line's words into `cmd`; an empty string or the usage to show.
std::string ParseLine(const std::vector<std::string> &words, ScriptCommand *cmd)
{
    for (const Syntax &s : syntaxTable) {
        if (words[0] != s.word)
            continue;
        cmd->op = s.op;
        bool ok;
        if (s.minNumbers < 0) {
            ok = ParseSpecial(words, cmd);
        } else {
            int n = int(words.size()) - 1;
            ok = n >= s.minNumbers && n <= s.maxNumbers && ParseNumbers(words, 1, cmd);
        }
        if (cmd->op == SCRIPT_PRESS && ok) {
            if (words.size() == 3)
                cmd->arg[2] = 1;
            ok = cmd->arg[2] >= 1 && cmd->arg[2] <= 3;
        }
        if (cmd->op == SCRIPT_BRUSH && ok)
            ok = cmd->arg[2] > 0 && cmd->arg[3] > 0;
        return ok ? std::string() : std::string("usage: ") + s.usage;
    }
    return "unknown command \"" + words[0] + "\"";
}

} // namespace

int Script_Parse(const std::string &text, std::vector<ScriptCommand> *out, std::string *error)
{
    std::vector<ScriptCommand> commands;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        line = line.substr(0, line.find('#'));
        std::istringstream lineIn(line);
        std::vector<std::string> words;
        for (std::string w; lineIn >> w;)
            words.push_back(w);
        if (words.empty())
            continue;
        ScriptCommand cmd{};
        cmd.line = number;
        std::string problem = ParseLine(words, &cmd);
        if (!problem.empty()) {
            if (error)
                *error = "line " + std::to_string(number) + ": " + problem;
            return BAD_PARAMETER;
        }
        commands.push_back(cmd);
    }
    *out = std::move(commands);
    return 0;
}

int Script_Load(const char *path, std::vector<ScriptCommand> *out, std::string *error)
{
    std::ifstream file(path);
    if (!file) {
        int e = errno ? errno : ENOENT;
        if (error)
            *error = std::string("can't read script ") + path;
        return e;
    }
    std::stringstream text;
    text << file.rdbuf();
    return Script_Parse(text.str(), out, error);
}
