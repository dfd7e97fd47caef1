#!/usr/bin/env bash
# The benchmarks: builds them (Release), runs every figure on loopback, writes the JSON lines to
# docs/benchmarks.jsonl and plots the per-call cost to docs/benchmarks.png.
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

# one database kind: the day copy with its floor, the scaling sizes (when given), concurrent
# clients, opening and the patient lookup. $3: patients of the day; $4...: scaling sizes.
bench_db() {
  local db=$1 url_of=$2 patients=$3
  shift 3
  run "$bench" seed --url "$($url_of day)" --patients "$patients" --services 4 --items 4
  run "$bench" copy --url "$($url_of day)" --db "$db" --floor --repeats "$repeats"
  for p in "$@"; do
    run "$bench" seed --url "$($url_of day$p)" --patients "$p" --services 4 --items 4
    # the largest size once: three runs of it would take half the command's time
    run "$bench" copy --url "$($url_of day$p)" --db "$db" --repeats "$([ "$p" -ge 2400 ] && echo 1 || echo "$repeats")"
  done
  # day 1 went to the copy above; each client count copies to a day of its own
  local day=2
  for n in 1 2 4 8; do
    run "$bench" concurrent --url "$($url_of day)" --db "$db" --clients "$n" --day "$day"
    day=$((day + 1))
  done
  run "$bench" seed --url "$($url_of lookups)" --patients 5000 --services 0 --items 0 --beds 20000
  run "$bench" open --url "$($url_of lookups)" --db "$db"
}

sqlite_url() { echo "sqlite:$work/$1.db"; }
load start
repeats=3
bench_db sqlite sqlite_url 600 150 2400
run "$pick" -platform offscreen --url "$(sqlite_url lookups)" --db sqlite
# the price of synchronous=FULL: the same copy on a RAM file system, where a sync costs nothing
tmpfs_url() { echo "sqlite:$shm/$1.db"; }
run "$bench" seed --url "$(tmpfs_url day)" --patients 600 --services 4 --items 4
run "$bench" copy --url "$(tmpfs_url day)" --db sqlite-tmpfs --repeats 3

# shellcheck source=scripts/firebird.sh
source "$root/scripts/firebird.sh"
if grep -q 'firebird://' "$root/db/Database.cpp" && firebird_start >/dev/null 2>&1; then
  fbdir=$(mktemp -u "$RBX_FIREBIRD_DIR/rbx-bench-XXXXXX")
  firebird_url() { echo "$RBX_FIREBIRD_URL_BASE/${fbdir##*/}-$1.fdb"; }
  # a Firebird call costs about 11 ms here (docs/benchmarks.md), so its day is smaller and
  # measured once, to keep the whole command within 15 minutes
  repeats=1
  bench_db firebird firebird_url "${RBX_BENCH_FIREBIRD_PATIENTS:-100}"
  rm -f "$RBX_FIREBIRD_DIR/${fbdir##*/}"-*.fdb 2>/dev/null || true
else
  echo "# firebird: not available in this build or not startable; its rows are skipped" >&2
fi

load end
/usr/bin/python3 "$root/bench/plot.py" "$results" "$plot"
echo "# results: $results, plot: $plot" >&2
