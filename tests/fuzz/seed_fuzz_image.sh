#!/usr/bin/env bash
# Seeds for fuzz_image: a few small valid store files, written byte by byte
# here so that the fuzz build needs nothing else built. Usage: DIR
set -euo pipefail
out=${1:?usage: seed_fuzz_image.sh DIR}
mkdir -p "$out"

word() { # FILE OFFSET VALUE: one big-endian 32-bit word
    local v=$(( $3 & 0xFFFFFFFF ))
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((v >> 24 & 255)) $((v >> 16 & 255)) $((v >> 8 & 255)) $((v & 255)))" |
        dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
text() { printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

# image NAME WIDTH HEIGHT MODE BITS ALPHA EXTRA EXTRABITS LUT SMALL: laid out
# as the store creates it (header, table, small block, pages of planes).
image() {
    local f="$out/$1" w=$2 h=$3 mode=$4 bits=$5 alpha=$6 extra=$7 xbits=$8 lut=$9 small=${10}
    local colours=$(( mode == 1 ? 1 : mode == 2 ? 3 : 4 ))
    local planes=$(( colours + alpha + extra )) end=$(( 2636 + lut * 12 + small ))
    end=$(( (end + 4095) / 4096 * 4096 ))
    local offsets=() rows=() pbits=() kinds=() p
    for ((p = 0; p < planes; p++)); do
        local b=$bits kind=$(( mode == 1 ? 2 : mode == 2 ? 3 + p : 6 + p ))
        (( p >= colours )) && { b=8; kind=16; }
        (( p >= colours + alpha )) && { b=$xbits; kind=18; }
        local row=$(( b == 1 ? (w + 7) / 8 : w * b / 8 ))
        offsets+=("$end"); rows+=("$row"); pbits+=("$b"); kinds+=("$kind")
        end=$(( end + (row * h + 4095) / 4096 * 4096 ))
    done
    head -c "$end" /dev/zero >"$f"
    word "$f" 0 "$w"; word "$f" 4 "$h"; word "$f" 8 "$planes"; word "$f" 12 "$colours"
    word "$f" 16 "$alpha"; word "$f" 20 "$mode"; word "$f" 24 2636; word "$f" 32 "$lut"
    word "$f" 1320 "$end"; word "$f" 1328 "$small"; word "$f" 1332 $(( 2636 + lut * 12 ))
    text "$f" 1336 "$f"; word "$f" 1836 "$end"; text "$f" 1840 "$1"
    word "$f" 2352 -1; word "$f" 2596 $(( 2636 + lut * 12 )); word "$f" 2616 -1; word "$f" 2620 72
    word "$f" 2632 0xFABED1F1
    for ((p = 0; p < planes; p++)); do
        local r=$(( 40 + 40 * p ))
        word "$f" "$r" "${offsets[p]}"; word "$f" $(( r + 8 )) "${pbits[p]}"; word "$f" $(( r + 12 )) "${pbits[p]}"
        word "$f" $(( r + 16 )) "${rows[p]}"; word "$f" $(( r + 20 )) "${kinds[p]}"; text "$f" $(( r + 24 )) "P$p"
        # A few samples that are not zero.
        word "$f" "${offsets[p]}" $(( 0x12345678 + p ))
    done
}

image grey1_9x2.img 9 2 1 1 0 0 0 0 0
image grey8_alpha.img 4 4 1 8 1 0 0 0 0
image rgb8_alpha_89.img 89 11 2 8 1 0 0 0 0
image rgb16_lut.img 5 3 2 16 0 0 0 4 16
image cmyk16_extra32.img 3 2 3 16 1 1 32 0 0
