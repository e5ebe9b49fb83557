// Message frames of the host link and the layouts of their payloads.
//
// A frame is a 16-byte header of four big-endian 32-bit words (sender pid,
// code, aux, payload length) followed by the payload. Requests that want an
// answer end with a reply tail (callback word, client-data word) that the
// peer copies unchanged into its answer. Both words are handles of
// core/Handle.h (or 0), never addresses.
#pragma once
#include "core/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

// ---- Frame ----------------------------------------------------------------
constexpr int MSG_HEADER_SIZE = 16;
constexpr int MSG_HDR_SENDER = 0, MSG_HDR_CODE = 4, MSG_HDR_AUX = 8, MSG_HDR_LENGTH = 12;
// Largest payload the dispatcher accepts (64 MiB). No message of the link
// comes near it; a larger length word means the stream is corrupt, and the
// link is given up ("can't dispatch message") rather than trusting it.
constexpr int32_t MSG_MAX_PAYLOAD = 64 << 20;

// ---- Codes (direction: K kernel, D display process, in = own FIFO) ------
enum MsgCode : int32_t {
    MSG_EXIT = 1001,              // to K: exit status; in: quit now
    MSG_DISPLAY_LEAVE = 1003,     // to D: own pid; in: display closed (id, path)
    MSG_HELLO = 1004,             // to K, D: own pid
    MSG_DROP_WINDOW = 1005,       // to K: window, callback, client data
    MSG_ANSWER = 1006,            // in: word 0, callback, client data, answer data
    MSG_DISPLAY_CONNECT = 1008,   // in: display pid, path
    MSG_DISPLAY_CLOSE = 1009,     // in: display pid, path
    MSG_REQUEST_FAILED = 1011,    // in: request code, error code
    MSG_READY = 1012,             // to K: program name
    MSG_SAVE_SETTINGS = 1014,     // to K: program name, settings record, zeros
    MSG_SETTINGS = 1015,          // in: status, settings record
    MSG_NO_MASK = 1016,           // in: mask will not come
    MSG_ASK_MASK = 1020,          // to K: path
    MSG_MASK_READY = 1021,        // in: mask path, image path
    MSG_PASTE = 1025,             // in: path, lend flag
    MSG_GIVE_BACK = 1026,         // to K: path
    MSG_DISPLAY_INIT = 1027,      // to D: 1, 26
    MSG_DISPLAY_CONNECTED = 1028, // to K: 500 zero bytes
    MSG_TOOLBOX = 1033,           // to D: toolbox description
    MSG_POINTER = 1037,           // in: pointer event record
    MSG_MOTION = 1038,            // to D: mode, 0, window, button, state mask
    MSG_ACTION = 1040,            // in: path, action, word, apply target
    MSG_SELECTION = 1041,         // in: kind, word, x, y, width, height, more
    MSG_BRUSH_CURSOR = 1042,      // to D: brush description
    MSG_ASK_SELECTION = 1043,     // to D: 4 bytes
    MSG_REDRAW_NOW = 1050,        // to D: x, y, width, height
    MSG_DISCARD_REBUILD = 2001,   // to K: path
    MSG_CREATE_REBUILD = 2002,    // to K: info record, callback, client data
    MSG_IMAGE_OPENED = 2003,      // in: path, callback, client data
    MSG_RELEASE = 2006,           // to K: path, follow-up code
    MSG_CREATE_WORK = 2007,       // to K: info record, callback, client data
    MSG_DELETE = 2008,            // to K: path
    MSG_WORK_CREATED = 2009,      // in: path, callback, client data
    MSG_ROWS_CHANGED = 2010,      // to K: path, first row, row count
    MSG_ANNOUNCE = 2011,          // to K: path
    MSG_OPEN_IMAGE = 2016,        // to K: path, callback, client data
    MSG_WANTED = 2021,            // in: path
    MSG_GIVEN = 2022,             // in: path
    MSG_REDRAW = 2025,            // to D: x, y, width, height
};

// ---- Fixed-size fields ------------------------------------------------------
constexpr int MSG_PATH_SIZE = 500; // an image store path, NUL-terminated
constexpr int MSG_NAME_SIZE = 100; // the program name field
constexpr int MSG_INFO_SIZE = 568; // image info record of the store
constexpr int MSG_TAIL_SIZE = 8;   // reply tail: callback, client data

// ---- Payload sizes and offsets ---------------------------------------------
constexpr int MSG_PID_SIZE = 4;                               // 1001, 1003 out, 1004
constexpr int MSG_DISPLAY_PATH = 4;                           // 1003/1008/1009 in: path offset
constexpr int MSG_DISPLAY_SIZE = 4 + MSG_PATH_SIZE;           // 1003/1008/1009 in
constexpr int32_t MSG_AUX_ID_IN_PAYLOAD = 2;                  // 1003/1009 aux: the payload's id is meant
constexpr int MSG_DROP_SIZE = 12;                             // 1005: window, callback, client
constexpr int MSG_ANSWER_CALLBACK = 4, MSG_ANSWER_CLIENT = 8; // 1006 words 1 and 2
constexpr int MSG_ANSWER_DATA = 12;                           // 1006: answer data (a path for drops)
constexpr int MSG_FAILED_SIZE = 8;                            // 1011: request code, error code
constexpr int MSG_SETTINGS_WORDS = 37;
constexpr int MSG_SETTINGS_SIZE = 4 * MSG_SETTINGS_WORDS;         // 148: the settings record
constexpr int MSG_SETTINGS_MAGIC = 1652;                          // its word 0
constexpr int MSG_SAVE_SETTINGS_SIZE = 4080;                      // 1014: name, record, zeros
constexpr int MSG_SETTINGS_IN_SIZE = 4 + MSG_SETTINGS_SIZE;       // 1015: status, record
constexpr int MSG_MASK_READY_SIZE = 2 * MSG_PATH_SIZE;            // 1021: mask path, image path
constexpr int MSG_PASTE_SIZE = MSG_PATH_SIZE + 4;                 // 1025: path, lend flag
constexpr int MSG_DISPLAY_INIT_SIZE = 8;                          // 1027: 1, 26
constexpr int MSG_TOOLBOX_SIZE = 3280;                            // 1033
constexpr int MSG_MOTION_SIZE = 20;                               // 1038
constexpr int MSG_ACTION_SIZE = MSG_PATH_SIZE + 12;               // 1040: path, action, word, target
constexpr int MSG_SELECTION_SIZE = 28;                            // 1041
constexpr int MSG_RECT_SIZE = 16;                                 // 1050, 2025: x, y, width, height
constexpr int MSG_CREATE_SIZE = MSG_INFO_SIZE + MSG_TAIL_SIZE;    // 2002, 2007: 576
constexpr int MSG_PATH_TAIL_SIZE = MSG_PATH_SIZE + MSG_TAIL_SIZE; // 2003, 2009 in, 2016 out: 508
constexpr int MSG_RELEASE_SIZE = MSG_PATH_SIZE + 4;               // 2006: path, follow-up code
constexpr int MSG_ROWS_SIZE = MSG_PATH_SIZE + 8;                  // 2010: path, first row, count

// ---- Pointer-motion control (1038): modes -------------------------------------
enum MsgMotionMode : int32_t {
    MSG_MOTION_NONE = -1, // a job that takes no pointer motion starts (fill, undo, rebuild)
    MSG_MOTION_HOLD = 0,  // one stroke step is being painted
    MSG_MOTION_ALLOW = 1, // that step is done: motion may come again
    MSG_MOTION_END = 99,  // the job has ended
};

// ---- Display actions (1040), apply targets, selection rectangles (1041) ----
enum MsgApplyTarget : int32_t { MSG_APPLY_NONE = -1, MSG_APPLY_BRUSH = 0, MSG_APPLY_FILL = 1 };
constexpr int MSG_ACT_ACTION = MSG_PATH_SIZE, MSG_ACT_TARGET = MSG_PATH_SIZE + 8; // byte offsets
enum MsgAction : int32_t { MSG_ACTION_UNDO = 8, MSG_ACTION_APPLY = 16 };
constexpr int MSG_SEL_KIND = 0, MSG_SEL_X = 2, MSG_SEL_Y = 3, MSG_SEL_W = 4, MSG_SEL_H = 5,
              MSG_SEL_MORE = 6; // word indexes
enum MsgSelectionKind : int32_t { MSG_SEL_RESET = 0, MSG_SEL_UNMASKED = 1, MSG_SEL_MASKED = 2 };

// ---- Pointer event record (1037): word indexes ---------------------------
constexpr int MSG_EV_KIND = 0, MSG_EV_CALLBACK = 1, MSG_EV_CLIENT = 2, MSG_EV_WINDOW = 4, MSG_EV_X = 5,
              MSG_EV_Y = 6, MSG_EV_BUTTON = 7, MSG_EV_STATE = 9, MSG_EV_RECT_X = 10, MSG_EV_RECT_Y = 11,
              MSG_EV_RECT_W = 12, MSG_EV_RECT_H = 13, MSG_EV_FLAG1 = 14, MSG_EV_FLAG2 = 15;
constexpr int MSG_EVENT_WORDS = 16;
constexpr int MSG_EVENT_SIZE = 4 * MSG_EVENT_WORDS;
enum MsgEventKind : int32_t {
    MSG_EVK_IGNORED = 1,
    MSG_EVK_MOTION = 2,
    MSG_EVK_PRESS = 16,
    MSG_EVK_RELEASE = 32,
    MSG_EVK_BRUSH_RECT = 512,
};
constexpr int32_t MSG_STATE_BUTTON1 = 256, MSG_STATE_BUTTON3 = 1024;

// ---- Brush description (1042): byte offsets --------------------------------
constexpr int MSG_BR_PATH = 0;    // brush image path, 512 bytes
constexpr int MSG_BR_PATH2 = 512; // second brush image path, 512 bytes
constexpr int MSG_BR_PATH_FIELD = 512;
constexpr int MSG_BR_IMAGE_BOX = 1024; // 7 words: x1, y1, x2, y2, width, height, link
constexpr int MSG_BR_POS_BOX = 1052;   // 7 words
constexpr int MSG_BR_OP_SIGN = 1080;   // -1 when the engine op is non-zero, else 1
constexpr int MSG_BR_FLOATING = 1084;
constexpr int MSG_BR_COLOR = 1088; // ColorValue, 13 words
constexpr int MSG_BR_CHANGE = 1140;
constexpr int MSG_BRUSH_SIZE = 1144;
enum MsgBrushChange : int32_t {
    MSG_BRC_ALL = 1,      // whole description; both paths empty removes the cursor
    MSG_BRC_POSITION = 2, // position box only
    MSG_BRC_OP = 4,       // op sign only
    MSG_BRC_COLOR = 16,   // colour record only
};

// ---- Reading and writing payloads ---------------------------------------------
// Every handler and peer reads and writes payload fields with these; the
// caller checks the payload's length against the layout's size first,
// except for paths, which are always bounded by it.

// Word `index` (32-bit, big-endian) of a record.
inline int32_t Msg_Word(const unsigned char *record, int index)
{
    return Bytes_GetS32(record + 4 * index);
}
inline void Msg_PutWord(unsigned char *record, int index, int32_t value)
{
    Bytes_PutS32(record + 4 * index, value);
}
// Consecutive words from word 0 of out.
void Msg_PutWords(unsigned char *out, std::initializer_list<int32_t> words);

// The path field at `offset` of a payload of `length` bytes: the text before
// its NUL. A field that the payload does not reach, or that has no NUL
// within its 500 bytes and the payload, reads as the empty path: no path.
std::string Msg_Path(const unsigned char *payload, int32_t length, int offset);
// Writes a NUL-terminated path into a zeroed field of `size` bytes (cut to fit).
void Msg_PutPath(unsigned char *field, const char *path, int size = MSG_PATH_SIZE);

// The reply tail of an answer at `offset`: the words the request carried.
struct MsgTail {
    uint32_t callback, client;
};
inline MsgTail Msg_Tail(const unsigned char *payload, int offset)
{
    return {Bytes_Get32(payload + offset), Bytes_Get32(payload + offset + 4)};
}
inline void Msg_PutTail(unsigned char *out, MsgTail tail)
{
    Bytes_Put32(out, tail.callback);
    Bytes_Put32(out + 4, tail.client);
}

// Writes a frame header (own pid, code, aux, length) into 16 bytes.
// Async-signal-safe: the fault handler frames its notice with it.
void Msg_PutHeader(unsigned char *header, int32_t code, int32_t aux, int32_t length);

// Sends one frame (own pid, code, aux, length, payload) on fd. The send
// buffer grows to the largest frame sent and is reused. Failures are
// reported as "can't write message" and the frame is lost; the return is 0
// or the system error number (12 when no memory, ETIMEDOUT when the reader
// let its FIFO stay full for the whole patience).
int Msg_write(int fd, int32_t code, int32_t aux, const void *payload, int length);

// Writes all of data on fd (blocking or not): a full non-blocking FIFO is
// waited for at most the patience, so a reader that stopped reading never
// holds the writer for ever. 0, ETIMEDOUT or the system error number.
int Msg_WriteAll(int fd, const void *data, size_t size);

// How long a write waits for a full FIFO to drain before giving up.
constexpr int MSG_PATIENCE_MS = 10000;
void Msg_SetPatience(int ms);

// Descriptor of the last send.
extern int GlobalFifoValue;
