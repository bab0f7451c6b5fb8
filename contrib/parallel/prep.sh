#!/bin/sh
# The site list in N parts, J at a time, with GNU parallel on this machine
# (or, with parallel's -S in $PARALLEL, on hosts that share the file system):
#
#   contrib/parallel/prep.sh [--monthly] [--] SITE_LIST N J [SITEPREP OPTIONS...]
#
# Run it from the directory the site names resolve from. Part K runs as task
# K of the Slurm recipe does (contrib/slurm/prep.sbatch, which it runs), in
# run/LIST/K, with the same refusals (--monthly: each part's months too);
# then contrib/collect.sh SITE_LIST makes one summary, months' table, failure
# list, log and report page of the run. The status is parallel's: the number
# of parts in which a site was not prepared.
set -eu
usage='usage: prep.sh [--monthly] [--] SITE_LIST N J [SITEPREP OPTIONS...]'
wrong() {
  printf 'prep.sh: %s\n%s\n' "$1" "$usage" >&2
  exit 2
}
monthly=''
[ "${1-}" != --monthly ] || { monthly=--monthly && shift; }
case ${1-} in
--) shift ;;
-*) wrong "unknown option '$1' (a list whose name begins with - goes after --)" ;;
esac
[ $# -ge 3 ] || wrong "a site list, a part count and a job count are needed"
list=$1 n=$2 j=$3
shift 3
for count in "part count:$n" "job count:$j"; do
  case ${count#*:} in '' | 0* | *[!0-9]*)
    wrong "the ${count%%:*} '${count#*:}' is not a positive whole number such as 16" ;;
  esac
done
runner=$(dirname "$0")/../slurm/prep.sbatch
export SITEPREP_RECIPE=prep.sh
# The run recorded, or refused with nothing touched, before any part starts.
sh "$runner" --setup --parts "$n" $monthly -- "$list" "$@"

# Each word reaches a part as the value of an input source of its own, never
# as part of parallel's command, where parallel would replace {}, {.} or
# {= ... =} in it; the '=' before it keeps a word ':::' from reading as one.
words=$#
for word in "$runner" "$n" "$monthly" "$list" "$@"; do set -- "$@" ::: "=$word"; done
shift "$words"
slots='' i=1
while [ "$i" -le $(($# / 2)) ]; do
  i=$((i + 1)) && slots="$slots {$i}"
done
# shellcheck disable=SC1083,SC2016,SC2086 # {1} and the script are for parallel and sh
parallel --null -j "$j" --will-cite -q sh -c '
  k=$1 && shift && words=$#
  for word; do set -- "$@" "${word#=}"; done
  shift "$words" && runner=$1 n=$2 monthly=$3 list=$4 && shift 4
  exec sh "$runner" --parts "$n" --task "$k" $monthly -- "$list" "$@"
' sh {1} $slots ::: $(seq 1 "$n") "$@"
