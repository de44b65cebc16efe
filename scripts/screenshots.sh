#!/usr/bin/env bash
# Remakes the README's screenshots of the apply journey (docs/wizard-*.png): builds the screenshot program and
# runs it headless, on Qt's offscreen platform, against a demo root CA. Run it again whenever a page changes.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build --parallel "$(nproc)" --target shots_wizard
mkdir -p docs
QT_QPA_PLATFORM=offscreen QT_QPA_PLATFORMTHEME= LC_ALL=C.UTF-8 build/tests/shots/shots_wizard docs scripts/demo-ca.sh
ls -l docs/wizard-*.png
