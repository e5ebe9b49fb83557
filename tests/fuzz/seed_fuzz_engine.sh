#!/usr/bin/env bash
# Seeds for fuzz_engine: message sequences that once stopped or hung the
# program, and a few ordinary sessions. A seed is the colour model of the
# edited image (one byte), then steps: code selector, flags (1: leave the
# frame waiting in the FIFO with the next), 16-bit payload length, payload. Selectors: 0 1037, 1 1008, 2 1003, 3 1009, 4 1011,
# 5 1015, 6 1016, 7 1021, 8 1025, 9 1040, 10 1041, 11 2003, 12 2009,
# 13 2021, 14 2022, 15 1006. A path field starting with byte n < 16 names
# known image n: 0 the edited one, 1 and 2 brushes (40 x 30 RGB, 20 x 20
# grey), 3 and 4 masks (fitting brush 1, fitting nothing), 5 a 9999 x 1
# brush, 6 another image, 7 a missing file, 8 empty. A pointer event's
# callback n < 16 names tool n % 3 (brush, fill, pipette).
set -euo pipefail
dir=$1
byte() { printf "\\x$(printf %02x $(($1 & 255)))"; }
w() { byte $(($1 >> 24)); byte $(($1 >> 16)); byte $(($1 >> 8)); byte $1; }
zeros() { head -c "$1" /dev/zero; }
step() { byte "$1"; byte "${3:-0}"; byte $(($2 >> 8)); byte "$2"; }
path() { byte "$1"; zeros 499; }
# event KIND TOOL X Y BUTTON STATE [RX RY RW RH F1 F2]; FLAGS=1 queues it.
event() {
  step 0 64 "${FLAGS:-0}"
  w "$1"; w "$2"; w 0; w 0; w 0; w "$3"; w "$4"; w "$5"; w 0; w "$6"
  for v in "${@:7}"; do w "$v"; done
  zeros $((4 * (6 - $# + 6)))
}
paste() { step 8 504; path "$1"; w 1; }

# A lent brush given back under a stroke (1011 for a 2002 nobody waits for,
# then 2021 for the brush).
{ byte 0; paste 1; event 16 0 60 60 1 256; step 4 8; w 2002; w 1213;
  step 13 500; path 1; event 2 0 100 70 1 256; } >"$dir/brush_taken"
# The display's brush rectangle resizing the brush under a stroke.
{ byte 0; paste 1; paste 2; event 16 0 100 75 3 1024; event 512 0 0 0 0 0 10 10 150 150 1 0;
  event 2 0 110 80 3 1024; } >"$dir/brush_resized"
# A display that is ourselves, then a flood of pointer events.
{ byte 0; step 1 504; w 1; path 0; event 16 0 5 5 1 256;
  for i in $(seq 1 880); do FLAGS=1 event 2 0 $((i % 150)) $((i % 110)) 1 256; done; } >"$dir/own_display"
# The airbrush (from settings) pressed at the lowest row there is.
{ byte 0; step 5 152; w 0; w 1652; w 31; w 40; w 100; w 1; w 0; w 25; zeros 120;
  event 16 0 50 -2147483648 1 256; event 32 0 50 -2147483648 1 256; } >"$dir/aero_far"
# A 9999 x 1 user brush painting.
{ byte 1; paste 5; event 16 0 30 30 1 256; event 2 0 60 40 1 256; event 32 0 60 40 1 256; } >"$dir/wide_brush"
# A mask that fits nothing for a brush the kernel opened, used by a stroke.
{ byte 2; step 8 504; path 1; w 0; step 7 1000; path 4; path 1; event 16 0 10 10 1 256;
  event 32 0 40 20 1 256; } >"$dir/odd_mask"
# Selections far out, a fill, undo and apply, an image change, a close mid-stroke.
{ byte 3; step 10 28; w 2; w 0; w -2147483647; w 5; w 2147483647; w 9; w 1;
  step 10 28; w 2; w 0; w 10; w 10; w 20; w 20; w 0; event 16 1 3 3 1 256;
  step 9 512; path 0; w 8; w 0; w 0; step 9 512; path 0; w 16; w 0; w 1;
  event 16 0 20 20 1 256; step 3 504; w 0; path 0; event 2 0 40 30 1 256;
  step 14 500; path 6; step 15 512; w 0; w 0; w 0; path 6; } >"$dir/session"
