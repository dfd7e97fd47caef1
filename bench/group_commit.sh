#!/usr/bin/env bash
# Group commit side by side in one run: the server-side copy of the bench's day with the
# server's default groups and with each copy committed alone (--group-services 1), beside the
# bare floors of the same rows, over loopback and a 20 ms link, with 1, 4 and 8 clients, on
# SQLite and (when it starts) Firebird; and the nine calls' cost per round trip.
# Usage: group_commit.sh BUILD_DIR [ROUNDS]. Loopback only. JSON lines on standard output.
set -euo pipefail
build=$(cd "$1" && pwd) rounds=${2:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$build/bench/rbx53207-bench
work=$(mktemp -d /tmp/group-commit.XXXXXX)
trap 'rm -rf "$work"' EXIT
tag() { sed "s/^{/{\"label\":\"$1\",/"; }
seeded() { rm -f "$work"/day.db*; "$bench" seed --url "sqlite:$work/day.db" --patients 600 --services 4 --items 4 >/dev/null; }
for round in $(seq "$rounds"); do
  for group in 128 1; do
    seeded
    "$bench" copy --url "sqlite:$work/day.db" --db sqlite --path server --day 1 --group-services "$group" \
      --bare-floor | tag "sqlite-group-$group-round-$round"
    seeded
    "$bench" copy --url "sqlite:$work/day.db" --db sqlite --path server --day 1 --group-services "$group" \
      --rtt-ms 20 | tag "sqlite-20ms-group-$group-round-$round"
  done
  seeded
  for clients in 1 4 8; do
    "$bench" concurrent --url "sqlite:$work/day.db" --db sqlite --clients "$clients" --day $((clients + 1)) \
      | tag "sqlite-concurrent-$clients-round-$round"
  done
  seeded
  "$bench" copy --url "sqlite:$work/day.db" --db sqlite --path calls --day 1 | tag "sqlite-nine-calls-round-$round"
done
# shellcheck source=scripts/firebird.sh
source "$root/scripts/firebird.sh"
if firebird_start >/dev/null 2>&1; then
  url="$RBX_FIREBIRD_URL_BASE/rbx-group-commit-$$.fdb"
  "$bench" seed --url "$url" --patients 600 --services 4 --items 4 >/dev/null
  for group in 128 1; do
    "$bench" copy --url "$url" --db firebird --path server --day 1 --group-services "$group" --bare-floor \
      | tag "firebird-group-$group"
  done
  for clients in 1 8; do
    "$bench" concurrent --url "$url" --db firebird --clients "$clients" --day $((clients + 1)) \
      | tag "firebird-concurrent-$clients"
  done
  rm -f "$RBX_FIREBIRD_DIR/rbx-group-commit-$$.fdb"
fi
