#!/usr/bin/env bash
# The quick start's build (the two tools, no tests) from a fresh build
# directory, with the unity batches and without them, taken in turns: the
# wall time and the compilers' CPU time of each build, as medians with
# min-max, and the translation units that take the most CPU in the last
# build with the batches, from a compiler launcher that logs each compile.
#
# usage: bench/build_time.sh [RUNS [TOP]]   (default: 3 runs, the top 12 units)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
top=${2:-12}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The launcher: runs the compiler and appends its user+sys seconds, wall
# seconds and object file to the log named by BUILD_TIME_LOG.
cat > "$work/launch" <<'EOF'
#!/usr/bin/env bash
start=$EPOCHREALTIME
"$@"
rc=$?
end=$EPOCHREALTIME
times > "$BUILD_TIME_LOG.$$" # in this shell: the compiler's user and sys time
cpu=$(sed -n 2p "$BUILD_TIME_LOG.$$" | awk '{
  split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.2f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')
rm -f "$BUILD_TIME_LOG.$$"
object=unknown
while [ $# -gt 1 ]; do [ "$1" = -o ] && object=$2; shift; done
echo "$cpu $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') $object" >> "$BUILD_TIME_LOG"
exit $rc
EOF
chmod +x "$work/launch"

# One build in a fresh directory; prints "wall cpu" in seconds.
build() {
  local dir=$work/build-$1 log=$work/$1.log
  shift
  rm -rf "$dir" "$log"
  cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER_LAUNCHER="$work/launch" "$@" >/dev/null
  local start=$EPOCHREALTIME
  BUILD_TIME_LOG=$log cmake --build "$dir" -j2 --target siteprep siteprep-import >/dev/null
  local end=$EPOCHREALTIME
  awk -v wall="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" '{ cpu += $1 } END { printf "%.1f %.1f\n", wall, cpu }' "$log"
}

# Median and min-max of the numbers on standard input.
summary() {
  sort -n | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%7.1f  %5.1f-%-5.1f", m, v[1], v[NR] }'
}

: > "$work/unity.times"
: > "$work/single.times"
for _ in $(seq "$runs"); do
  build unity -DSITEPREP_UNITY=ON >> "$work/unity.times"
  build single -DSITEPREP_UNITY=OFF >> "$work/single.times"
done

echo "quick start build, $runs runs each, taken in turns (seconds: median, min-max)"
printf '%-22s %-20s %-20s\n' "" "wall" "compilers' CPU"
for kind in unity single; do
  printf '%-22s %s  %s\n' "$([ $kind = unity ] && echo 'unity batches' || echo 'unit by unit')" \
    "$(cut -d' ' -f1 "$work/$kind.times" | summary)" "$(cut -d' ' -f2 "$work/$kind.times" | summary)"
done
echo
echo "the $top units with the most CPU (unity batches, last run): CPU s, wall s, object"
sort -rn "$work/unity.log" | head -n "$top" | sed "s|$work/build-unity/||"
