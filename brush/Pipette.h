// The colour pipette tool, called by the engine with (client data, event
// record of 1037).
//
// Least form until the pipette work exists: an event is logged and ignored.
#pragma once

void Work_Pipette(void *engine, const unsigned char *event);
