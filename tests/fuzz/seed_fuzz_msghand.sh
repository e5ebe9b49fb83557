#!/usr/bin/env bash
# Seeds for fuzz_msghand: well-formed frames of the codes it routes.
set -euo pipefail
dir=$1
w() { printf "\\x$(printf %02x $(($1 >> 24 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 & 255)))"; }
zeros() { head -c "$1" /dev/zero; }
{ w 1; w 1004; w 0; w 0; } >"$dir/hello"
{ w 1; w 1006; w 0; w 512; w 0; w 65537; w 0; printf /tmp/a; zeros 494; } >"$dir/answer"
{ w 1; w 1037; w 0; w 64; w 16; w 65538; w 0; zeros 52; } >"$dir/press"
{ w 1; w 2009; w 0; w 508; printf /tmp/b; zeros 494; w 0; w 0; w 1; w 1004; w 0; w 0; } >"$dir/two"
{ w 1; w 1021; w 0; w 10000; zeros 10000; } >"$dir/big"
{ w 1; w 1015; w 0; w 152; w 0; w 1652; w 500; w -1; zeros 136; } >"$dir/settings"
{ w 1; w 1037; w 0; w 64; w 512; zeros 36; w 5; w 6; w 10; w 15; w 1; w 0; } >"$dir/brush"
