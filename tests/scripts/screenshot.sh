#!/usr/bin/env bash
# Starts the real window under a virtual X server, takes a screenshot of the
# screen and checks it: the window is drawn (not a blank screen), it is
# 363 x 359 pixels and centred.
#
#   tests/scripts/screenshot.sh BUILD_DIR
#
# The install-directory store and settings.conf live in a temporary folder
# (IMPORTA_SYSTEM_CONFIG_DIR); the settings name no company, so the window
# opens without connecting. The screenshot is kept as BUILD_DIR/screenshot.png.
set -euo pipefail

build=${1:?usage: screenshot.sh BUILD_DIR}
exe=$build/app/importa-pedidos
[ -x "$exe" ] || { echo "screenshot.sh: $exe not built" >&2; exit 1; }
for tool in xvfb-run import convert; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/xdg/QRM" "$work/install"
printf '[General]\nDirectorio=%s\n' "$work/install" > "$work/xdg/QRM/Quintavalle.conf"
printf 'localhost\r\nSYSDBA\r\n\r\n\r\n' > "$work/install/settings.conf"

shot=$build/screenshot.png
width=1024
height=768

# Inside the X server: start the program, wait until something is drawn,
# take the picture, end the program.
cat > "$work/inside.sh" <<'INSIDE'
set -euo pipefail
exe=$1 shot=$2
"$exe" & pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT
for _ in $(seq 1 60); do
  sleep 0.5
  kill -0 $pid 2>/dev/null || { echo "the program ended before it was shown" >&2; exit 1; }
  import -window root "$shot" 2>/dev/null || continue
  # A black screen has one colour; the window brings many.
  colours=$(convert "$shot" -format '%k' info:)
  [ "$colours" -gt 16 ] && exit 0
done
echo "nothing was drawn on the screen" >&2
exit 1
INSIDE

env -u QT_QPA_PLATFORM LC_ALL=C IMPORTA_SYSTEM_CONFIG_DIR="$work/xdg" \
  xvfb-run -a -s "-screen 0 ${width}x${height}x24 -br -nolisten tcp" \
  bash "$work/inside.sh" "$exe" "$shot"

size=$(identify -format '%wx%h' "$shot")
[ "$size" = "${width}x${height}" ] || { echo "screenshot is $size, not ${width}x${height}" >&2; exit 1; }

# The drawn part of the black screen is the window (no window manager, so
# no frame): its box must be 363 x 359 and centred.
box=$(convert "$shot" -trim -format '%w %h %X %Y' info:)
read -r w h x y <<<"$box"
x=${x#+}
y=${y#+}
[ "$w" -eq 363 ] && [ "$h" -eq 359 ] || { echo "window drawn as ${w}x${h}, not 363x359" >&2; exit 1; }
cx=$((x + w / 2)) cy=$((y + h / 2))
if [ $((cx - width / 2)) -lt -2 ] || [ $((cx - width / 2)) -gt 2 ] ||
   [ $((cy - height / 2)) -lt -2 ] || [ $((cy - height / 2)) -gt 2 ]; then
  echo "window not centred: its centre is at $cx,$cy" >&2
  exit 1
fi
colours=$(convert "$shot" -crop "${w}x${h}+${x}+${y}" -format '%k' info:)
[ "$colours" -gt 16 ] || { echo "the window is blank ($colours colours)" >&2; exit 1; }
echo "screenshot.sh: window ${w}x${h} at +$x+$y, $colours colours; saved $shot"
