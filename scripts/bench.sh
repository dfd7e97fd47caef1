#!/usr/bin/env bash
# The benchmarks: builds them (Release), runs every figure on loopback, writes the JSON lines to
# docs/benchmarks.jsonl and plots the cost per service to docs/benchmarks.png.
# Firebird rows are added when the build can open firebird:// URLs and the local server starts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RBX_BENCH_BUILD:-$root/build-bench}
results=${RBX_BENCH_RESULTS:-$root/docs/benchmarks.jsonl}
plot=${RBX_BENCH_PLOT:-$root/docs/benchmarks.png}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target rbx53207-bench rbx53207-bench-pick rbx53207-server >/dev/null
bench=$build/bench/rbx53207-bench
pick=$build/bench/rbx53207-bench-pick

work=$(mktemp -d "${TMPDIR:-/tmp}/rbx-bench.XXXXXX")
shm=$(mktemp -d /dev/shm/rbx-bench.XXXXXX)
trap 'rm -rf "$work" "$shm"' EXIT
: >"$results"
run() { "$@" | tee -a "$results"; }
# the machine is shared: the load around the run says how far the figures can be trusted
load() {
  printf '{"name":"load_average_1m","value":%s,"unit":"runnable","params":{"when":"%s"}}\n' \
    "$(cut -d' ' -f1 /proc/loadavg)" "$1" | tee -a "$results"
}

echo "# machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/Mem:/ {print $2}') GiB" >&2

# the value of the last figure of that name in the results so far
last_value() {
  grep "\"name\":\"$1\"" "$results" | tail -n 1 | /usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)["value"])'
}

# 1, 2, 4 and 8 clients over disjoint patients of one day, each count to a day of its own from
# day $3 on, each against the one client's rate (left in one_client_rate)
concurrent_series() {
  local db=$1 url=$2 day=$3
  one_client_rate=""
  for n in 1 2 4 8; do
    run "$bench" concurrent --url "$url" --db "$db" --clients "$n" --day "$day" \
      ${one_client_rate:+--one-client-rate "$one_client_rate"}
    [ "$n" = 1 ] && one_client_rate=$(last_value concurrent_services_per_second)
    day=$((day + 1))
  done
}

# the first activation and the patient lookup, on a hospital of 5,000 in-patients
lookups() {
  local db=$1 url=$2
  run "$bench" seed --url "$url" --patients 5000 --services 0 --items 0 --beds 20000
  run "$bench" open --url "$url" --db "$db"
}

load start
# what the delay relay itself adds, against a server that echoes at once
run "$bench" relay --rtt-ms 1
run "$bench" relay --rtt-ms 20

sqlite_url() { echo "sqlite:$work/$1.db"; }
# the day on both paths side by side, each with its replay floor; the database floor beside the
# server-side copy; the original contract's peer once. Each copy goes to a day of its own: a
# rerun to a day numbers its services after those it replaces, and sequences have two digits.
run "$bench" seed --url "$(sqlite_url day)" --patients 600 --services 4 --items 4
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path server --day 1 --floor --db-floor --bare-floor --repeats 3
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path calls --day 2 --floor --repeats 3
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path classic --day 3
# cost against size; the largest once: three nine-call runs of it would take too long
for p in 150 2400; do
  run "$bench" seed --url "$(sqlite_url day$p)" --patients "$p" --services 4 --items 4
  reps=$([ "$p" -ge 2400 ] && echo 1 || echo 3)
  run "$bench" copy --url "$(sqlite_url day$p)" --db sqlite --path server --day 1 --repeats "$reps"
  run "$bench" copy --url "$(sqlite_url day$p)" --db sqlite --path calls --day 2 --repeats "$reps"
done
# over a network's round trip: the server-side path the whole day; the nine calls (one round
# trip each) on the first patients, scaled to the day per round trip
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path server --day 4 --rtt-ms 20
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path calls --day 5 --rtt-ms 20 --sample-patients 10
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path server --day 6 --rtt-ms 1
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path calls --day 7 --rtt-ms 1 --sample-patients 60
# days 1 to 7 went to the copies above
concurrent_series sqlite "$(sqlite_url day)" 8
# group commit against each copy committed alone, the same day again to day 12
run "$bench" copy --url "$(sqlite_url day)" --db sqlite --path server --day 12 --group-services 1 --repeats 3
lookups sqlite "$(sqlite_url lookups)"
run "$pick" -platform offscreen --url "$(sqlite_url lookups)" --db sqlite
# the price of synchronous=FULL: the same copy on a RAM file system, where a sync costs nothing
tmpfs_url() { echo "sqlite:$shm/$1.db"; }
run "$bench" seed --url "$(tmpfs_url day)" --patients 600 --services 4 --items 4
run "$bench" copy --url "$(tmpfs_url day)" --db sqlite-tmpfs --path server --repeats 3

# shellcheck source=scripts/firebird.sh
source "$root/scripts/firebird.sh"
if grep -q 'firebird://' "$root/db/Database.cpp" && firebird_start >/dev/null 2>&1; then
  fbdir=$(mktemp -u "$RBX_FIREBIRD_DIR/rbx-bench-XXXXXX")
  firebird_url() { echo "$RBX_FIREBIRD_URL_BASE/${fbdir##*/}-$1.fdb"; }
  # the nine calls cost over a millisecond each here (docs/benchmarks.md): the whole day would
  # take over half a minute, so they copy the first patients, scaled per round trip
  run "$bench" seed --url "$(firebird_url day)" --patients 600 --services 4 --items 4
  run "$bench" copy --url "$(firebird_url day)" --db firebird --path server --day 1 --bare-floor
  run "$bench" copy --url "$(firebird_url day)" --db firebird --path calls --day 2 \
    --sample-patients "${RBX_BENCH_FIREBIRD_SAMPLE:-150}"
  concurrent_series firebird "$(firebird_url day)" 3
  # two application servers on one database, four clients, each pair copying the same patients
  run "$bench" concurrent --url "$(firebird_url day)" --db firebird --clients 4 --servers 2 --overlap --day 7 \
    --one-client-rate "$one_client_rate"
  run "$bench" copy --url "$(firebird_url day)" --db firebird --path server --day 8 --group-services 1
  lookups firebird "$(firebird_url lookups)"
  rm -f "$RBX_FIREBIRD_DIR/${fbdir##*/}"-*.fdb 2>/dev/null || true
else
  echo "# firebird: not available in this build or not startable; its rows are skipped" >&2
fi

load end
/usr/bin/python3 "$root/bench/plot.py" "$results" "$plot"
echo "# results: $results, plot: $plot" >&2
