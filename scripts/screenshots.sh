#!/usr/bin/env bash
# Remakes the README's screenshots; run it again whenever a page changes.
#   scripts/screenshots.sh             the apply journey (docs/wizard-*.png) and the main window at 200 %
#                                      (docs/main-window-200.png): builds the screenshot program and runs it on a
#                                      virtual X display (Xvfb, the xcb platform) against a demo root CA
#   scripts/screenshots.sh --windows   the same, and the main window under Wine with Wine's title bar
#                                      (docs/windows-main-window.png): cross-builds into build-win/ as
#                                      ./test.sh --windows does and shoots with scripts/windows-screenshot.py
set -euo pipefail
cd "$(dirname "$0")/.."
windows=0
case "${1:-}" in
"") ;;
--windows) windows=1 ;;
*) echo "usage: $0 [--windows]" >&2; exit 2 ;;
esac
./scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build --parallel "$(nproc)" --target shots_wizard
mkdir -p docs
shoot() { # output directory, font DPI (96 is 100 %)
    QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= QT_FONT_DPI="$2" LC_ALL=C.UTF-8 \
        xvfb-run -a -s "-dpi 96 -screen 0 1600x1400x24" build/tests/shots/shots_wizard "$1" scripts/demo-ca.sh
}
shoot docs 96
scaled=$(mktemp -d)
trap 'rm -rf "$scaled"' EXIT
shoot "$scaled" 192
cp "$scaled/wizard-0-main.png" docs/main-window-200.png
ls -l docs/wizard-*.png docs/main-window-200.png

if [ $windows -eq 1 ]; then
    ./scripts/windows-build.sh build-win
    scripts/windows-screenshot.py build-win docs/windows-main-window.png
    ls -l docs/windows-main-window.png
fi
