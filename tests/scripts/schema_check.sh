#!/usr/bin/env bash
# Builds fresh company databases with schema/create_db.sh and checks what the
# importer relies on: the lookups' statements and their answers, the order
# tables' columns, the import layout, and that every article code of the
# example order file validates.
#
#   schema_check.sh [BUILD_DIR]      (the build directory is not needed)
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
CREATE_DB="$ROOT/schema/create_db.sh"
EXAMPLE="$ROOT/schema/examples/pedidos.csv"
ISQL=${ISQL:-isql-fb}

TMP=$(mktemp -d "${TMPDIR:-/tmp}/schema_check.XXXXXX")
trap 'rm -rf -- "$TMP"' EXIT

failures=0
checks=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }
pass() { checks=$((checks + 1)); }

# expect NAME EXPECTED ACTUAL
expect() {
  if [ "$2" == "$3" ]; then pass; else fail "$1: expected [$2], got [$3]"; fi
}

# sql DB STATEMENT: runs one statement whose rows are single text columns and
# prints one trimmed line per row; isql's failures go to stderr.
sql() {
  printf 'SET HEADING OFF;\n%s\n' "$2" |
    "$ISQL" -q -bail -user SYSDBA "$1" 2>&1 |
    sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' -e '/^$/d'
}

# q TEXT: TEXT as an SQL string literal.
q() { printf "'%s'" "${1//\'/\'\'}"; }

# example_codes FILE: the non-empty 13th field (article code) of every line,
# split on commas outside double quotes as the order file reader does.
example_codes() {
  LC_ALL=C awk '
    { sub(/\r$/, ""); n = 1; f[1] = ""; inq = 0
      for (i = 1; i <= length($0); i++) {
        c = substr($0, i, 1)
        if (c == "\"") inq = !inq
        else if (c == "," && !inq) { n++; f[n] = "" }
        else f[n] = f[n] c
      }
      if (n >= 13 && f[13] != "") print f[13]
      for (k in f) delete f[k]
    }' "$1"
}

# ------------------------------------------------------------ creation

DB="$TMP/datos/demo/norvela.fdb"
if out=$("$CREATE_DB" "$DB" 2>&1); then pass; else fail "create_db.sh (demo): $out"; fi
[ -f "$DB" ] || { fail "no database at $DB"; printf '%d failures\n' "$failures" >&2; exit 1; }

BARE="$TMP/bare/norvela.fdb"
if out=$("$CREATE_DB" "$BARE" --no-demo 2>&1); then pass; else fail "create_db.sh --no-demo: $out"; fi

size_before=$(stat -c %s "$DB")
if "$CREATE_DB" "$DB" >/dev/null 2>&1; then fail "create_db.sh overwrote an existing file"; else pass; fi
expect "existing file left alone" "$size_before" "$(stat -c %s "$DB")"

if "$CREATE_DB" >/dev/null 2>&1; then fail "create_db.sh without a path succeeded"; else pass; fi
if "$CREATE_DB" "localhost:$TMP/remote.fdb" >/dev/null 2>&1; then
  fail "create_db.sh accepted a server string"
else
  pass
fi

# A broken script must fail the run and leave no half-built file behind.
mkdir -p "$TMP/broken"
cp "$ROOT"/schema/*.sql "$ROOT/schema/create_db.sh" "$TMP/broken/"
printf 'INSERT INTO NO_SUCH_TABLE VALUES (1);\n' >>"$TMP/broken/30_demo.sql"
if "$TMP/broken/create_db.sh" "$TMP/broken/out.fdb" >/dev/null 2>&1; then
  fail "create_db.sh succeeded with an SQL error"
else
  pass
fi
[ ! -e "$TMP/broken/out.fdb" ] && pass || fail "a failed creation left its file behind"

expect "bare database has no articles" "0" "$(sql "$BARE" 'SELECT COUNT(*) FROM ARTICULO;')"
expect "bare database has the layout" "17" \
  "$(sql "$BARE" 'SELECT COUNT(*) FROM IMPORTACION_INVENTARIO WHERE IMIN_TIPO = 23;')"

# ------------------------------------------------- example file articles

codes=$(example_codes "$EXAMPLE")
[ -n "$codes" ] && pass || fail "no article codes read from $EXAMPLE"
while IFS= read -r code; do
  [ -n "$code" ] || continue
  got=$(sql "$DB" "SELECT TIPO || '|' || COUNT(*) OVER () FROM VALIDE_ARTICULO($(q "$code"));")
  case "$got" in
    "1|1" | "2|1") pass ;;
    *) fail "example article $code: VALIDE_ARTICULO gave [$got]" ;;
  esac
done <<<"$codes"

# Both VAT modes, several orders and a quoted comma are what the file is for.
expect "example file uses both prefixes" "FE PV" \
  "$(LC_ALL=C cut -d, -f1 "$EXAMPLE" | grep -v '^$' | sort -u | tr '\n' ' ' | sed 's/ $//')"
grep -q '"ACME, S.A."' "$EXAMPLE" && pass || fail "example file lacks a quoted comma"
[ "$(grep -c $'\r$' "$EXAMPLE")" -eq "$(wc -l <"$EXAMPLE")" ] && pass || fail "example file is not CR LF throughout"

# ------------------------------------------------------- VALIDE_ARTICULO

long_code=ART0001ART0001ART0001
# code | TIPO | ID | DESCRIPCION | UNIDAD
valide_cases=(
  "ART0001|1|ART0001|AZUCAR CLASICO 001|KG"
  "ART0300|1|ART0300|ARROZ CLASICO 300|KG"
  "ART0290|1|ART0290|GALLETAS MAXI 290|PAQ"
  "7701234000035|2|ART0003|LECHE CLASICO 003|LT"
  "7701234001506|2|ART0150|GALLETAS EXTRA 150|PAQ"
  "7701234000036|0|-|-|-"
  "NOEXISTE|0|-|-|-"
  "|0|-|-|-"
  "O'HARA|0|-|-|-"
  "art0001|0|-|-|-"
  "$long_code|0|-|-|-"
)
for c in "${valide_cases[@]}"; do
  IFS='|' read -r code tipo id desc unit <<<"$c"
  got=$(sql "$DB" "SELECT TIPO || '|' || COALESCE(ID, '-') || '|' || COALESCE(DESCRIPCION, '-')
                      || '|' || COALESCE(UNIDAD, '-') FROM VALIDE_ARTICULO($(q "$code"));")
  expect "VALIDE_ARTICULO('$code')" "$tipo|$id|$desc|$unit" "$got"
done

# --------------------------------------------------- FACTOR_UNIDAD_CANT

# A conversion mistakenly registered for the article's own unit is ignored:
# one base unit is always one base unit.
printf "INSERT INTO ARTICULO_UNIDADES (ARTI_COD, ARUN_UNIDAD, ARUN_FACTOR) VALUES ('ART0001', 'KG', 1000);\nCOMMIT;\n" |
  "$ISQL" -q -bail -user SYSDBA "$DB" >/dev/null 2>&1 && pass || fail "cannot add a conversion row"

# article | unit | FACTOR rows ("" = no row)
factor_cases=(
  "ART0001|KG|"
  "ART0004|CAJA|12.0000"
  "ART0006|PACA|24.0000"
  "ART0025|BULTO|12.5000"
  "ART0004|KG|"
  "ART0004|PACA|"
  "ART0004||"
  "ART0004|caja|"
  "NOEXISTE|CAJA|"
  "$long_code|CAJA|"
  "ART0004|UNIDADMUYLARGA|"
)
for c in "${factor_cases[@]}"; do
  IFS='|' read -r art unit want <<<"$c"
  got=$(sql "$DB" "SELECT COALESCE(CAST(FACTOR AS VARCHAR(20)), 'NULL') FROM FACTOR_UNIDAD_CANT($(q "$art"),$(q "$unit"));")
  expect "FACTOR_UNIDAD_CANT('$art','$unit')" "$want" "$got"
done

# ----------------------------------------------------- CAMBIE_ID_PEDIDO

ids=$(printf 'SET LIST ON;\nEXECUTE PROCEDURE CAMBIE_ID_PEDIDO;\nEXECUTE PROCEDURE CAMBIE_ID_PEDIDO;\n' |
  "$ISQL" -q -bail -user SYSDBA "$DB" 2>&1 | awk '$1 == "ID" { print $2 }' | tr '\n' ' ')
read -r id1 id2 <<<"$ids"
if [[ "$id1" =~ ^[0-9]+$ && "$id2" =~ ^[0-9]+$ ]] && [ "$id1" -gt 0 ] && [ "$id2" -gt "$id1" ]; then
  pass
else
  fail "CAMBIE_ID_PEDIDO gave [$ids]"
fi
# An identifier drawn in a transaction that is rolled back is not handed out again.
id3=$(printf 'SET LIST ON;\nEXECUTE PROCEDURE CAMBIE_ID_PEDIDO;\nROLLBACK;\n' |
  "$ISQL" -q -bail -user SYSDBA "$DB" 2>&1 | awk '$1 == "ID" { print $2 }')
id4=$(printf 'SET LIST ON;\nEXECUTE PROCEDURE CAMBIE_ID_PEDIDO;\n' |
  "$ISQL" -q -bail -user SYSDBA "$DB" 2>&1 | awk '$1 == "ID" { print $2 }')
if [[ "$id3" =~ ^[0-9]+$ && "$id4" =~ ^[0-9]+$ ]] && [ "$id4" -gt "$id3" ]; then pass; else fail "identifier reused after rollback: [$id3] then [$id4]"; fi

# ------------------------------------------- the importer's other lookups

# description | statement | expected rows (joined by ';')
lookup_cases=(
  "rounding exponent|select conf_valor from configuracion where conf_modulo = 'FACTURACION' and conf_categoria = 'DOCUMENTOS' and conf_propiedad = 'REDONDEO AL MULTIPLO DE DIEZ EN TOTALES';|0"
  "validity days|select conf_valor from configuracion where conf_modulo = 'FACTURACION' and conf_categoria = 'PEDIDOS' and conf_propiedad = 'DIAS DE VALIDEZ';|30"
  "taxes, consumption article|select taiv_porc || '|' || arti_consumo from articulo a, tarifa_iva t where a.taiv_cod = t.taiv_cod and arti_cod = 'ART0007';|19.0000|120.5000"
  "taxes, excluded article|select taiv_porc || '|' || arti_consumo from articulo a, tarifa_iva t where a.taiv_cod = t.taiv_cod and arti_cod = 'ART0001';|0.0000|0.0000"
  "taxes, 5 percent|select taiv_porc from articulo a, tarifa_iva t where a.taiv_cod = t.taiv_cod and arti_cod = 'ART0003';|5.0000"
  "prefix PV|select pref_ivainc from prefijos where tido_cod = 34 and pref_pre = 'PV';|S"
  "prefix FE|select pref_ivainc from prefijos where tido_cod = 34 and pref_pre = 'FE';|N"
  "prefix of another type|select pref_ivainc from prefijos where tido_cod = 34 and pref_pre = 'FV';|"
  "warehouse of point 2|SELECT BODE_COD FROM PUNTO_VENTA WHERE PTVT_ID = 2;|02"
  "warehouse of point 4|SELECT BODE_COD FROM PUNTO_VENTA WHERE PTVT_ID = 4;|01"
  "list of ACME 01|SELECT LIPR_COD FROM CLIENTE_SUCURSALES WHERE TERC_NIT = '800100200' AND CLCU_COD = '01';|2"
  "list of ACME 02|SELECT LIPR_COD FROM CLIENTE_SUCURSALES WHERE TERC_NIT = '800100200' AND CLCU_COD = '02';|3"
  "customer without branch|SELECT LIPR_COD FROM CLIENTE_SUCURSALES WHERE TERC_NIT = '79555111' AND CLCU_COD = '01';|"
  "branch without list|SELECT COALESCE(CAST(LIPR_COD AS VARCHAR(9)), 'NULL') FROM CLIENTE_SUCURSALES WHERE TERC_NIT = '901999000' AND CLCU_COD = '01';|NULL"
  "list 2, dto2 null|select coalesce(cast(prar_dto1 as varchar(20)), 'NULL') || '|' || coalesce(cast(prar_dto2 as varchar(20)), 'NULL') from precios_articulo where arti_cod = 'ART0012' and lipr_cod = 2;|5.0000|NULL"
  "list 3, dto1 null|select coalesce(cast(prar_dto1 as varchar(20)), 'NULL') || '|' || coalesce(cast(prar_dto2 as varchar(20)), 'NULL') from precios_articulo where arti_cod = 'ART0005' and lipr_cod = 3;|NULL|3.0000"
  "list 1, no discounts|select coalesce(cast(prar_dto1 as varchar(20)), 'NULL') || '|' || coalesce(cast(prar_dto2 as varchar(20)), 'NULL') from precios_articulo where arti_cod = 'ART0001' and lipr_cod = 1;|NULL|NULL"
  "no list 3 row|select count(*) from precios_articulo where arti_cod = 'ART0007' and lipr_cod = 3;|0"
  "layout 23|select cast(list(imin_dato, ' ') as varchar(4000)) from (select imin_dato from importacion_inventario where IMIN_TIPO = 23 order by imin_columna);|PREF_PRE PEDI_NUMERO PEDI_FECHA PEDI_CREDITO VEND_COD PTVT_ID TERC_NIT PEDI_NOMTERC PEDI_SUCURSAL PEDI_RTFTEMONTO PEDI_RTIVAMONTO PEDI_RTICAMONTO ARTI_COD PEDE_CANT PEDE_UNIDAD PEDE_PRUNIT PEDE_DTOPORC"
  "layout 23 columns|select cast(list(imin_columna, ',') as varchar(4000)) from (select imin_columna from importacion_inventario where IMIN_TIPO = 23 order by imin_columna);|1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17"
  "other layouts exist|select count(*) from importacion_inventario where IMIN_TIPO = 0;|4"
)
for c in "${lookup_cases[@]}"; do
  name=${c%%|*}; rest=${c#*|}; stmt=${rest%%;|*}; want=${rest#*;|}
  expect "$name" "$want" "$(sql "$DB" "$stmt;" | paste -sd';')"
done

# ------------------------------------------------------ order tables

header_cols=$(sql "$DB" "select cast(list(trim(rdb\$field_name), ' ') as varchar(4000)) from (select rdb\$field_name from rdb\$relation_fields where rdb\$relation_name = 'PEDIDOS' order by rdb\$field_position);")
expect "PEDIDOS columns" "PEDI_ID TERC_NIT VEND_COD TIDO_COD PREF_PRE PEDI_NUMERO PEDI_FECHA PEDI_VALIDEZ PEDI_DESPACHO PEDI_OBS PEDI_IVAINC PEDI_NOMTERC PEDI_DTOPOR PEDI_DTOMONTO PEDI_ADICIONAL PEDI_IVAMONTO PEDI_EXTRA PEDI_TOTAL PEDI_ANULADO PEDI_TRANSMIT PTVT_ID PEDI_COTIZACI PEDI_RTFTEPORC PEDI_RTFTEMONTO PEDI_RTIVAPORC PEDI_RTIVAMONTO PEDI_RTICAPORC PEDI_RTICAMONTO PEDI_NROCOPIA PEDI_CONSOLIDA PEDI_USUARIO PEDI_SUCURSAL NUMOK PEDI_FACTOR PEDI_TRM PEDI_DTOIT1 PEDI_DTOIT2 PEDI_DTOIT3 PEDI_VENCE PEDI_DIASCR" "$header_cols"
line_cols=$(sql "$DB" "select cast(list(trim(rdb\$field_name), ' ') as varchar(4000)) from (select rdb\$field_name from rdb\$relation_fields where rdb\$relation_name = 'PEDIDOS_DETALLE' order by rdb\$field_position);")
expect "PEDIDOS_DETALLE columns" "PEDI_ID PEDE_ITEM ARTI_COD PEDE_CANT PEDE_UNIDAD PEDE_DTOPORC PEDE_DTOMONTO PEDE_IVAPORC PEDE_IVAMONTO PEDE_CONSUMO PEDE_FACTOR PEDE_DESC PEDE_OBS PEDE_CODBAR PEDE_TOTAL PEDE_ANULADO PEDE_TRANSMIT LIPR_COD PEDE_REFERENCIA PEDE_PRUNIT PEDE_FACTURAD PEDE_REMISIONAD PEDE_RESERVA BODE_COD PEDE_DTO1 PEDE_DTO2 PEDE_DTO3 PEDE_DTOM1 PEDE_DTOM2 PEDE_DTOM3" "$line_cols"

required="select cast(list(trim(rf.rdb\$field_name), ' ') as varchar(4000)) from (select rf.rdb\$field_name from rdb\$relation_fields rf
  join rdb\$fields f on f.rdb\$field_name = rf.rdb\$field_source
  where rf.rdb\$relation_name = '%s' and coalesce(rf.rdb\$null_flag, f.rdb\$null_flag, 0) = 1
  order by rf.rdb\$field_position) rf;"
expect "PEDIDOS required" "PEDI_ID TERC_NIT VEND_COD TIDO_COD PREF_PRE PEDI_NUMERO PEDI_FECHA PEDI_IVAINC" \
  "$(sql "$DB" "$(printf "$required" PEDIDOS)")"
expect "PEDIDOS_DETALLE required" "PEDI_ID PEDE_ITEM ARTI_COD" \
  "$(sql "$DB" "$(printf "$required" PEDIDOS_DETALLE)")"

# Column types as the order store holds them: name:type:length-or-scale.
types="select cast(list(trim(rf.rdb\$field_name) || ':' || f.rdb\$field_type || ':' ||
  iif(f.rdb\$field_type = 37 or f.rdb\$field_type = 14, f.rdb\$character_length, f.rdb\$field_scale), ' ') as varchar(4000))
  from (select rf.rdb\$field_name, rf.rdb\$field_source from rdb\$relation_fields rf
        where rf.rdb\$relation_name = '%s' and rf.rdb\$field_name in (%s) order by rf.rdb\$field_position) rf
  join rdb\$fields f on f.rdb\$field_name = rf.rdb\$field_source;"
# 8 integer, 7 smallint, 16 int64 (scale), 27 double, 12 date, 37 varchar, 14 char, 261 blob
expect "PEDIDOS types" "PEDI_ID:8:0 PEDI_NUMERO:37:6 PEDI_FECHA:12:0 PEDI_OBS:261:0 PEDI_IVAINC:14:1 PEDI_NOMTERC:37:60 PEDI_DTOPOR:16:-4 PEDI_TOTAL:16:-2 PEDI_FACTOR:27:0 PEDI_TRM:16:-2 PEDI_VENCE:12:0 PEDI_DIASCR:7:0" \
  "$(sql "$DB" "$(printf "$types" PEDIDOS "'PEDI_ID','PEDI_NUMERO','PEDI_FECHA','PEDI_OBS','PEDI_IVAINC','PEDI_NOMTERC','PEDI_DTOPOR','PEDI_TOTAL','PEDI_FACTOR','PEDI_TRM','PEDI_VENCE','PEDI_DIASCR'")")"
expect "PEDIDOS_DETALLE types" "PEDE_ITEM:8:0 ARTI_COD:37:15 PEDE_CANT:16:-4 PEDE_IVAMONTO:16:-2 PEDE_FACTOR:16:-4 PEDE_DESC:37:255 PEDE_CODBAR:37:15 PEDE_PRUNIT:16:-2 BODE_COD:37:2 PEDE_DTOM3:16:-2" \
  "$(sql "$DB" "$(printf "$types" PEDIDOS_DETALLE "'PEDE_ITEM','ARTI_COD','PEDE_CANT','PEDE_IVAMONTO','PEDE_FACTOR','PEDE_DESC','PEDE_CODBAR','PEDE_PRUNIT','BODE_COD','PEDE_DTOM3'")")"

# Texts are bytes: no column of ours may carry a character set that would
# transliterate or reject them.
expect "text columns outside NONE" "0" "$(sql "$DB" "select count(*) from rdb\$relation_fields rf
  join rdb\$relations r on r.rdb\$relation_name = rf.rdb\$relation_name
  join rdb\$fields f on f.rdb\$field_name = rf.rdb\$field_source
  where coalesce(r.rdb\$system_flag, 0) = 0
    and (f.rdb\$field_type in (14, 37) or (f.rdb\$field_type = 261 and f.rdb\$field_sub_type = 1))
    and coalesce(f.rdb\$character_set_id, 0) <> 0;")"

# Writing an order: the header and its lines, key and link enforced, and no
# column default fills what the importer leaves empty.
write_cases=(
  "header|INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, PEDI_NUMERO, PEDI_FECHA, PEDI_IVAINC) VALUES (12345, '800100200', 2, 34, 'PV', '100', '2026-01-15', 'S');|ok"
  "line 1|INSERT INTO PEDIDOS_DETALLE (PEDI_ID, PEDE_ITEM, ARTI_COD, PEDE_CANT, PEDE_TOTAL) VALUES (12345, 1, 'ART0004', 2, 30600);|ok"
  "line 3 after a discarded 2|INSERT INTO PEDIDOS_DETALLE (PEDI_ID, PEDE_ITEM, ARTI_COD) VALUES (12345, 3, 'ART0012');|ok"
  "same line twice|INSERT INTO PEDIDOS_DETALLE (PEDI_ID, PEDE_ITEM, ARTI_COD) VALUES (12345, 1, 'ART0004');|error"
  "line without header|INSERT INTO PEDIDOS_DETALLE (PEDI_ID, PEDE_ITEM, ARTI_COD) VALUES (99999, 1, 'ART0004');|error"
  "line without article|INSERT INTO PEDIDOS_DETALLE (PEDI_ID, PEDE_ITEM, ARTI_COD) VALUES (12345, 4, NULL);|error"
  "header twice|INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, PEDI_NUMERO, PEDI_FECHA, PEDI_IVAINC) VALUES (12345, '800100200', 2, 34, 'PV', '101', '2026-01-15', 'S');|error"
  "header without customer|INSERT INTO PEDIDOS (PEDI_ID, VEND_COD, TIDO_COD, PREF_PRE, PEDI_NUMERO, PEDI_FECHA, PEDI_IVAINC) VALUES (12346, 2, 34, 'PV', '101', '2026-01-15', 'S');|error"
  "header of unknown customer|INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, PEDI_NUMERO, PEDI_FECHA, PEDI_IVAINC) VALUES (12347, 'X', 9, 34, 'ZZ', '1', '2026-01-15', 'N');|ok"
  "order number of 7 characters|INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, PEDI_NUMERO, PEDI_FECHA, PEDI_IVAINC) VALUES (12348, 'X', 9, 34, 'PV', '1234567', '2026-01-15', 'N');|error"
)
for c in "${write_cases[@]}"; do
  IFS='|' read -r name stmt want <<<"$c"
  if out=$(printf '%s\nCOMMIT;\n' "$stmt" | "$ISQL" -q -bail -user SYSDBA "$DB" 2>&1) && [ -z "$out" ]; then
    got=ok
  else
    got=error
  fi
  expect "write: $name" "$want" "$got"
done
expect "unset order columns stay empty" "NULL|NULL|NULL|NULL" "$(sql "$DB" "select
  coalesce(cast(pedi_total as varchar(20)), 'NULL') || '|' || coalesce(pedi_anulado, 'NULL') || '|' ||
  coalesce(cast(pedi_validez as varchar(9)), 'NULL') || '|' ||
  (select coalesce(max(pede_anulado), 'NULL') from pedidos_detalle d where d.pedi_id = p.pedi_id)
  from pedidos p where pedi_id = 12345;")"
expect "store reads an order's lines" "1 3" "$(sql "$DB" "select cast(list(pede_item, ' ') as varchar(4000)) from (SELECT * FROM PEDIDOS_DETALLE WHERE PEDI_ID = 12345 order by pede_item);")"
expect "store opens empty" "0" "$(sql "$DB" "select count(*) from (SELECT * FROM PEDIDOS WHERE PEDI_ID = '0');")"

if command -v gfix >/dev/null 2>&1; then
  if out=$(gfix -v -full -user SYSDBA "$DB" 2>&1) && [ -z "$out" ]; then pass; else fail "gfix -v: $out"; fi
fi

if [ "$failures" -gt 0 ]; then
  printf 'schema_check: %d of %d checks failed\n' "$failures" "$((failures + checks))" >&2
  exit 1
fi
printf 'schema_check: %d checks passed\n' "$checks"
