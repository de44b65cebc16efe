#!/usr/bin/env bash
# Installs what is missing, builds and starts the program. Its working directory is run/ (log/ and
# cert/RootCA_ZX.cer live there); run/ is not part of the source tree's tracked files.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release
cmake --build build-release --parallel "$(nproc)" --target ZorvikCertUtil

mkdir -p run/cert
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display is available, so the window cannot be shown; start it under a virtual display instead, for example: xvfb-run -a ./run.sh" >&2
    exit 1
fi
cd run
exec ../build-release/ZorvikCertUtil "$@"
