// Least form until the stroke work exists: the tools say what reached them
// (one line per event, which end-to-end tests look for) and paint nothing.
#include "brush/Pipette.h"
#include "brush/Work.h"

#include "core/Bytes.h"
#include "core/Misc.h"
#include "core/Msg.h"

#include <cstdio>

namespace {
void Ignore(const char *tool, const unsigned char *event)
{
    auto word = [event](int i) { return Bytes_GetS32(event + 4 * i); };
    std::fprintf(stderr, "%s: %s: event %d at %d,%d button %d ignored\n", Misc_ProgramName(), tool,
                 word(MSG_EV_KIND), word(MSG_EV_X), word(MSG_EV_Y), word(MSG_EV_BUTTON));
}
} // namespace

void Work_Brush(void *, const unsigned char *event) { Ignore("Work_Brush", event); }
void Work_Fill(void *, const unsigned char *event) { Ignore("Work_Fill", event); }
void Work_BrutalStop() {}
