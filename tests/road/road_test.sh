#!/usr/bin/env bash
# The README's road ("From coordinates to a batch") run as written: its sh
# blocks, in order, as one script in a fresh directory that holds the
# clone's examples/, with the built siteprep and siteprep-import first on
# PATH. The downloads reach services.py on the loopback address through a
# curl that rewrites https://HOST/ to it (and a sleep that does not wait out
# the rate limits); the server is stopped by its process id. Then the batch
# is checked: every service asked, each daily file once, the site list's
# places the points' own, the DEM's elevations, each plot's station filled
# from its donors and recorded, a strict check and the run.
#
# usage: road_test.sh SITEPREP SITEPREP_IMPORT SOURCE_DIR
set -euo pipefail
siteprep=$(realpath "$1") import=$(realpath "$2") src=$(realpath "$3")
fail() { echo "FAILED: $*"; exit 1; }
"$import" soil --help | grep -q 'This build reads no JSON' &&
  { echo "SKIPPED: siteprep-import was built without nlohmann-json"; exit 77; }
for tool in curl gunzip python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
real_curl=$(command -v curl)
python=$(command -v /usr/bin/python3 || command -v python3)

work=$(mktemp -d)
server=
stop() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap stop EXIT
"$python" "$src/tests/road/services.py" "$work/port" "$work/requests" &
server=$!
for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.1; done
[ -f "$work/port" ] || fail "the stand-in services did not start"
port=$(cat "$work/port")

mkdir "$work/bin" "$work/clone"
ln -s "$siteprep" "$work/bin/siteprep"
ln -s "$import" "$work/bin/siteprep-import"
cat >"$work/bin/curl" <<EOF
#!/bin/sh
for a; do
  case \$a in https://*) a="http://127.0.0.1:$port/\${a#https://}" ;; esac
  set -- "\$@" "\$a"; shift
done
exec "$real_curl" "\$@"
EOF
printf '#!/bin/sh\n' >"$work/bin/sleep"
chmod +x "$work/bin/curl" "$work/bin/sleep"
ln -s "$src/examples" "$work/clone/examples"

# The section's sh blocks, their list indentation taken off.
awk '/^## / { inside = ($0 == "## From coordinates to a batch") }
     inside && /^ *```sh$/ { block = 1; indent = index($0, "`") - 1; next }
     block && /^ *```$/ { block = 0; next }
     block { print substr($0, indent + 1) }' "$src/README.md" >"$work/road.sh"
[ -s "$work/road.sh" ] || fail "no sh blocks in the README's road"
(cd "$work/clone" && PATH="$work/bin:$PATH" HOME="$work" sh -e "$work/road.sh") >"$work/out" 2>&1 ||
  { cat "$work/out"; fail "the road stopped (above)"; }
road=$work/clone/road batch=$work/clone/road/batch

# Every service was asked (a command that fell back to a file at hand would
# not), and each daily file of the plan once.
for service in power.larc.nasa.gov rest.isric.org sdmdataaccess ghcnd-stations.txt \
  ghcnd-inventory.txt ghcn/daily/all skadi/N47; do
  grep -q "$service" "$work/requests" || fail "no request to $service"
done
grep '\.dly$' "$work/requests" | sort | uniq -d | grep . && fail "a daily file fetched twice"

# The site list: a line a point, at the point's own place, at the DEM's height.
awk -F, 'NR > 1 { print $1, $2, $3 }' "$road/points.csv" >"$work/places"
awk '{ print $1, $2, $3 }' "$batch/sites.txt" | diff "$work/places" - ||
  fail "the site list's places are not the points'"
awk '{ h = -1100 + 1200 * ($2 - 47) + 1200 * ($3 + 123)
       if ($10 - h > 0.05 || h - $10 > 0.05) { print $1, $10, h; bad = 1 } }
     END { exit bad }' "$batch/sites.txt" || fail "elevations not the DEM's"

# Each plot's station's gaps, counted from its .dly within the road's years
# (a flagged or -9999 value on a day of the month), each filled and
# recorded, the first from its chosen donors.
gaps() {
  awk '{ y = substr($0, 12, 4) + 0; m = substr($0, 16, 2) + 0; e = substr($0, 18, 4)
         if (y < 1991 || y > 2020 || e == "SNOW") next
         n = (m == 2) ? 28 + (y % 4 == 0) : (m == 4 || m == 6 || m == 9 || m == 11) ? 30 : 31
         for (d = 0; d < n; d++) {
           v = substr($0, 22 + 8 * d, 8)
           if (substr(v, 1, 5) == "-9999" || substr(v, 7, 1) != " ") count[e]++
         }
       }
       END { print "tmax", count["TMAX"] + 0, "tmin", count["TMIN"] + 0, "prcp", count["PRCP"] + 0 }' "$1"
}
tr -d '\r' <"$road/chosen.csv" | awk -F, 'NR > 1 { print $1, $5, $9 }' >"$work/chosen"
[ "$(awk '{ print $1 }' "$work/chosen" | paste -sd ' ')" = "plot1 plot2 plot3" ] ||
  fail "chosen.csv lacks a plot"
while read -r plot station donors; do
  record=$batch/$plot.fill.csv
  filled=$(awk -F, 'NR > 1 { count[$2]++ } END { print "tmax", count["tmax"] + 0, "tmin", count["tmin"] + 0, "prcp", count["prcp"] + 0 }' "$record")
  [ "$(gaps "$road/$station.dly")" = "$filled" ] ||
    fail "$plot: the record's filled days ($filled) are not $station's gaps ($(gaps "$road/$station.dly"))"
  grep -q -- '-99\.99' "$batch/$plot.wth" && fail "$plot.wth still has a missing value"
  [ -f "$batch/$plot.fill-skill.csv" ] || fail "no skill table beside $plot's filled file"
  grep -q "${donors%% *}" "$record" || fail "$plot: nothing filled from its first donor"
  awk -F, -v p="$plot" '$1 == p { print $9, $10, $11 }' "$road/stations.csv" | grep -qx '0 0 0' ||
    fail "the stations table still counts $plot's gaps"
done <"$work/chosen"

# The run's files, and a strict check of the batch as it was left.
[ -s "$batch/soils.in" ] || fail "no soils.in"
for site in $(awk '{ print $1 }' "$batch/sites.txt"); do
  grep -q "Created $site.sfp from the template" "$batch/siteprep.log" || fail "$site.sfp not created"
  lat=$(awk -v s="$site" '$1 == s { print $2 }' "$batch/sites.txt")
  grep -q "^ *$lat.*SITLAT" "$batch/$site.sfp" || fail "$site.sfp lacks its latitude"
done
(cd "$batch" && "$siteprep" --check --strict --texture-keys sites.txt) >"$work/check" 2>&1 ||
  { cat "$work/check"; fail "the strict check of the batch"; }
tail -n 1 "$work/check" | grep -qx '3 sites checked, 0 problems, 0 warnings' ||
  fail "check: $(tail -n 1 "$work/check")"
echo "the road ran: $(wc -l <"$work/requests") downloads, $(wc -l <"$batch/sites.txt") sites"
