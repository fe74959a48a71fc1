#!/usr/bin/env bash
# The window tests under a real X server (Xvfb, the xcb platform), as an
# operator's desktop runs them, not only offscreen: painting while a
# connection waits and while an import runs, a close request mid-import,
# typed dates, the run's boxes. The long import's test also keeps a
# screenshot taken in the middle of the import, BUILD_DIR/screenshot-import.png,
# which must show the window drawn with the status panel's navy text.
#
#   tests/scripts/window_xvfb.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: window_xvfb.sh BUILD_DIR}
for t in app_window_run_test app_run_painting_test; do
  [ -x "$build/tests/app/$t" ] || { echo "window_xvfb.sh: $build/tests/app/$t not built" >&2; exit 1; }
done
for tool in xvfb-run convert; do
  command -v "$tool" >/dev/null || { echo "window_xvfb.sh: $tool not installed" >&2; exit 1; }
done

shot=$build/screenshot-import.png
rm -f "$shot"
for t in app_window_run_test app_run_painting_test; do
  env QT_QPA_PLATFORM=xcb IMPORTA_SCREENSHOT_DIR="$build" \
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$build/tests/app/$t" --gtest_brief=1
done

[ -f "$shot" ] || { echo "window_xvfb.sh: no screenshot taken mid-import" >&2; exit 1; }
colours=$(convert "$shot" -format '%k' info:)
[ "$colours" -gt 16 ] || { echo "window_xvfb.sh: the mid-import screenshot is blank" >&2; exit 1; }
# The status panel's caption is navy (0,0,128); antialiasing leaves some
# pixels exactly so.
navy=$(convert "$shot" -fill white +opaque 'rgb(0,0,128)' -fill black -opaque 'rgb(0,0,128)' \
  -negate -format '%[fx:round(mean*w*h)]' info:)
[ "$navy" -gt 20 ] || { echo "window_xvfb.sh: no status panel caption in the screenshot ($navy navy pixels)" >&2; exit 1; }
echo "window_xvfb.sh: window tests passed under Xvfb; mid-import screenshot $shot ($colours colours, $navy navy pixels)"
