#!/usr/bin/env bash
# Fails when an include points the wrong way between the layers, or when the
# engine's globals are used outside the engine.
#   base    lists, host link, errors, image store, boxes, intervals, clocks
#   xc      the display library and its widgets (on Xlib, Xt and Motif): base only
#   engine  engine state, stroke work, main window: base, xc and each other
#   host    the sorbane peers: base and xc, never the engine
# The base modules are the ones the top CMakeLists.txt names in DAB_BASE_MODULES.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top" || exit 1

base=$(sed -n '/^set(DAB_BASE_MODULES/,/)/p' CMakeLists.txt | tr -s ' ()\n' '\n' | grep / )
[ -n "$base" ] || { echo "check-layers: DAB_BASE_MODULES not found in CMakeLists.txt" >&2; exit 1; }

# Layer of a path under the project's root.
layer() {
  case "$1" in
    core/Bytes.h | core/Pool.h) echo base; return ;;
    xc/*) echo xc; return ;;
    host/*) echo host; return ;;
    app/*) echo app; return ;;
    tests/xc/*) echo tests-xc; return ;;
    tests/e2e/*) echo tests-e2e; return ;;
    tests/* | bench/* | cmake/*) echo other; return ;;
  esac
  local m=${1%.*}
  if grep -qxF "$m" <<<"$base"; then echo base; else echo engine; fi
}

# Layers each layer may include.
allowed() {
  case "$1" in
    base) echo "base" ;;
    xc) echo "base xc" ;;
    engine) echo "base xc engine" ;;
    host) echo "base xc host" ;;
    app) echo "base xc engine" ;;
    tests-xc) echo "base xc other tests-xc" ;;
    tests-e2e) echo "base host other tests-e2e" ;;
    *) echo "base xc engine host other tests-xc tests-e2e" ;;
  esac
}

fail=0
files=$(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||')
for f in $files; do
  from=$(layer "$f")
  ok=" $(allowed "$from") "
  while IFS= read -r inc; do
    [ -n "$inc" ] || continue
    [ -f "$inc" ] || inc=$(dirname "$f")/$inc # a neighbour included by its bare name
    [ -f "$inc" ] || continue
    to=$(layer "$inc")
    if [[ $ok != *" $to "* ]]; then
      echo "check-layers: $f ($from) includes $inc ($to)" >&2
      fail=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f")
done

# The engine's record and the link's descriptors belong to the engine, stroke
# work, the main window's Interface and start-up; widgets take what they need
# through arguments and resources.
owners='^(core/Dabstone[A-Za-z]*|core/Appli|brush/(Work|Undo|Refresh|Pipette)|ui/Interface|app/main)\.(cpp|h)$'
for f in $files; do
  case "$f" in tests/* | bench/*) continue ;; esac
  [[ $f =~ $owners ]] && continue
  # core/Dabstone.h declares the record and the link's descriptors.
  hits=$(grep -nE '\bG_dabstone\b|#[[:space:]]*include[[:space:]]*"core/Dabstone\.h"' "$f" | head -3)
  if [ -n "$hits" ]; then
    echo "check-layers: $f uses the engine's globals:" >&2
    echo "$hits" >&2
    fail=1
  fi
done

[ $fail -eq 0 ] && echo "check-layers: ok"
exit $fail
