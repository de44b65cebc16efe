#!/usr/bin/env bash
# Remakes the README's screenshots of the apply journey (docs/wizard-*.png) and of the main window at 200 %
# (docs/main-window-200.png): builds the screenshot program and runs it on a virtual X display (Xvfb, the xcb
# platform) against a demo root CA. Run it again whenever a page changes.
set -euo pipefail
cd "$(dirname "$0")/.."
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
