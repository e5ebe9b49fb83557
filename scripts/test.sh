#!/usr/bin/env bash
# Installs, checks the layers, builds, runs every test under one Xvfb, then the
# unit tests again with AddressSanitizer + UndefinedBehaviorSanitizer, then the
# fuzz targets.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh" || exit 1
. "$top/scripts/xvfb.sh"
dab_start_xvfb
fail=0

"$top/scripts/check-layers.sh" || fail=1
"$top/scripts/build.sh" "$top/build" || exit 1
(cd "$top/build" && ctest --output-on-failure -j2 --timeout 600) || fail=1

"$top/scripts/build.sh" "$top/build-asan" -DDABSTONE_SANITIZE=ON -DDABSTONE_BENCH=OFF || exit 1
(cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j2 -L unit --timeout 600) || fail=1

"$top/scripts/fuzz.sh" || fail=1

[ $fail -eq 0 ] && echo "test.sh: all passed" || echo "test.sh: FAILURES" >&2
exit $fail
