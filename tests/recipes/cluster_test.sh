#!/usr/bin/env bash
# The shipped many-machines recipes, run for real on a batch of 40 sites
# with one failing site: the Slurm job-array script on a one-node cluster
# started here (munged, slurmctld, slurmd, stopped again by their process
# ids), or the GNU parallel script on this machine; then contrib/collect.sh.
# The list is named '-{} sites.txt' (after --, and nothing for parallel to
# replace), the run made with options that change the statistics and with
# the months' table. Every site file and kept soil file must equal a
# one-process run's, and so must the collected failure list, summary, months'
# table and (made by a check with the same options) report page; each part's
# results stay in run/LIST/K; a task submitted again runs its own part; the
# rerun of the failures after the fix completes the batch in a directory of
# its own; and what the recipes refuse touches nothing.
#
# usage: cluster_test.sh slurm|parallel SITEPREP SOURCE_DIR
# Exit status 77 (skipped) where the recipe's tools are not here.
set -euo pipefail
mode=$1 siteprep=$(realpath "$2") src=$(realpath "$3")
skip() { echo "SKIPPED: $*"; exit 77; }

if [ "$mode" = slurm ]; then
  for tool in munged slurmctld slurmd sbatch sinfo; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (Debian: slurm-wlm, munge)"
  done
  [ "$(id -u)" = 0 ] || skip "a one-node Slurm cluster is started as root"
else
  command -v parallel >/dev/null || skip "GNU parallel is not installed (Debian: parallel)"
fi

work=$(mktemp -d)
pids=()
stop_daemons() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$work"
}
trap stop_daemons EXIT

list='-{} sites.txt' run='run/-{} sites'
# 40 sites under data/, named relative to the batch directory; site 17 has
# no daily file until the fix.
make_batch() {
  mkdir -p "$1/data"
  local values
  values=$(head -1 "$src/examples/sites.txt" | cut -d' ' -f2-)
  for i in $(seq 1 40); do
    cp "$src/examples/plot1.sfp" "$1/data/site$i.sfp"
    [ "$i" = 17 ] || cp "$src/examples/plot1.wth" "$1/data/site$i.wth"
    echo "data/site$i $values"
  done >"$1/$list"
}
fail() { echo "FAILED: $*"; exit 1; }

# The reference: one process over the whole list and its page from a check
# with the same options, then its failures again after the fix (with none).
options=(--years 2002-2004 --completeness wmo --texture-keys)
make_batch "$work/one"
(cd "$work/one" && mkdir s1 s2 && "$siteprep" --keep-going --keep-soils --scratch s1 \
  --failed failed.txt --summary summary.csv --monthly monthly.csv --no-progress \
  "${options[@]}" -- "$list" >log.txt) && fail "the one-process run did not report the failing site"
(cd "$work/one" && "$siteprep" --check --no-progress --scratch s1 --report report.html \
  "${options[@]}" -- "$list" >check.txt) || :
grep -q '^40 sites checked, 1 problem' "$work/one/check.txt" || fail "one-process check: $(tail -1 "$work/one/check.txt")"
[ "$(cut -d' ' -f1 "$work/one/failed.txt")" = data/site17 ] || fail "one-process failure list"

make_batch "$work/many"
cd "$work/many"
if [ "$mode" = slurm ]; then
  conf=$work/slurm
  mkdir -p "$conf/state" "$conf/spool" "$conf/munge"
  chmod 755 "$conf/munge"
  head -c 1024 /dev/urandom >"$conf/munge/munge.key"
  chmod 400 "$conf/munge/munge.key"
  munged -F -f --socket="$conf/munge/sock" --key-file="$conf/munge/munge.key" \
    --log-file="$conf/munge/log" --pid-file="$conf/munge/pid" --seed-file="$conf/munge/seed" \
    >"$conf/munged.out" 2>&1 &
  pids+=($!)
  host=$(hostname -s) port=$((20000 + RANDOM % 20000))
  cat >"$conf/slurm.conf" <<EOF
ClusterName=siteprep-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$conf/munge/sock
CryptoType=crypto/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$conf/state
SlurmdSpoolDir=$conf/spool
SlurmctldPidFile=$conf/slurmctld.pid
SlurmdPidFile=$conf/slurmd.pid
SlurmctldLogFile=$conf/slurmctld.log
SlurmdLogFile=$conf/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$conf/slurm.conf
  for _ in $(seq 50); do [ -S "$conf/munge/sock" ] && break; sleep 0.1; done
  slurmctld -D -f "$SLURM_CONF" >"$conf/slurmctld.out" 2>&1 &
  pids+=($!)
  slurmd -D -f "$SLURM_CONF" >"$conf/slurmd.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    sinfo -h -o %t 2>/dev/null | grep -q idle && break
    sleep 0.3
  done
  sinfo -h -o %t | grep -q idle || { cat "$conf"/*.log; fail "the Slurm node did not come up"; }
fi

export SITEPREP=$siteprep
recipe=$src/contrib/slurm/prep.sbatch
[ "$mode" = slurm ] || recipe=$src/contrib/parallel/prep.sh
# Submissions of the array ARRAY with the recipe's arguments, together: each
# argument list is one string, its words separated by '|'. task_out ARRAY K
# names the output file of that array's task K.
submit() {
  local array ids=() job
  for job; do
    array=${job%% *}
    IFS='|' read -r -a words <<<"${job#* }"
    SITEPREP_RUN=run sbatch --parsable --wait --cpus-per-task=1 --array="$array" "$recipe" \
      "${words[@]}" >"submitted.$array" 2>&1 &
    ids+=($!)
  done
  for job in "${ids[@]}"; do wait "$job" || true; done
}
task_out() { echo "siteprep-$(head -1 "submitted.$1" | cut -d';' -f1)_$2.out"; }
# The recipe's refusals: status 2, the message, nothing written. Each case:
# mode (both, slurm, parallel)|expected text|part count|job count|more
# arguments. The Slurm script runs its part 2 outside Slurm with --task 2.
start() { # PARTS JOBS ARGS...
  local parts=$1 jobs=$2 && shift 2
  if [ "$mode" = slurm ]; then
    sh "$recipe" ${parts:+--parts "$parts"} --task 2 -- "$list" "$@"
  else sh "$recipe" -- "$list" "$parts" "$jobs" "$@"; fi
}
refusals() {
  local case want parts jobs more
  while IFS='|' read -r case want parts jobs more; do
    [ "$case" = both ] || [ "$case" = "$mode" ] || continue
    touch ../before
    # shellcheck disable=SC2086 # the more arguments are words of their own
    if start "$parts" "$jobs" $more </dev/null >out.txt 2>&1; then s=0; else s=$?; fi
    [ "$s" = 2 ] && grep -qF -- "$want" out.txt || fail "refusal ($parts $more): status $s: $(cat out.txt)"
    [ "$(find run -newer ../before 2>/dev/null | wc -l)" = 0 ] || fail "refusal ($parts $more) wrote in run/"
  done
}
refusals <<'EOF'
both|--summary=s.csv|4|2|--jobs 1 --summary=s.csv
both|--sum|4|2|--sum s.csv
both|--part|4|2|--part 1/2
both|--scratch=d|4|2|--scratch=d
both|--report|4|2|--report r.html
both|--fail=f.txt|4|2|--fail=f.txt
both|--mon|4|2|--mon m.csv
both|--check: not an option of a run|4|2|--check
both|-h: not an option of a run|4|2|-h
both|'16x' is not a positive whole number|16x|2|
both|'0' is not a positive whole number|0|2|
parallel|the job count '2x' is not a positive whole number|4|2x|
slurm|cannot tell the run's part count: give it as --parts N|||
EOF

# The batch in 4 parts. With Slurm, at the same time, a stepped array over a
# copy of the list: it cannot tell the part count, so its tasks refuse.
if [ "$mode" = slurm ]; then
  cp -- "$list" other.txt
  submit "1-4 --monthly|--|$list|$(IFS="|" && echo "${options[*]}")" "1-3:2 other.txt"
  [ ! -e run/other ] || fail "the stepped array wrote run/other"
  for task in 1 3; do
    grep -q "task $task cannot tell the run's part count" "$(task_out 1-3:2 $task)" ||
      fail "stepped array task $task: $(cat "$(task_out 1-3:2 $task)")"
  done
else
  sh "$recipe" --monthly -- "$list" 4 2 "${options[@]}" || true
fi

# Collected from the parts' own files: the one-process run's failure list,
# summary, months' table and page, and every message.
collect() { # STATUS LIST
  if sh "$src/contrib/collect.sh" -- "$2" >collect.txt 2>&1; then s=0; else s=$?; fi
  [ "$s" = "$1" ] || fail "collect.sh $2: status $s, not $1: $(cat collect.txt)"
}
collect 1 "$list"
cmp "$work/one/failed.txt" "$run/failed.txt" || fail "collected failures: $(cat "$run/failed.txt")"
for file in summary.csv monthly.csv report.html; do
  cmp "$work/one/$file" "$run/$file" || fail "collected $file"
done
grep -qF -- "$list line 17: data/site17: " "$run/log.txt" || fail "the log does not name line 17"
[ "$(grep -c 'class="site-data"' "$run/report.html")" = 40 ] || fail "report page: not 40 sites"
grep -q '<tr id="row-[0-9]*" class="bad"><td><a href="#site-[0-9]*">data/site17<' "$run/report.html" ||
  fail "report page: site 17 not shown with its problem"

same_files() { # the site files, and the kept soil files as many times, of the two batches
  for i in $(seq 1 40); do
    cmp -s "$work/one/data/site$i.sfp" "data/site$i.sfp" || fail "$1: data/site$i.sfp differs"
  done
  kept() { find "$1" -name '*.soils.in' -exec sh -c 'for f; do
    echo "${f##*/} $(cksum <"$f")"; done' sh {} + | sort; }
  [ "$(kept "$work/one")" = "$(kept .)" ] || fail "$1: kept soil files differ"
}
same_files "the parts"
[ ! -e data/site17.soils.in ] || fail "a soil file kept for the failed site"

# Another part count, a changed list or other options are refused while
# run/LIST holds a run.
refusals <<'EOF'
both|was started in 4 parts, not 8|8|2|
both|started with other options than these (run/-{} sites/options: '--monthly' '--years'|4|2|--years 2001-2004
EOF
cp -- "$list" list.bak && echo "data/site41 $(cut -d' ' -f2- list.bak | head -1)" >>"$list"
echo 'both|has changed since run/-{} sites was started|4|2|' | refusals
mv -- list.bak "$list"

cp "$src/examples/plot1.wth" data/site17.wth
cp "$src/examples/plot1.wth" "$work/one/data/site17.wth"
(cd "$work/one" && "$siteprep" --keep-soils --scratch s2 --no-progress failed.txt >again.txt) ||
  fail "the one-process rerun failed"
for k in 1 2 4; do cp "$run/$k/log.txt" "log.$k"; done
if [ "$mode" = slurm ]; then
  # Part 3 is lost: the collect step names it and writes nothing; submitted
  # again with a task 5 beside it, task 3 runs part 3 of 4, task 5 refuses.
  rm -r "$run/3"
  collect 1 "$list"
  grep -q 'these have not ended: 3;' collect.txt || fail "collect.sh without part 3: $(cat collect.txt)"
  cmp -s "$work/one/summary.csv" "$run/summary.csv" || fail "collect.sh without part 3 wrote"
  submit "3,5 --monthly|--|$list|$(IFS="|" && echo "${options[*]}")" "1-2 --|$run/failed.txt"
  [ "$(cut -d, -f1 "$run/3/summary.csv" | sed 1d | uniq | tr '\n' ' ')" = \
    "$(seq -f 'data/site%g' 21 30 | tr '\n' ' ')" ] || fail "task 3 again: $(cat "$run/3/summary.csv")"
  [ ! -e "$run/5" ] && grep -q 'task 5 is outside the 4 parts' "$(task_out 3,5 5)" ||
    fail "task 5 of 4: $(cat "$(task_out 3,5 5)")"
  collect 1 "$list"
  for file in summary.csv monthly.csv; do
    cmp -s "$work/one/$file" "$run/$file" || fail "collected $file with part 3 again"
  done
else
  sh "$recipe" -- "$run/failed.txt" 2 2 || fail "the rerun failed"
fi
# The rerun went to run/failed and left the first round's parts alone.
collect 0 "$run/failed.txt"
[ ! -s run/failed/failed.txt ] || fail "sites failed again: $(cat run/failed/failed.txt)"
for k in 1 2 4; do cmp -s "log.$k" "$run/$k/log.txt" || fail "the rerun changed part $k's log"; done
same_files "after the rerun"
echo "the $mode recipe: 40 sites in 4 parts, collected; the failed site run again; refusals"
