#!/usr/bin/env bash
# Runs every test from nothing: installs what is missing, starts the database server the tests
# need, builds a release and a sanitizer configuration and runs CTest on both.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/install-deps.sh
if [ -f scripts/firebird.sh ]; then
  source scripts/firebird.sh
  firebird_start
  # the *_firebird runs fail, rather than skip, when the server cannot be reached
  export RBX_REQUIRE_FIREBIRD=1
fi

run_config() {
  local name=$1; shift
  cmake -S "$root" -B "$root/out/$name" -G Ninja "$@" > "$root/out/$name.configure.log" 2>&1 \
    || { cat "$root/out/$name.configure.log"; return 1; }
  cmake --build "$root/out/$name" -j"$jobs"
  (cd "$root/out/$name" && ctest --output-on-failure -j"$jobs" --timeout 600) | tee "$root/out/$name.ctest.log"
}

mkdir -p out
run_config release -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Qt's plugin loader keeps a few allocations until exit; leaks of our own code are still reported.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
run_config asan -DCMAKE_BUILD_TYPE=Debug -DRBX_SANITIZE=ON

bash scripts/fuzz.sh || { echo "fuzzing found a crash: inputs in out/fuzz/crashes/" >&2; exit 1; }

# One closing line for both configurations, after the fuzzing output.
summary=$(cat out/release.ctest.log out/asan.ctest.log \
  | sed -nE 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/p' \
  | awk '{ failed += $1; total += $2 } END { printf "%d passed, %d failed", total - failed, failed }')
echo "$summary"
