#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60) on its seed corpus and the kept
# regression inputs. A crash, or an input that takes over 10 s, leaves its
# input in build-fuzz/crash-* (timeout-*); keep it
# under fuzz/regressions/TARGET/ once fixed.
#
# usage: fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ cmake -S . -B build-fuzz -DSITEPREP_FUZZ=ON -DSITEPREP_SANITIZE=ON \
  -DSITEPREP_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 >/dev/null
for target in site_line daily_reader keyword_pass import inventory; do
  work=build-fuzz/corpus-$target
  mkdir -p "$work" "fuzz/regressions/$target"
  # The kept crashing inputs first: each must now pass.
  if [ -n "$(ls -A "fuzz/regressions/$target")" ]; then
    "build-fuzz/fuzz/fuzz_$target" "fuzz/regressions/$target"/* 2>&1 | tail -1
  fi
  log=build-fuzz/$target.log
  if ! "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -artifact_prefix=build-fuzz/ -print_final_stats=1 \
    "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "$target: the fuzzer found a failure:"
    tail -n 40 "$log"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$log" | sed "s/^/$target: /"
done
