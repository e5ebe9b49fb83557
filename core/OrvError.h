// Error codes shared with the host suite and their texts in three
// languages. 0 is no error; 1 up to the system's error count minus 1 are
// system error numbers (the system's own text); the suite's codes lie in
// 1001..2006. Any other code gets the not-found text.
#pragma once
#include <cstdint>

// The suite's codes that the modules return by name.
enum : int32_t {
    ORV_CONNECTION_OFF = 1011, // "System : connection Off"
    ORV_NO_MEMORY = 1017,      // "No more memory available"
    ORV_CANNOT_READ = 1025,    // "Cannot read the file"
    ORV_WRITE_FAILED = 1033,   // "Write failed"
    ORV_CANNOT_HANDLE = 1045,  // "Cannot handle this type of image"
    ORV_BAD_PARAMETER = 1046,  // "Bad parameter"
    ORV_TOO_LARGE = 1050,      // "Image too large"
    ORV_BAD_SIZE = 1062,       // "Bad size of file"
    ORV_NOT_READY = 1066,      // "Application is not ready"
    ORV_UNKNOWN_FORMAT = 1063, // "Unknown file format"
    ORV_CANCEL = 1073,         // "Cancel"
    ORV_DISK_FULL = 1213,      // "The disk is full "
};

// 0 English, 1 French, 2 German. Starts at 0 and nothing changes it.
extern int32_t CurrentLanguage;

// The text of a code, never to be freed. A not-found text lives in one
// process-wide buffer that the next not-found lookup overwrites.
const char *OrvError_NumToString(int32_t code);

// The three message tables: the text of a suite code (or "" for 0), null
// when the table has no row for it.
const char *OrvError_English(int32_t code);
const char *OrvError_French(int32_t code);
const char *OrvError_German(int32_t code);

// One past the highest system error number.
int OrvError_SystemCount();
