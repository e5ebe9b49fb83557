#!/usr/bin/env bash
# Sourced: starts the test X servers on free display numbers. DISPLAY's
# screen 0 is 24-bit TrueColor, its screen 1 8-bit PseudoColor; DAB_DISPLAY8
# names a second server whose only screen is 8-bit PseudoColor, as a display
# of that kind is seen by its clients (default visual and colormap 8-bit),
# and which offers no shared memory, as a remote display does not.
# -noreset: the server
# would otherwise reset whenever its last client leaves (between two test
# processes) and turn new connections away meanwhile.
# The servers are killed when the sourcing shell exits.
dab_free_display() {
  local n=$1
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  echo "$n"
}

dab_wait_display() {
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$1" ] && return
    sleep 0.1
  done
}

dab_start_xvfb() {
  local n m
  n=$(dab_free_display 90)
  Xvfb ":$n" -screen 0 1600x1200x24 -screen 1 1280x1024x8 -nolisten tcp -noreset >/dev/null 2>&1 &
  DAB_XVFB_PID=$!
  dab_wait_display "$n"
  m=$(dab_free_display $((n + 1)))
  Xvfb ":$m" -screen 0 1280x1024x8 -extension MIT-SHM -nolisten tcp -noreset >/dev/null 2>&1 &
  DAB_XVFB8_PID=$!
  trap 'kill $DAB_XVFB_PID $DAB_XVFB8_PID 2>/dev/null' EXIT
  dab_wait_display "$m"
  export DISPLAY=":$n" DAB_DISPLAY8=":$m"
}
