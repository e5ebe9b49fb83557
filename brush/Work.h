// The brush engine's tools: the brush (Work_Brush) and the fill (Work_Fill),
// called by the engine with (client data, event record of 1037: sixteen
// big-endian words, Msg.h's MSG_EV_* indexes).
//
// Least form until the stroke work exists: an event is logged and ignored.
#pragma once

void Work_Brush(void *engine, const unsigned char *event);
void Work_Fill(void *engine, const unsigned char *event);
// Abandons the running stroke or fill.
void Work_BrutalStop();
