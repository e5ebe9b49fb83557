#!/usr/bin/env bash
# Sourced: starts one Xvfb on a free display number and exports DISPLAY.
# Screen 0 is 24-bit TrueColor, screen 1 8-bit PseudoColor. -noreset: the server
# would otherwise reset whenever its last client leaves (between two test
# processes) and turn new connections away meanwhile.
# The server is killed when the sourcing shell exits.
dab_start_xvfb() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1600x1200x24 -screen 1 1280x1024x8 -nolisten tcp -noreset >/dev/null 2>&1 &
  DAB_XVFB_PID=$!
  trap 'kill $DAB_XVFB_PID 2>/dev/null' EXIT
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
}
