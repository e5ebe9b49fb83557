#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded number
# of runs on its seed corpus (tests/fuzz/corpus_<target>, made by the target's
# seed script when there is one). A crash or sanitizer report fails.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${DAB_FUZZ_RUNS:-20000}
# A fixed seed makes a run repeatable; DAB_FUZZ_SEED=0 explores afresh.
seed=${DAB_FUZZ_SEED:-1}
"$top/scripts/build.sh" "$top/build-fuzz" -DDABSTONE_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ || exit 1
fail=0
for bin in "$top"/build-fuzz/tests/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus="$top/build-fuzz/corpus_$name"
  rm -rf "$corpus"; mkdir -p "$corpus"
  [ -d "$top/tests/fuzz/corpus_$name" ] && cp -r "$top/tests/fuzz/corpus_$name/." "$corpus/"
  [ -x "$top/tests/fuzz/seed_$name.sh" ] && "$top/tests/fuzz/seed_$name.sh" "$corpus"
  # The engine target replays whole sessions: each run costs far more.
  n=$runs
  [ "$name" = fuzz_engine ] && n=$((runs / 10))
  if ! (cd "$top/build-fuzz" && "$bin" -seed="$seed" -runs="$n" -timeout=60 -max_len=65536 "$corpus" >"$top/build-fuzz/$name.log" 2>&1); then
    echo "fuzz: $name failed, see build-fuzz/$name.log" >&2
    tail -30 "$top/build-fuzz/$name.log" >&2
    fail=1
  else
    echo "fuzz: $name passed $n runs"
  fi
done
exit $fail
