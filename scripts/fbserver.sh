#!/usr/bin/env bash
# Starts or stops a private Firebird server for the tests that go over TCP.
#
# The instance is the tests' own: it runs from its own folder (configuration,
# lock folder, a copy of the security database whose SYSDBA gets the test
# password) and listens on its own port of 127.0.0.1. It is stopped by the
# process id it was started with, never by name, so a Firebird server the
# machine already runs is neither stopped nor reconfigured. It runs as the
# calling user, so it can open the databases that the tests create embedded.
#
#   scripts/fbserver.sh start|stop|status|address
#
# Environment:
#   IMPORTA_FB_HOME      the instance's folder (default: build/fbserver of the checkout)
#   IMPORTA_FB_PORT      its port (default 3057)
#   IMPORTA_FB_PASSWORD  SYSDBA's password in its security database (default imptest)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
HOME_DIR=${IMPORTA_FB_HOME:-$ROOT/build/fbserver}
PORT=${IMPORTA_FB_PORT:-3057}
PASSWORD=${IMPORTA_FB_PASSWORD:-imptest}
SERVER_BIN=${IMPORTA_FB_SERVER_BIN:-/usr/sbin/firebird}
FB_LIB=/usr/lib/x86_64-linux-gnu/firebird/3.0
SYSTEM_SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
PIDFILE=$HOME_DIR/server.pid
LOG=$HOME_DIR/server.log

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; }

# The pid of our server when it is still the process we started (the
# command line is checked so that a reused pid is never signalled).
our_pid() {
  [ -f "$PIDFILE" ] || return 1
  local pid
  pid=$(cat "$PIDFILE")
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "$SERVER_BIN" || return 1
  echo "$pid"
}

# The instance's root folder: the packaged binaries and messages, our own
# configuration files.
prepare_home() {
  local root=$HOME_DIR/root
  mkdir -p "$root" "$HOME_DIR/lock" "$HOME_DIR/tmp"
  local f
  for f in firebird.msg plugins lib UDF include; do
    [ -e "$FB_LIB/$f" ] && ln -sfn "$FB_LIB/$f" "$root/$f"
  done
  # The character sets' module must be a file of this root, not a link to
  # the packaged one: the engine knows a module by where it really lies and
  # would not find WIN1252 or ISO8859_1 through a link ("CHARACTER SET
  # WIN1252 is not defined" for every connection that asks for one).
  [ -L "$root/intl" ] && rm -f "$root/intl"
  mkdir -p "$root/intl"
  if [ -e "$FB_LIB/intl/libfbintl.so" ]; then
    cp -f "$FB_LIB/intl/libfbintl.so" "$root/intl/libfbintl.so"
    cp -f "$FB_LIB/intl/fbintl.conf" "$root/intl/fbintl.conf"
  fi
  ln -sfn /etc/firebird/3.0/plugins.conf "$root/plugins.conf"
  [ -e /etc/firebird/3.0/fbtrace.conf ] && ln -sfn /etc/firebird/3.0/fbtrace.conf "$root/fbtrace.conf"
  {
    grep -v -E '^\s*(RemoteServicePort|RemoteBindAddress|SecurityDatabase|IpcName)\b' \
      /etc/firebird/3.0/firebird.conf || true
    echo "RemoteServicePort = $PORT"
    echo "RemoteBindAddress = 127.0.0.1"
    echo "SecurityDatabase = $HOME_DIR/security3.fdb"
    echo "IpcName = importa_fbserver_$PORT"
  } >"$root/firebird.conf"
  printf 'security.db = %s/security3.fdb\n{\n\tRemoteAccess = false\n}\n' "$HOME_DIR" \
    >"$root/databases.conf"
  if [ ! -f "$HOME_DIR/security3.fdb" ]; then
    cp "$SYSTEM_SECURITY_DB" "$HOME_DIR/security3.fdb"
    chmod 600 "$HOME_DIR/security3.fdb"
  fi
}

instance_env() {
  FIREBIRD="$HOME_DIR/root" FIREBIRD_LOCK="$HOME_DIR/lock" FIREBIRD_TMP="$HOME_DIR/tmp" exec "$@"
}

stop_server() {
  local pid
  if ! pid=$(our_pid); then
    rm -f "$PIDFILE"
    return 0
  fi
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$PIDFILE"; return 0; }
    sleep 0.1
  done
  # A server busy with attachments may not honour SIGTERM at once; nothing
  # of the tests' databases is worth waiting for.
  kill -KILL "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$PIDFILE"; return 0; }
    sleep 0.1
  done
  echo "fbserver: the server (pid $pid) did not stop" >&2
  return 1
}

start_server() {
  [ -x "$SERVER_BIN" ] || { echo "fbserver: $SERVER_BIN is missing (package firebird3.0-server)" >&2; return 1; }
  stop_server
  if listening; then
    echo "fbserver: port $PORT of 127.0.0.1 is taken by another program; set IMPORTA_FB_PORT" >&2
    return 1
  fi
  prepare_home
  printf "create or alter user SYSDBA password '%s' using plugin Srp;\ncommit;\n" "$PASSWORD" \
    | (instance_env isql-fb -q -user SYSDBA "$HOME_DIR/security3.fdb" >/dev/null)
  # The subshell becomes the server itself, so $! is the server's pid.
  (instance_env "$SERVER_BIN" >"$LOG" 2>&1 </dev/null) &
  echo $! >"$PIDFILE"
  for _ in $(seq 100); do
    if listening; then return 0; fi
    kill -0 "$(cat "$PIDFILE")" 2>/dev/null || break
    sleep 0.1
  done
  echo "fbserver: the server did not start (see $LOG)" >&2
  return 1
}

case "${1:-}" in
  start) start_server ;;
  stop) stop_server ;;
  status) if our_pid >/dev/null && listening; then echo running; else echo stopped; exit 1; fi ;;
  # The host part of a database string that reaches this server.
  address) echo "localhost/$PORT" ;;
  *) echo "usage: scripts/fbserver.sh start|stop|status|address" >&2; exit 2 ;;
esac
