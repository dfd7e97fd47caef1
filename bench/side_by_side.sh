#!/usr/bin/env bash
# Two builds side by side on copies of one seeded day: the headless copy's wall time on both
# paths, alternating rounds, with the command's fixed cost (login and an empty day) as the floor.
# Each build copies from a day seeded by its own rbx53207-db (its own schema), and runs with its
# own libraries first, so that a build copied elsewhere runs as built.
# Usage: side_by_side.sh OLD_BUILD_DIR NEW_BUILD_DIR [PATIENTS] [ROUNDS]. Loopback only.
set -euo pipefail
old=$1 new=$2 patients=${3:-2000} reps=${4:-3}
work=$(mktemp -d /tmp/side.XXXXXX)
trap 'rm -rf "$work"' EXIT
umask 077; printf 'senha-do-banco\n' > "$work/pw"
libraries() { find "$1" -name '*.so*' -printf '%h\n' | sort -u | tr '\n' ':'; }
for build in old new; do
  dir=$old; [ $build = new ] && dir=$new
  LD_LIBRARY_PATH=$(libraries "$dir") "$dir/db/rbx53207-db" demo "sqlite:$work/base-$build.db" --patients "$patients" \
    --date 2024-03-14 >/dev/null
  LD_LIBRARY_PATH=$(libraries "$dir") "$dir/db/rbx53207-db" passwd "sqlite:$work/base-$build.db" ADMIN < "$work/pw" >/dev/null
done
run_one() { # build name path from to -> seconds
  local build=$1 name=$2 path=$3 from=$4 to=$5
  local LD_LIBRARY_PATH; LD_LIBRARY_PATH=$(libraries "$build"); export LD_LIBRARY_PATH
  cp "$work/base-$name.db" "$work/run.db"
  "$build/server/rbx53207-server" --database "sqlite:$work/run.db" --listen 127.0.0.1:0 > "$work/server.out" 2>/dev/null &
  local pid=$!
  for _ in $(seq 100); do grep -q listening "$work/server.out" && break; sleep 0.05; done
  local port; port=$(sed -n 's/.*:\([0-9]*\)$/\1/p' "$work/server.out" | head -1)
  local extra=(); [ "$path" = cbc ] && extra=(--call-by-call)
  local t0 t1; t0=$(date +%s.%N)
  "$build/copy/rbx53207-copy" --server "127.0.0.1:$port" --operator ADMIN --branch 0001 --from "$from" --to "$to" \
    --yes --password-file "$work/pw" "${extra[@]}" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  kill "$pid"; wait "$pid" 2>/dev/null || true
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}
declare -A times
for rep in $(seq "$reps"); do
  for build in old new; do
    dir=$old; [ $build = new ] && dir=$new
    for path in server cbc; do
      times[$build-$path]+="$(run_one "$dir" $build $path 2024-03-14 2024-03-15) "
    done
    times[$build-floor]+="$(run_one "$dir" $build server 2024-03-10 2024-03-11) "
  done
done
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for key in old-floor new-floor old-server new-server old-cbc new-cbc; do
  printf '%-11s median %ss of: %s\n' "$key" "$(echo "${times[$key]}" | median)" "${times[$key]}"
done
