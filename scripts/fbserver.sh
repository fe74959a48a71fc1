#!/usr/bin/env bash
# Starts or stops a Firebird server on 127.0.0.1:3050 for the tests that go
# over TCP. The server runs as the calling user (root in CI), so it can open
# the databases that the tests create embedded; SYSDBA gets the test password
# below, set in the server's security database while the server is down.
#   scripts/fbserver.sh start|stop|status
set -euo pipefail

PASSWORD=${IMPORTA_FB_PASSWORD:-imptest}
SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
PIDFILE=${TMPDIR:-/tmp}/importa-fbserver.pid
LOG=${TMPDIR:-/tmp}/importa-fbserver.log

listening() { (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; }

stop_server() {
  if [ -f "$PIDFILE" ]; then
    kill "$(cat "$PIDFILE")" 2>/dev/null || true
    rm -f "$PIDFILE"
  fi
  # A server started by the package (fbguard) holds the security database too.
  pkill -x fbguard 2>/dev/null || true
  pkill -x firebird 2>/dev/null || true
  for _ in $(seq 50); do listening || return 0; sleep 0.1; done
  # A server busy with attachments may not honour SIGTERM; nothing of the
  # tests' databases is worth waiting for.
  pkill -KILL -x firebird 2>/dev/null || true
  for _ in $(seq 50); do listening || return 0; sleep 0.1; done
  echo "fbserver: the server did not stop" >&2
  return 1
}

start_server() {
  [ -x /usr/sbin/firebird ] || { echo "fbserver: firebird3.0-server is not installed" >&2; return 1; }
  stop_server
  printf "create or alter user SYSDBA password '%s' using plugin Srp;\ncommit;\n" "$PASSWORD" \
    | isql-fb -q -user SYSDBA "$SECURITY_DB" >/dev/null
  /usr/sbin/firebird >"$LOG" 2>&1 &
  echo $! >"$PIDFILE"
  for _ in $(seq 100); do
    if listening; then return 0; fi
    sleep 0.1
  done
  echo "fbserver: the server did not start (see $LOG)" >&2
  return 1
}

case "${1:-}" in
  start) start_server ;;
  stop) stop_server ;;
  status) if listening; then echo running; else echo stopped; exit 1; fi ;;
  *) echo "usage: scripts/fbserver.sh start|stop|status" >&2; exit 2 ;;
esac
