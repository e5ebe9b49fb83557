#!/usr/bin/env bash
# The first thing to run: installs what is missing, builds, makes a picture
# and paints on it.
#
# With an X display ($DISPLAY set and reachable) dabstone opens on the
# picture and you paint yourself in the display window (keys b, f, p pick
# brush, fill and pipette; button 1 paints, button 3 erases; see README);
# closing the display window (q) ends the session and exports the result.
# Without one, a virtual X server runs a scripted session that uses every
# technique and writes demo-out/result.png (the painted picture) and
# demo-out/screen.png (both windows), then demo-out/screen8.png (the same
# on an 8-bit display).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"
echo "demo: building (a few minutes the first time)"
"$top/scripts/build.sh" "$top/build" >/dev/null
sorbane=$top/build/host/sorbane
out=$top/demo-out
store=$out/store
rm -rf "$out"
mkdir -p "$out"

# The picture: a test pattern made by sorbane, through PNG into the store as
# any picture would come. The second picture becomes the user brush.
"$sorbane" new --pattern --size 1024x768 --alpha "$out/pattern.img"
"$sorbane" export "$out/pattern.img" "$out/picture.png"
"$sorbane" import "$out/picture.png" "$out/picture.img"
"$sorbane" new --pattern --size 64x64 --alpha "$out/stamp.img"
rm -f "$out/pattern.img"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "demo: painting on $out/picture.img in the display window (b brush, f fill, p pipette,"
  echo "      button 1 paints, button 3 erases); close it (q) to end: both windows go and"
  echo "      the picture is saved (while a stroke is still being painted dabstone asks first)"
  "$sorbane" run "$out/picture.img" --store "$store" --export "$out/result.png"
  echo "demo: the picture as you left it: $out/result.png"
  exit 0
fi

# No display: a scripted session in a virtual X server. Every stroke ends
# with the kernel's 2010 (its rows changed), which the script waits for.
cat >"$out/session.script" <<EOF
wait 1042
tool brush
# Pencil: a hard round brush, drawn as one anti-aliased stroke.
settings width=9 height=9 colour=200,20,30
press 60 80
move 200 40
move 340 120
move 480 40
move 620 120
move 760 40
move 900 120
release 960 80
wait 2010
# Pencil at 50 %: where the stroke crosses itself it does not get darker.
settings width=31 height=31 opacity=50 colour=10,10,10
press 80 200
move 500 300
move 900 180
move 480 200
move 120 320
release 120 320
wait 2010
# Dabs of the airbrush, 25 % apart.
settings width=70 height=70 aero=1 colour=20,60,230
press 80 420
move 300 380
move 520 470
move 740 380
move 950 450
release 950 450
wait 2010
# A flat brush, not round: dabs of the built-in ellipse.
settings width=48 height=10 colour=20,160,60 spacing=10
press 100 560
move 250 520
move 400 600
move 560 530
release 700 560
wait 2010
# One dab at each pointer position ("dot").
settings width=28 height=28 aero=1 colour=250,210,30 trace=dot
press 750 250
move 800 280
move 850 250
move 900 290
move 950 240
release 990 270
wait 2010
# A large brush: above 201 pixels the ellipse is drawn row by row.
settings width=420 height=160 aero=1 opacity=45 colour=255,255,255
press 520 680
release 520 680
wait 2010
# Button 3 erases: the alpha goes down along the stroke.
settings width=40 height=40
press 980 60 3
move 980 700
release 980 700
wait 2010
# A fill inside a selection: a new selection is asked for by the next job.
settings selection=1 colour=255,120,0
select 40 620 180 110
tool fill
press 100 650
release 100 650
wait 2010
# The same inside a polygon alone: the kernel hands dabstone its mask.
settings selection=1 colour=40,200,220
select all
polygon 250 600 420 560 380 740 300 690
tool fill
press 330 640
release 330 640
wait 2010
settings selection=0
# A second picture pasted as the user brush (lent: dabstone opens it at
# once and gives it back at the end): it paints its own colours, at its
# size and then scaled up.
tool brush
paste $out/stamp.img lend
press 300 700
move 480 640
release 480 640
wait 2010
brush 0 0 140 140
press 640 620
move 840 700
release 840 700
wait 2010
screenshot $out/screen.png
# Ends as a person ends it: the display window closed.
close
wait 1001
EOF

. "$top/scripts/xvfb.sh"
dab_start_xvfb
echo "demo: no display; a scripted session in Xvfb on $DISPLAY"
"$sorbane" run "$out/picture.img" --store "$store" --script "$out/session.script" --show \
  --export "$out/result.png" --log "$out/session.log"
echo "demo: the painted picture: $out/result.png"
echo "demo: both windows:        $out/screen.png"

# The same windows on an 8-bit PseudoColor display: a short stroke on a copy
# of the picture, both windows photographed.
"$sorbane" import "$out/picture.png" "$out/picture8.img"
cat >"$out/session8.script" <<EOF
wait 1042
tool brush
settings width=40 height=40 aero=1 colour=230,40,160
press 100 100
move 500 300
move 900 120
release 900 120
wait 2010
screenshot $out/screen8.png
close
wait 1001
EOF
DISPLAY=$DAB_DISPLAY8 "$sorbane" run "$out/picture8.img" --store "$store" --script "$out/session8.script" --show \
  --log "$out/session8.log"
echo "demo: on an 8-bit display:  $out/screen8.png"
