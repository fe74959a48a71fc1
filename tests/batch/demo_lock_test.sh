#!/usr/bin/env bash
# The demo with an engine lock folder its user cannot write: it must stop
# before touching any database and name the group to join and the command.
# As root (who may write anywhere) the demo runs as the user nobody.
#   demo_lock_test.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
src=$1 build=$2 work=$3
rm -rf "$work"
mkdir -p "$work/lock" "$work/demo"
chmod 755 "$work"
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 770 "$work/lock"
  chmod 777 "$work/demo"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  user=nobody
else
  chmod 500 "$work/lock"
  user=$(id -un)
fi
group=$(stat -c %G "$work/lock")
status=0
out=$(env FIREBIRD_LOCK="$work/lock" IMPORTA_DEMO_DIR="$work/demo" HOME="$work/demo" \
        ${run_as[@]+"${run_as[@]}"} bash "$src/scripts/demo.sh" "$build" 2>&1) || status=$?
printf '%s\n' "$out"
[ "$status" -eq 1 ] || { echo "demo.sh exited with status $status, expected 1" >&2; exit 1; }
for expected in "lock folder $work/lock is not writable by the user $user" \
                "sudo adduser $user $group" "newgrp $group"; do
  grep -qF -- "$expected" <<<"$out" || { echo "message lacks: $expected" >&2; exit 1; }
done
[ ! -e "$work/demo/datos" ] || { echo "a database was begun anyway" >&2; exit 1; }
chmod -R u+w "$work"
rm -rf "$work"
