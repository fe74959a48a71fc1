#!/usr/bin/env bash
# The demo from scratch in a folder of its own: it must succeed and print
# the five orders of the example file, read back from the database.
#   demo_test.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
src=$1 build=$2 work=$3
rm -rf "$work"
status=0
out=$(IMPORTA_DEMO_DIR="$work" bash "$src/scripts/demo.sh" "$build" 2>&1) || status=$?
printf '%s\n' "$out"
[ "$status" -eq 0 ] || { echo "demo.sh exited with status $status" >&2; exit 1; }
expected=(
  'PV +100 +ACME, S\.A\. +4 +39447\.18 +631264\.00$'
  'PV +101 +PEDRO PEREZ +2 +105150\.63 +660275\.00$'
  'FE +200 +DISTRIBUIDORA EL SOL LTDA +3 +195432\.12 +1268930\.12$'
  'FE +201 +HOTELES DEL CARIBE S\.A\.S\. +3 +11628\.00 +368629\.00$'
  'PV +102 +CLIENTES VARIOS +2 +2040\.50 +603780\.00$'
)
for line in "${expected[@]}"; do
  grep -Eq "^$line" <<<"$out" || { echo "missing order row: $line" >&2; exit 1; }
done
rows=$(grep -Ec '^(PV|FE) +[0-9]+ ' <<<"$out")
[ "$rows" -eq 5 ] || { echo "expected 5 order rows, got $rows" >&2; exit 1; }
rm -rf "$work"
