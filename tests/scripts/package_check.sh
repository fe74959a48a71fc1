#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it as a user
# would get it: unpacked into a scratch folder (not installed), the program
# answers --version and --help without a display and imports the example
# order file into a fresh embedded company made with the packaged schema
# scripts; the package has its files and dependencies, lintian finds no
# error, and the manual page renders.
#
#   package_check.sh BUILD_DIR
set -uo pipefail

BUILD=$(cd "${1:?usage: package_check.sh BUILD_DIR}" && pwd)
ISQL=${ISQL:-isql-fb}
TMP=$(mktemp -d "${TMPDIR:-/tmp}/package_check.XXXXXX")
trap 'rm -rf -- "$TMP"' EXIT

failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }
# The program must answer without any display: xcb with no X server.
nodisplay() { env QT_QPA_PLATFORM=xcb DISPLAY=:54321 WAYLAND_DISPLAY= "$@"; }

if ! (cd "$BUILD" && cpack -G DEB -B "$TMP/cpack") >"$TMP/cpack.log" 2>&1; then
  cat "$TMP/cpack.log" >&2
  echo "FAIL: cpack -G DEB" >&2
  exit 1
fi
debs=("$TMP"/cpack/importa-pedidos_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { ls "$TMP/cpack" >&2; echo "FAIL: no single importa-pedidos_<version>_amd64.deb" >&2; exit 1; }
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" == "importa-pedidos_${version}_amd64.deb" ] || fail "package name $(basename "$deb") for version $version"
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

# Dependencies: the Firebird client and Qt found in the program itself, the
# embedded engine recommended.
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
depends_names=$(sed -e 's/([^)]*)//g' -e 's/[|,]/\n/g' <<<"$depends" | tr -d ' ')
for p in libfbclient2 libqt6widgets6 libqt6core6 qt6-qpa-plugins qt6-translations-l10n libstdc++6; do
  grep -Fqx "$p" <<<"$depends_names" || fail "Depends lacks $p: $depends"
done
grep -q firebird3.0-server-core <<<"$recommends" || fail "Recommends lacks the embedded engine: $recommends"

ROOTFS=$TMP/root
dpkg-deb -x "$deb" "$ROOTFS"
SHARE=$ROOTFS/usr/share/importa-pedidos
EXE=$ROOTFS/usr/bin/importa-pedidos
for f in usr/bin/importa-pedidos usr/share/applications/importa-pedidos.desktop \
         usr/share/icons/hicolor/scalable/apps/importa-pedidos.svg \
         usr/share/man/man1/importa-pedidos.1.gz usr/share/doc/importa-pedidos/copyright \
         usr/share/importa-pedidos/schema/create_db.sh usr/share/importa-pedidos/schema/10_schema.sql \
         usr/share/importa-pedidos/schema/20_config.sql usr/share/importa-pedidos/schema/30_demo.sql \
         usr/share/importa-pedidos/examples/pedidos.csv; do
  [ -f "$ROOTFS/$f" ] || fail "missing from the package: /$f"
done

out=$(nodisplay "$EXE" --version 2>&1); status=$?
[ $status -eq 0 ] || fail "--version exited $status: $out"
grep -qx "importa-pedidos $version" <<<"$out" || fail "--version does not say $version: $out"
grep -q '^Cliente Firebird: .*Firebird' <<<"$out" || fail "--version names no Firebird client: $out"
echo "$out"

out=$(nodisplay "$EXE" --help 2>&1); status=$?
[ $status -eq 0 ] || fail "--help exited $status"
grep -q '^Estado de salida:' <<<"$out" || fail "--help lacks the exit statuses"

# A fresh embedded company from the packaged schema scripts, and the example
# file imported into it.
COMPANY_DIR=$TMP/empresa
if ! bash "$SHARE/schema/create_db.sh" "$COMPANY_DIR/datos/demo/norvela.fdb" >"$TMP/create.log" 2>&1; then
  fail "create_db.sh of the package: $(cat "$TMP/create.log")"
else
  printf '%s\nSYSDBA\nmasterkey\ndemo\n\n\n\n\n' "$COMPANY_DIR" >"$TMP/settings.conf"
  LC_ALL=C nodisplay "$EXE" --batch --settings "$TMP/settings.conf" "$SHARE/examples/pedidos.csv" \
    >"$TMP/batch.out" 2>"$TMP/batch.err"
  status=$?
  [ $status -eq 0 ] || fail "batch import exited $status: $(cat "$TMP/batch.err")"
  count=$(printf 'SET HEADING OFF;\nSELECT COUNT(*) FROM PEDIDOS;\n' |
            "$ISQL" -q -user SYSDBA "$COMPANY_DIR/datos/demo/norvela.fdb" | tr -d '[:space:]')
  [ "$count" == "5" ] || fail "the example file left $count orders instead of 5"
  echo "batch import of the example file: status $status, $count orders"
fi

# lintian: no error (warnings and notes are shown).
if command -v lintian >/dev/null; then
  lintian --fail-on error --tag-display-limit 0 "$deb" >"$TMP/lintian.log" 2>&1 || {
    cat "$TMP/lintian.log" >&2; fail "lintian reports errors"; }
  sed 's/^/lintian: /' "$TMP/lintian.log"
else
  fail "lintian is not installed"
fi

# The manual page renders, without groff warnings.
page=$ROOTFS/usr/share/man/man1/importa-pedidos.1.gz
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$TMP/man.err")
[ -s "$TMP/man.err" ] && fail "man -l warns: $(cat "$TMP/man.err")"
for section in NOMBRE SINOPSIS OPCIONES "ESTADO DE SALIDA" ARCHIVOS; do
  grep -q "^$section" <<<"$rendered" || fail "the manual page lacks $section"
done

if ((failures)); then
  echo "package_check: $failures failures" >&2
  exit 1
fi
echo "package_check: ok"
