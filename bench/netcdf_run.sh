#!/usr/bin/env bash
# The netCDF extraction against the same extraction with xarray: a CF file
# of a daily 0.05-degree grid over a 30 x 20 degree box (bench/netcdf_make.py,
# about 1 GB for a year), 10,000 and 100,000 sites, new files and files
# replaced; each tool's whole process timed with /usr/bin/time in turns
# (RUNS pairs), its wall time and peak memory printed, and the two tools'
# files compared. Then the file system's own cost of replacing those
# files (bench/replace_files), the import alone into /dev/shm (its own
# time, the disk's left out), and the peak memory of the extraction on a
# grid of 90 days against 365, which the window of days keeps the same.
#
# usage: bench/netcdf_run.sh [DATA_DIR] [RUNS]   (needs python3-xarray, python3-netcdf4)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
data=${1:-/tmp/siteprep-netcdf-bench}
runs=${2:-3}
cmake -S "$src" -B "$src/build-bench" -DSITEPREP_TESTS=OFF -DSITEPREP_BENCH=ON >/dev/null
cmake --build "$src/build-bench" -j2 --target siteprep-import replace_files >/dev/null
import=$src/build-bench/siteprep-import
/usr/bin/python3 "$src/bench/netcdf_make.py" "$data" 365 10000 100000
/usr/bin/python3 "$src/bench/netcdf_make.py" "$data" 90
cd "$data"

# One timed run: its wall seconds and peak MB.
timed() {
  /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>run.err || { cat run.err; exit 1; }
  awk '{ printf "%8.2f s %8.0f MB\n", $1, $2 / 1024 }' time.txt
}

# Removing many files makes this machine's disk (mounted with discard)
# busy for a while: done only between the cases, then waited out.
settle() { rm -rf "$@"; sync; sleep 20; }
# Each size twice: new files, each run into a directory of its own; then
# the files of the last of those replaced (--force for the import, in
# place for xarray).
ours() { timed "$import" netcdf --sites "sites_$1.txt" --tmax tmax --tmin tmin --prcp prcp \
  -o "$2" --force grid_365.nc; }
theirs() { timed /usr/bin/python3 "$src/bench/netcdf_xarray.py" grid_365.nc "sites_$1.txt" "$2"; }
for n in 10000 100000; do
  settle "ours_$n" "xarray_$n" new_*
  echo "== $n sites, a year, new files (wall, peak), in turns"
  for ((r = 0; r < runs; ++r)); do
    printf 'siteprep-import %s' "$(ours "$n" "new_ours_$r")"
    printf '   xarray %s\n' "$(theirs "$n" "new_xarray_$r")"
  done
  mv "new_ours_$((runs - 1))" "ours_$n"
  mv "new_xarray_$((runs - 1))" "xarray_$n"
  echo "== $n sites, a year, replacing files (wall, peak), in turns"
  for ((r = 0; r < runs; ++r)); do
    printf 'siteprep-import %s' "$(ours "$n" "ours_$n")"
    printf '   xarray %s\n' "$(theirs "$n" "xarray_$n")"
  done
  # The same daily files but for sites midway between two cells, where
  # the two tools may break the tie each their way.
  echo "files that differ: $(diff -rq "ours_$n" "xarray_$n" | wc -l) of $n"
done
settle new_*
# The file system's own share: the import's 10,000 files written again,
# nothing computed, renamed over and in place.
echo "== the file system alone: the 10,000 files written again"
"$src/build-bench/bench/replace_files" ours_10000 2 "$runs"
# The import's own time, without a disk's: into a memory file system.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  echo "== 10000 sites into /dev/shm, replacing"
  shm=$(mktemp -d /dev/shm/siteprep-bench.XXXXXX)
  for ((r = 0; r <= runs; ++r)); do ours 10000 "$shm"; done
  rm -rf "$shm"
fi
echo "== peak memory, 100,000 sites: 90 days, then 365"
timed "$import" netcdf --sites sites_100000.txt --tmax tmax --tmin tmin --prcp prcp \
  -o ours_90 --force grid_90.nc
timed "$import" netcdf --sites sites_100000.txt --tmax tmax --tmin tmin --prcp prcp \
  -o ours_100000 --force grid_365.nc
