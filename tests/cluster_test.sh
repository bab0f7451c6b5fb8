#!/usr/bin/env bash
# The shipped many-machines recipes, run for real on a batch of 40 sites
# with one failing site: the Slurm job-array script on a one-node cluster
# started here (munged, slurmctld, slurmd, stopped again by their process
# ids), or the GNU parallel script on this machine. Every site file and kept
# soil file (beside it) must equal a one-process run's, the collected failure lists must
# name the failing site, and running them again after the fix must complete
# the batch.
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
  done > "$1/sites.txt"
}
fail() { echo "FAILED: $*"; exit 1; }

# The reference: one process over the whole list, then its failures again
# after the fix.
make_batch "$work/one"
(cd "$work/one" && "$siteprep" --keep-going --keep-soils --failed failed.txt --no-progress \
  sites.txt > log.txt) && fail "the one-process run did not report the failing site"
[ "$(cut -d' ' -f1 "$work/one/failed.txt")" = data/site17 ] || fail "one-process failure list"

make_batch "$work/many"
cd "$work/many"
if [ "$mode" = slurm ]; then
  conf=$work/slurm
  mkdir -p "$conf/state" "$conf/spool" "$conf/munge"
  chmod 755 "$conf/munge"
  head -c 1024 /dev/urandom > "$conf/munge/munge.key"
  chmod 400 "$conf/munge/munge.key"
  munged -F -f --socket="$conf/munge/sock" --key-file="$conf/munge/munge.key" \
    --log-file="$conf/munge/log" --pid-file="$conf/munge/pid" --seed-file="$conf/munge/seed" \
    > "$conf/munged.out" 2>&1 &
  pids+=($!)
  host=$(hostname -s) port=$((20000 + RANDOM % 20000))
  cat > "$conf/slurm.conf" <<EOF
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
  slurmctld -D -f "$SLURM_CONF" > "$conf/slurmctld.out" 2>&1 &
  pids+=($!)
  slurmd -D -f "$SLURM_CONF" > "$conf/slurmd.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    sinfo -h -o %t 2>/dev/null | grep -q idle && break
    sleep 0.3
  done
  sinfo -h -o %t | grep -q idle || { cat "$conf"/*.log; fail "the Slurm node did not come up"; }
  run_parts() { SITEPREP=$siteprep SITEPREP_RUN=$3 timeout 300 sbatch --wait --array=1-$2 \
    "$src/contrib/slurm/prep.sbatch" "$1" > /dev/null || true; }
else
  run_parts() { SITEPREP=$siteprep SITEPREP_RUN=$3 sh "$src/contrib/parallel/prep.sh" "$1" "$2" 2 ||
    true; }
fi

# The batch in 4 parts; then the collected failures again after the fix.
run_parts sites.txt 4 run
cat run/*/log.txt > all.log
cat run/*/failed.txt > failed.txt
[ "$(cut -d' ' -f1 failed.txt)" = data/site17 ] || fail "collected failures: $(cat failed.txt)"
grep -q '^sites.txt line 17: data/site17: ' all.log || fail "the log does not name line 17"

same_files() { # the site files and kept soil files (beside them) of the two batches
  for i in $(seq 1 40); do
    cmp -s "$work/one/data/site$i.sfp" "data/site$i.sfp" || fail "$1: data/site$i.sfp differs"
    if [ -e "$work/one/data/site$i.soils.in" ] || [ -e "data/site$i.soils.in" ]; then
      cmp -s "$work/one/data/site$i.soils.in" "data/site$i.soils.in" ||
        fail "$1: data/site$i.soils.in differs"
    fi
  done
}
same_files "the parts"
[ ! -e data/site17.soils.in ] || fail "a soil file kept for the failed site"

cp "$src/examples/plot1.wth" data/site17.wth
cp "$src/examples/plot1.wth" "$work/one/data/site17.wth"
(cd "$work/one" && "$siteprep" --keep-soils --no-progress failed.txt > again.txt) ||
  fail "the one-process rerun failed"
run_parts failed.txt 2 rerun
cat rerun/*/failed.txt > still.txt
[ ! -s still.txt ] || fail "sites failed again: $(cat still.txt)"
same_files "after the rerun"
[ -e data/site17.soils.in ] || fail "no soil file kept for the site run again"
echo "the $mode recipe: 40 sites in 4 parts, the failed site run again, files as one process's"
