#!/usr/bin/env bash
# Starts the local Firebird server for the tests when it is not running, listening on loopback
# only, and exports ISC_USER/ISC_PASSWORD from the packaged SYSDBA file so that no credential
# appears on a command line. Source it and call firebird_start.

firebird_password_file=/etc/firebird/3.0/SYSDBA.password
firebird_port=${RBX_FIREBIRD_PORT:-3050}

firebird_listening() {
  (exec 3<>/dev/tcp/127.0.0.1/"$firebird_port") 2>/dev/null
}

firebird_start() {
  if [ ! -x /usr/sbin/fbguard ]; then
    echo "firebird: server not installed" >&2
    return 1
  fi
  if [ -z "${ISC_PASSWORD:-}" ] && [ -r "$firebird_password_file" ]; then
    # shellcheck disable=SC1090
    eval "$(grep -E '^ISC_(USER|PASSWORD)=' "$firebird_password_file")"
  fi
  export ISC_USER=${ISC_USER:-SYSDBA} ISC_PASSWORD
  # test databases live where the server's own user may create files
  export RBX_FIREBIRD_DIR=${RBX_FIREBIRD_DIR:-/var/lib/firebird/3.0/data}
  export RBX_FIREBIRD_URL_BASE="firebird://127.0.0.1:${firebird_port}${RBX_FIREBIRD_DIR}"
  if firebird_listening; then
    return 0
  fi
  local conf=/etc/firebird/3.0/firebird.conf
  grep -qE '^RemoteBindAddress *= *(localhost|127\.0\.0\.1)' "$conf" \
    || echo "RemoteBindAddress = 127.0.0.1" >> "$conf"
  mkdir -p /run/firebird3.0 && chown firebird:firebird /run/firebird3.0
  su firebird -s /bin/sh -c "/usr/sbin/fbguard -pidfile /run/firebird3.0/firebird3.0.pid -daemon -forever"
  for _ in $(seq 1 50); do
    firebird_listening && return 0
    sleep 0.2
  done
  echo "firebird: server did not start listening on 127.0.0.1:$firebird_port" >&2
  return 1
}

# Stops the guard and the server it watches, and returns once nothing listens any more.
firebird_stop() {
  local pidfile=/run/firebird3.0/firebird3.0.pid
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
  for _ in $(seq 1 50); do
    if ! firebird_listening && ! pgrep -x firebird >/dev/null; then
      return 0
    fi
    sleep 0.2
  done
  pkill -KILL -x firebird 2>/dev/null
  sleep 0.5
  ! firebird_listening
}
