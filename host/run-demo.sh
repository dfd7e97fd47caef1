#!/usr/bin/env bash
# Opens the copy screen on the demo hospital: installs what is missing, builds, creates the demo
# in a SQLite file, starts rbx53207-server on loopback and opens the screen as operator ADMIN for
# branch 0001. Without a display it runs under Xvfb and saves a screenshot, saying where.
#   RBX_BUILD_DIR  build folder (default out/demo)   RBX_MODE     E or N (default E)
#   RBX_SCREENSHOT where the screenshot goes without a display (default out/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${RBX_BUILD_DIR:-$root/out/demo}
mode=${RBX_MODE:-E}
shot=${RBX_SCREENSHOT:-$root/out/screenshot.png}

bash scripts/install-deps.sh
mkdir -p "$root/out"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$root/out/demo.configure.log" 2>&1 \
  || { cat "$root/out/demo.configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target rbx53207-db rbx53207-server rbx53207-host Pkg_RBX53207

work=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The demo's prescriptions are for yesterday: the screen offers yesterday -> today.
"$build/db/rbx53207-db" demo "sqlite:$work/demo.db"
"$build/server/rbx53207-server" --database "sqlite:$work/demo.db" --listen 127.0.0.1:0 \
  > "$work/server.out" 2> "$work/server.log" &
server_pid=$!
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log"; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "rbx53207-server did not start" >&2; exit 1; }
echo "rbx53207-server listening on 127.0.0.1:$port"

host=("$build/host/rbx53207-host" --operator ADMIN --server "127.0.0.1:$port" --database "sqlite:$work/demo.db"
      --mode "$mode" --branch 0001)
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "${host[@]}"
else
  # A window manager draws the caption the screenshot should show.
  xvfb-run -a -s "-screen 0 1024x768x24" \
    bash -c 'openbox >/dev/null 2>&1 & sleep 1; "$@"' run-demo "${host[@]}" --screenshot "$shot"
fi
