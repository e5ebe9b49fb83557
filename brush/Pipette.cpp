// Least form until the pipette work exists: see brush/Work.cpp.
#include "brush/Pipette.h"

#include "core/Bytes.h"
#include "core/Misc.h"
#include "core/Msg.h"

#include <cstdio>

void Work_Pipette(void *, const unsigned char *event)
{
    auto word = [event](int i) { return Bytes_GetS32(event + 4 * i); };
    std::fprintf(stderr, "%s: Work_Pipette: event %d at %d,%d button %d ignored\n", Misc_ProgramName(),
                 word(MSG_EV_KIND), word(MSG_EV_X), word(MSG_EV_Y), word(MSG_EV_BUTTON));
}
