#!/usr/bin/env bash
# The demo: imports the example order file into an embedded demo company
# database and shows the orders it wrote, read back from the database.
#
#   scripts/demo.sh BUILD_DIR      (./run demo calls it after building)
#
# The company database is created once, in demo/ (ignored by git; the
# environment variable IMPORTA_DEMO_DIR names another folder):
#   demo/datos/demo/norvela.fdb    the company "demo", with the demo data
#   demo/settings.conf             server = the demo/ folder, user SYSDBA
# Each run imports schema/examples/pedidos.csv again, so each run adds the
# same five orders under new identifiers.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:?usage: demo.sh BUILD_DIR}
BUILD=$(cd "$BUILD" && pwd)
EXE="$BUILD/app/importa-pedidos"
DEMO=${IMPORTA_DEMO_DIR:-$ROOT/demo}
mkdir -p "$DEMO"
DEMO=$(cd "$DEMO" && pwd)
COMPANY=demo
DB="$DEMO/datos/$COMPANY/norvela.fdb"
SETTINGS="$DEMO/settings.conf"
ORDERS="$ROOT/schema/examples/pedidos.csv"
ISQL=${ISQL:-isql-fb}

log() { printf '==> %s\n' "$*" >&2; }

[ -x "$EXE" ] || { log "$EXE not found: build first (./run build)"; exit 1; }

# The embedded engine keeps its lock files in one folder shared by every
# process that opens a database on this machine (/tmp/firebird unless
# FIREBIRD_LOCK names another). A Firebird server creates it for the group
# firebird, mode 770: another user can then open no database at all, and the
# engine only says "operating system directive access failed". A private
# lock folder would be no way out: two processes locking one database in
# different folders would corrupt it.
lock_dir=${FIREBIRD_LOCK:-/tmp/firebird}
if [ -e "$lock_dir" ] && ! { [ -d "$lock_dir" ] && [ -w "$lock_dir" ] && [ -x "$lock_dir" ]; }; then
  user=$(id -un)
  group=$(stat -c %G "$lock_dir" 2>/dev/null || echo firebird)
  {
    echo "demo.sh: the Firebird engine's lock folder $lock_dir is not writable by the user $user"
    echo "  (owner $(stat -c %U "$lock_dir" 2>/dev/null), group $group, mode $(stat -c %A "$lock_dir" 2>/dev/null))."
    echo "  The embedded engine cannot open any database without it. To fix it, add $user to the group $group:"
    echo "      sudo adduser $user $group"
    echo "  then log in again (or run 'newgrp $group' in this shell) and repeat ./run demo."
    echo "  Running the demo as root also works."
  } >&2
  exit 1
fi

if [ ! -f "$DB" ]; then
  log "creating the demo company database $DB"
  "$ROOT/schema/create_db.sh" "$DB" >/dev/null
fi

# Lines: server, user, password, company; lines 5 to 8 empty (no automatic
# start when the window opens on it).
printf '%s\nSYSDBA\nmasterkey\n%s\n\n\n\n\n' "$DEMO" "$COMPANY" >"$SETTINGS"

# query SQL: runs one statement on the demo database, rows on stdout.
query() {
  printf 'SET HEADING OFF;\n%s\n' "$1" | "$ISQL" -q -user SYSDBA "$DB" | sed '/^[[:space:]]*$/d'
}

# The per-machine store that names the install directory, for the window:
# with IMPORTA_SYSTEM_CONFIG_DIR pointing here it reads demo/settings.conf and
# connects at once. The value is quoted so that a comma in the path is not
# read as a list.
dir_value=${DEMO//\\/\\\\}
dir_value=${dir_value//\"/\\\"}
mkdir -p "$DEMO/xdg/QRM"
printf '[General]\nDirectorio="%s"\nSeparadorDecimal=.\nOrdenFecha=mda\nSeparadorFecha=/\n' \
  "$dir_value" >"$DEMO/xdg/QRM/Quintavalle.conf"

before=$(query "SELECT GEN_ID(GEN_PEDIDOS, 0) FROM RDB\$DATABASE;" | tr -d '[:space:]')

log "importing $ORDERS (batch mode)"
# The example file writes numbers with a decimal point and dates as
# month/day/year with "/": stated, so that the demo reads it the same under
# any locale.
status=0
"$EXE" --batch --settings "$SETTINGS" --separador-decimal . --orden-fecha mda \
  --separador-fecha / "$ORDERS" || status=$?

echo
echo "Pedidos grabados por esta importación (leídos de la base de datos):"
query "SELECT p.PREF_PRE || '|' || p.PEDI_NUMERO || '|' || COALESCE(p.PEDI_NOMTERC, '') || '|' ||
         (SELECT COUNT(*) FROM PEDIDOS_DETALLE d WHERE d.PEDI_ID = p.PEDI_ID) || '|' ||
         COALESCE(CAST(p.PEDI_IVAMONTO AS VARCHAR(24)), '') || '|' ||
         COALESCE(CAST(p.PEDI_TOTAL AS VARCHAR(24)), '')
       FROM PEDIDOS p WHERE p.PEDI_ID > $before ORDER BY p.PEDI_ID;" |
  awk -F'|' '
    BEGIN {
      fmt = "%-7s %-7s %-28s %6s %14s %16s\n"
      # Written out: printf pads bytes, and the accented letters take two.
      print "Prefijo Número  Cliente                      Líneas            IVA            Total"
      n = 0
    }
    {
      for (i = 1; i <= NF; i++) gsub(/^[[:space:]]+|[[:space:]]+$/, "", $i)
      printf fmt, $1, $2, substr($3, 1, 28), $4, $5, $6
      n++
    }
    END { if (n == 0) print "(ninguno)" }'

echo
log "to open the window on this database (a display is needed):"
log "  IMPORTA_SYSTEM_CONFIG_DIR=$DEMO/xdg $EXE"
exit "$status"
