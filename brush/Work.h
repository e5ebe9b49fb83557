// The brush engine's tools: the brush (Work_Brush) and the fill (Work_Fill),
// called by the engine with (client data, event record of 1037: sixteen
// big-endian words, Msg.h's MSG_EV_* indexes).
//
// Pointer events become painting: a stroke is painted by one of three
// techniques (dabs of a brush image, round anti-aliased pencil pieces, or
// large analytic dabs), always through an image-to-image fill object and a
// view, so that colour, planes, alpha, masks, op and dithering are applied by
// the fill object's kernel (or by a fast kernel that gives the same bytes).
// Painted areas go to the refresh queue; the undo store is validated when an
// operation starts.
#pragma once

void Work_Brush(void *engine, const unsigned char *event);
void Work_Fill(void *engine, const unsigned char *event);
// Runs the action that waits for the selection the engine asked for.
void Work_AfterSelection();
// Abandons the running stroke or fill.
void Work_BrutalStop();

// The technique the current brush paints with.
enum { WORK_PENCIL = 0, WORK_DAB = 1, WORK_LARGE = 2 };
int Work_Technique();
// For benchmarks and tests: the technique of the next strokes whatever the
// brush (-1: chosen from the brush again).
void Work_ForceTechnique(int technique);

// The pencil's diameter and opacity (0..1) in the running stroke.
extern double pencil_r;
extern double pencil_opa;
