#!/usr/bin/env bash
# The main job in one command: installs what is missing, builds, creates the demo hospital in a
# SQLite file, starts the application server on loopback and opens the copy screen as operator
# ADMIN for branch 0001, logged in with a password made for the demo. Without a display it runs
# under Xvfb and saves a screenshot instead.
# Options: --mode E|N (default E), --branch CODE (default 0001), --login (the host's login dialog
# first, its password in out/demo/admin.password; without a display, a screenshot of the dialog).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
mode=E
branch=0001
login=no
while [ $# -gt 0 ]; do
  case "$1" in
    --mode) mode=$2; shift 2 ;;
    --branch) branch=$2; shift 2 ;;
    --login) login=yes; shift ;;
    *) echo "usage: $0 [--mode E|N] [--branch CODE] [--login]" >&2; exit 1 ;;
  esac
done

bash scripts/install-deps.sh
build="$root/out/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$build" -j"$(nproc)" --target rbx53207-db rbx53207-server rbx53207-host Pkg_RBX53207

demo="$root/out/demo"
mkdir -p "$demo"
rm -f "$demo/demo.db" "$demo/demo.db-wal" "$demo/demo.db-shm"
"$build/db/rbx53207-db" demo "sqlite:$demo/demo.db"
# ADMIN's password, made anew for each demo and kept in a file only its owner reads
password_file="$demo/admin.password"
( umask 077; head -c 12 /dev/urandom | base64 | tr -d '/+=' > "$password_file" )
"$build/db/rbx53207-db" passwd "sqlite:$demo/demo.db" ADMIN < "$password_file" > /dev/null
echo "operator ADMIN logs in with the password in $password_file"

server_log="$demo/server.log"
"$build/server/rbx53207-server" --database "sqlite:$demo/demo.db" --listen 127.0.0.1:0 \
  > "$demo/server.out" 2> "$server_log" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
address=""
for _ in $(seq 1 100); do
  address=$(sed -n 's/^listening on //p' "$demo/server.out" | head -n 1)
  [ -n "$address" ] && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$server_log" >&2; exit 1; }
  sleep 0.1
done
[ -n "$address" ] || { echo "the server did not start; see $server_log" >&2; exit 1; }
echo "application server on $address (log: $server_log)"

module=$(find "$build/module" -maxdepth 1 -name 'libPkg_RBX53207.so*' | head -n 1)
host_args=(--operator ADMIN --server "$address" --database "sqlite:$demo/demo.db" --module "$module"
           --branch "$branch" --mode "$mode")
if [ "$login" = yes ]; then
  if [ -n "${DISPLAY:-}" ]; then
    "$build/host/rbx53207-host" "${host_args[@]}"
  else
    shot="$demo/login.png"
    # the dialog asks before anything connects: capture it with its frame, then end the host
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
      command -v openbox > /dev/null && { openbox > /dev/null 2>&1 & sleep 1; }
      shot=$1; shift
      "$@" & host=$!
      sleep 3
      import -frame -window Entrar "$shot"; status=$?
      kill "$host"
      exit "$status"' sh "$shot" "$build/host/rbx53207-host" "${host_args[@]}"
    echo "no display: the login dialog was opened under Xvfb; screenshot saved to $shot"
  fi
  exit 0
fi
host_args+=(--password-file "$password_file")
if [ -n "${DISPLAY:-}" ]; then
  "$build/host/rbx53207-host" "${host_args[@]}"
else
  shot="$demo/screen.png"
  # a window manager draws the title bar, so the capture shows the screen as a person sees it
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    command -v openbox > /dev/null && { openbox > /dev/null 2>&1 & sleep 1; }
    exec "$0" "$@"' "$build/host/rbx53207-host" "${host_args[@]}" --screenshot "$shot"
  echo "no display: the screen was opened under Xvfb; screenshot saved to $shot"
fi
