#!/usr/bin/env bash
# A decoy for "a Firebird server the machine already runs": a second private
# instance, started before the tests, with a password of its own and a
# database of its own. After the tests it must still be the same process,
# still answer on its port with its own password (and not with the tests'),
# and the system's security database must be byte for byte as it was.
#
#   decoy_server.sh start|check|stop
#
# Environment: IMPORTA_DECOY_HOME (default build/fbserver-decoy),
# IMPORTA_DECOY_PORT (default IMPORTA_FB_PORT + 100), IMPORTA_FB_PASSWORD
# (the tests' password, which must not open the decoy).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HOME_DIR=${IMPORTA_DECOY_HOME:-$ROOT/build/fbserver-decoy}
PORT=${IMPORTA_DECOY_PORT:-$((${IMPORTA_FB_PORT:-3057} + 100))}
TEST_PASSWORD=${IMPORTA_FB_PASSWORD:-imptest}
SYSTEM_SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
ISQL=${ISQL:-isql-fb}

decoy() { IMPORTA_FB_HOME=$HOME_DIR IMPORTA_FB_PORT=$PORT IMPORTA_FB_PASSWORD=$1 \
            bash "$ROOT/scripts/fbserver.sh" "${@:2}"; }
fail() { echo "decoy server: $*" >&2; exit 1; }
database() { echo "localhost/$PORT:$HOME_DIR/decoy.fdb"; }
system_sum() { sha256sum "$SYSTEM_SECURITY_DB" 2>/dev/null | cut -d' ' -f1 || echo unreadable; }

# connects PASSWORD: whether SYSDBA with PASSWORD gets into the decoy's
# database; what isql said is kept in $HOME_DIR/connect.log.
connects() {
  printf 'SET HEADING OFF;\nSELECT 42 FROM RDB$DATABASE;\n' |
    "$ISQL" -q -user SYSDBA -password "$1" "$(database)" >"$HOME_DIR/connect.log" 2>&1
  grep -q 42 "$HOME_DIR/connect.log"
}
# Why the last connection failed, and what the decoy logged, for a failure.
explain() {
  sed 's/^/decoy server: isql: /' "$HOME_DIR/connect.log" >&2
  tail -n 20 "$HOME_DIR/server.log" 2>/dev/null | sed 's/^/decoy server: output: /' >&2
  tail -n 40 "$HOME_DIR/root/firebird.log" 2>/dev/null | sed 's/^/decoy server: firebird.log: /' >&2
  true
}

case "${1:-}" in
  start)
    mkdir -p "$HOME_DIR"
    password="decoy-$$-$RANDOM"
    decoy "$password" start
    rm -f "$HOME_DIR/decoy.fdb"
    printf "CREATE DATABASE '%s' USER 'SYSDBA' PASSWORD '%s';\n" "$(database)" "$password" |
      "$ISQL" -q >/dev/null
    printf '%s\n' "$password" >"$HOME_DIR/decoy.password"
    cp "$HOME_DIR/server.pid" "$HOME_DIR/decoy.pid"
    system_sum >"$HOME_DIR/system_security.sha256"
    connects "$password" || fail "the decoy on port $PORT does not answer"
    echo "decoy Firebird server on 127.0.0.1:$PORT (pid $(cat "$HOME_DIR/decoy.pid"))"
    ;;
  check)
    password=$(cat "$HOME_DIR/decoy.password")
    pid=$(cat "$HOME_DIR/decoy.pid")
    kill -0 "$pid" 2>/dev/null || fail "the decoy (pid $pid) was stopped"
    [ "$(cat "$HOME_DIR/server.pid")" == "$pid" ] || fail "the decoy was restarted"
    # A refused connection is tried twice more before it counts: what each
    # failed try said is shown either way, so a passing retry is on record.
    for try in 1 2 3; do
      connects "$password" && break
      explain
      [ "$try" -lt 3 ] || fail "SYSDBA's password of the decoy changed, or it stopped answering"
      echo "decoy server: connection $try of 3 refused; trying again in 5 s" >&2
      sleep 5
    done
    ! connects "$TEST_PASSWORD" || fail "the decoy took the tests' password"
    [ "$(system_sum)" == "$(cat "$HOME_DIR/system_security.sha256")" ] ||
      fail "the system's security database $SYSTEM_SECURITY_DB was written"
    echo "decoy Firebird server: still running (pid $pid), its password unchanged," \
         "the system's security database untouched"
    ;;
  stop) decoy "" stop ;;
  *) echo "usage: decoy_server.sh start|check|stop" >&2; exit 2 ;;
esac
