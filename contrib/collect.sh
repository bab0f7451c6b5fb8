#!/bin/sh
# Collects a run in parts (contrib/slurm/prep.sbatch, contrib/parallel/prep.sh)
# into one of each, in run/LIST:
#
#   contrib/collect.sh [--] SITE_LIST
#
#   failed.txt   the sites of the list that were not prepared, as their
#                list lines: a site list that runs just them again
#   summary.csv  the parts' statistics as one table, in the list's order
#   monthly.csv  with the recipe's --monthly, the parts' months as one table
#   log.txt      the parts' logs, part by part
#   report.html  a page of every site of the list, made by siteprep --check
#                with the run's options (which reads the daily files again;
#                its lines: check.txt)
#
# Run it where the recipe ran, once every part has ended: a part that has
# not (no run/LIST/K/status) is named and nothing is written. The status is
# 0 when every site was prepared, 1 when some were not or a part has not
# ended, 2 for a wrong command line. SITEPREP and SITEPREP_RUN as for the
# recipes.
set -eu
usage='usage: collect.sh [--] SITE_LIST'
say() { printf 'collect.sh: %s\n' "$1" >&2; }
case ${1-} in
--) shift ;;
-h | --help) echo "$usage" && exit 0 ;;
-*)
  say "unknown option '$1' (a list whose name begins with - goes after --)"
  set --
  ;;
esac
[ $# = 1 ] || { echo "$usage" >&2 && exit 2; }
list=$1
base=${list##*/} && stem=${base%.*}
case $stem in '' | . | ..) stem=$base ;; esac
run=${SITEPREP_RUN:-run}/$stem

[ -f "$run/parts" ] || { say "$run holds no run of $list in parts" && exit 1; }
cmp -s -- "$list" "$run/list.txt" ||
  { say "$list is not the list that $run ran ($run/list.txt)" && exit 1; }
n=$(cat "$run/parts")
# The options the parts ran with (none for a run begun before they were
# recorded), the recipe's --monthly first.
options=''
[ ! -f "$run/options" ] || options=$(cat "$run/options")
eval "set -- $options"
tables=summary.csv
[ "${1-}" != --monthly ] || { tables='summary.csv monthly.csv' && shift; }
case $n in '' | 0* | *[!0-9]*) say "$run/parts does not hold a part count" && exit 1 ;; esac
k=1 open=''
while [ "$k" -le "$n" ]; do
  if [ ! -f "$run/$k/status" ]; then
    open="$open $k"
  elif [ ! -f "$run/$k/failed.txt" ]; then
    say "part $k ended with status $(cat "$run/$k/status") and no failure list: see $run/$k/log.txt"
    open="$open $k"
  fi
  [ ! -e "$run/$k/XXXX.sfp" ] ||
    say "$run/$k/XXXX.sfp is left: it may hold the only intact copy of a site file (see $run/$k/log.txt)"
  k=$((k + 1))
done
[ -z "$open" ] || {
  say "of the $n parts of $run, these have not ended:$open; wait for them or run them again \
(sbatch --array=K contrib/slurm/prep.sbatch $list): nothing is written"
  exit 1
}

# Written beside the results, then renamed over them.
new=$run/.collect.$$
mkdir "$new"
trap 'rm -rf "$new"' EXIT
: >"$new/failed.txt" && : >"$new/log.txt"
k=1 unsummed=''
while [ "$k" -le "$n" ]; do
  cat "$run/$k/failed.txt" >>"$new/failed.txt"
  [ ! -f "$run/$k/log.txt" ] || cat "$run/$k/log.txt" >>"$new/log.txt"
  for table in $tables; do
    part=$run/$k/$table
    if [ ! -f "$part" ]; then
      case $unsummed in *" $k") ;; *) unsummed="$unsummed $k" ;; esac
    elif [ ! -f "$new/$table" ]; then
      cp "$part" "$new/$table" && head -n 1 "$part" >"$new/$table.header"
    elif head -n 1 "$part" | cmp -s - "$new/$table.header"; then
      tail -n +2 "$part" >>"$new/$table"
    else
      say "$part has other columns than the parts before it: nothing is written" && exit 1
    fi
  done
  k=$((k + 1))
done
"${SITEPREP:-siteprep}" --check "$@" --no-progress --scratch "$new" --report "$new/report.html" \
  -- "$list" >"$new/check.txt" || :
[ -f "$new/report.html" ] ||
  { say "siteprep --check made no report page ($(tail -n 1 "$new/check.txt")): nothing is written" && exit 1; }
for file in failed.txt summary.csv monthly.csv log.txt report.html check.txt; do
  if [ -f "$new/$file" ]; then mv -f "$new/$file" "$run/$file"; else rm -f "$run/$file"; fi
done

[ -z "$unsummed" ] || say "parts$unsummed wrote no summary or months' table (see their logs): \
their sites are not in the run's $tables"
left=$(wc -l <"$run/failed.txt" | tr -d ' ')
case $left in
0) echo "$run: every site of $list was prepared; $tables, report.html, log.txt" && exit 0 ;;
1) left='1 site was' ;;
*) left="$left sites were" ;;
esac
echo "$run: $left not prepared; $run/failed.txt is a site list of them, to run again"
exit 1
