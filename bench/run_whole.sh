#!/usr/bin/env bash
# Builds the baseline (a commit before the throughput work, or BASELINE_BIN)
# and this tree, then times whole runs of both on the two batch shapes.
#
# usage: bench/run_whole.sh [BASELINE_REV]   (default: the commit before --jobs)
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-efa87ba}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "${BASELINE_BIN:-}" ]; then
  git worktree add -q --detach "$work/baseline" "$rev"
  cmake -S "$work/baseline" -B "$work/baseline-build" -DSITEPREP_TESTS=OFF >/dev/null
  cmake --build "$work/baseline-build" -j2 >/dev/null
  cp "$work/baseline-build/siteprep" "$work/siteprep-baseline"
  git worktree remove --force "$work/baseline"
  BASELINE_BIN=$work/siteprep-baseline
fi
cmake -S . -B build-bench -DSITEPREP_TESTS=OFF -DSITEPREP_BENCH=ON >/dev/null
cmake --build build-bench -j2 >/dev/null
# The daily-reader benchmark's batch, and many small sites with 5 KB site files.
build-bench/bench/whole_run "$BASELINE_BIN" build-bench/siteprep 20 100 15
build-bench/bench/whole_run "$BASELINE_BIN" build-bench/siteprep 2000 10 5 100
# Peak memory with ten times the sites, and with the most years a file may hold.
build-bench/bench/whole_run "$BASELINE_BIN" build-bench/siteprep 200 100 3
build-bench/bench/whole_run "$BASELINE_BIN" build-bench/siteprep 20 500 3
