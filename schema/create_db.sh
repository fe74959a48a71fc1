#!/usr/bin/env bash
# Creates a fresh company database from the scripts beside this file.
#
#   create_db.sh DBPATH [--no-demo] [--charset NONE|WIN1252|ISO8859_1|UTF8]
#
# DBPATH is a local file path (embedded engine, user SYSDBA); its parent
# folders are created. An existing file is never touched. The database gets
# the tables, procedures, configuration and import layout, and unless
# --no-demo also the demo master data. --charset is the database's default
# character set, that of every text column (NONE when not given: bytes
# stored as each client sends them). On any SQL error the partly built file
# is removed and the script exits non-zero with isql's message.
set -euo pipefail

SCHEMA_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The engine's own default. An embedded engine keeps its page cache (2,048
# pages) in the importing process: 16 MiB with these pages.
PAGE_SIZE=8192
ISQL=${ISQL:-isql-fb}

die() { printf 'create_db.sh: %s\n' "$*" >&2; exit 1; }
usage() { printf 'usage: create_db.sh DBPATH [--no-demo] [--charset NONE|WIN1252|ISO8859_1|UTF8]\n' >&2; exit 2; }

dbpath=""
demo=1
charset=NONE
while [ $# -gt 0 ]; do
  case "$1" in
    --no-demo) demo=0 ;;
    --charset) [ $# -ge 2 ] || usage; charset=$2; shift ;;
    --charset=*) charset=${1#--charset=} ;;
    -*) usage ;;
    *) [ -z "$dbpath" ] || usage; dbpath=$1 ;;
  esac
  shift
done
case "$charset" in
  NONE|WIN1252|ISO8859_1|UTF8) ;;
  *) die "unknown character set '$charset' (NONE, WIN1252, ISO8859_1 or UTF8)" ;;
esac
[ -n "$dbpath" ] || usage

# A colon would make the client read the string as host:path and go over the
# network; this script only creates local, embedded databases.
case "$dbpath" in
  *:*) die "'$dbpath' is not a plain local path" ;;
esac
command -v "$ISQL" >/dev/null 2>&1 || die "$ISQL not found (install firebird3.0-utils)"

dbpath=$(realpath -m -- "$dbpath")
[ ! -e "$dbpath" ] || die "'$dbpath' already exists; refusing to overwrite it"
mkdir -p -- "$(dirname -- "$dbpath")" || die "cannot create the folder of '$dbpath'"

scripts=("$SCHEMA_DIR/10_schema.sql" "$SCHEMA_DIR/20_config.sql")
[ "$demo" -eq 0 ] || scripts+=("$SCHEMA_DIR/30_demo.sql")
for s in "${scripts[@]}"; do
  [ -r "$s" ] || die "missing script $s"
done

created=0
cleanup() {
  if [ "$created" -eq 1 ]; then
    rm -f -- "$dbpath"
  fi
}
trap cleanup EXIT

# run_isql SCRIPT_TEXT: feeds the text to isql; -bail stops at the first
# error and makes isql exit non-zero, -m sends its messages to our output.
run_isql() {
  local label=$1 out
  shift
  if ! out=$("$ISQL" -q -bail -m -user SYSDBA "$@" 2>&1); then
    printf 'create_db.sh: SQL error in %s:\n%s\n' "$label" "$out" >&2
    exit 1
  fi
  # isql reports some failures without a non-zero status; catch them too.
  if printf '%s\n' "$out" | grep -Eq '^(Statement failed|SQLSTATE|Dynamic SQL Error|unsuccessful metadata update)'; then
    printf 'create_db.sh: SQL error in %s:\n%s\n' "$label" "$out" >&2
    exit 1
  fi
}

quoted=${dbpath//\'/\'\'}
created=1
printf "CREATE DATABASE '%s' USER 'SYSDBA' PAGE_SIZE %d DEFAULT CHARACTER SET %s;\nCOMMIT;\n" \
  "$quoted" "$PAGE_SIZE" "$charset" | run_isql "CREATE DATABASE"
[ -f "$dbpath" ] || die "isql did not create '$dbpath'"

for s in "${scripts[@]}"; do
  run_isql "$(basename "$s")" -i "$s" "$dbpath" </dev/null
done

created=0
printf 'created %s\n' "$dbpath"
