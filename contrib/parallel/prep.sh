#!/bin/sh
# The site list in N parts, J at a time, with GNU parallel on this machine
# (or, with parallel's -S, on hosts that share the file system):
#
#   contrib/parallel/prep.sh SITE_LIST N J [SITEPREP OPTIONS...]
#
# Run it from the directory the site names resolve from. Part K runs in the
# scratch directory run/K and leaves there log.txt and failed.txt, as the
# Slurm script does; collect them the same way. The status is parallel's:
# the number of parts in which a site failed.
set -eu
list=${1:?usage: prep.sh SITE_LIST N J [OPTIONS...]}
n=${2:?N} j=${3:?J}
shift 3
export SITEPREP="${SITEPREP:-siteprep}" SITEPREP_RUN="${SITEPREP_RUN:-run}"
# -q: every word reaches the shell as it is, names with blanks too.
seq 1 "$n" | parallel -j "$j" --will-cite -q sh -c '
  k=$1 n=$2 list=$3; shift 3
  mkdir -p "$SITEPREP_RUN/$k" &&
  exec "$SITEPREP" --part "$k/$n" --scratch "$SITEPREP_RUN/$k" --keep-going --keep-soils \
    --failed "$SITEPREP_RUN/$k/failed.txt" --no-progress "$@" "$list" > "$SITEPREP_RUN/$k/log.txt"
' sh {} "$n" "$list" "$@"
