#!/usr/bin/env bash
# Whole runs of the tool against the literal baseline (bench/literal.cpp)
# on every shape of daily lines users have, 20 sites x 100 years each, and
# the small-sites batch; each run first checks that both leave the same
# files.
#
# usage: bench/run_shapes.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
cmake -S . -B build-bench -DSITEPREP_TESTS=OFF -DSITEPREP_BENCH=ON >/dev/null
cmake --build build-bench -j2 >/dev/null
for shape in compact real varied fixed ten layouts; do
  build-bench/bench/whole_run build-bench/bench/literal build-bench/siteprep 20 100 "$runs" 0 "$shape"
done
build-bench/bench/whole_run build-bench/bench/literal build-bench/siteprep 2000 10 "$runs" 100
