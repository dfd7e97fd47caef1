#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, address and undefined sanitizers, and runs each for a
# bounded time (RBX_FUZZ_SECONDS, default 120) from its seed corpus. Exits non-zero when an input
# crashes a target; the input is left in out/fuzz/crashes/ and belongs, once fixed, in
# fuzz/regressions/<target>/ where every test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${RBX_FUZZ_SECONDS:-120}
build=$root/out/fuzz
jobs=$(nproc)

mkdir -p "$build" "$build/crashes"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRBX_FUZZ=ON -DRBX_SANITIZE=ON -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in server_message client_packet; do
  cmake --build "$build" -j"$jobs" --target "fuzz_$target"
  work=$build/corpus/$target
  mkdir -p "$work"
  inputs=("$work" "$root/fuzz/corpus/$target")
  [ -d "$root/fuzz/regressions/$target" ] && inputs+=("$root/fuzz/regressions/$target")
  echo "fuzzing $target for ${seconds}s"
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" "${inputs[@]}" \
       > "$build/$target.log" 2>&1; then
    echo "fuzz_$target found a crash:" >&2
    tail -n 60 "$build/$target.log" >&2
    status=1
  fi
  grep -aE "^stat::number_of_executed_units|^stat::peak_rss_mb" "$build/$target.log" | sed "s/^/$target /" || true
done
exit $status
