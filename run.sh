#!/usr/bin/env bash
# Installs what is missing, builds and starts the program. Its working directory is run/ (log/ and
# cert/RootCA_ZX.cer live there); run/ is not part of the source tree's tracked files. Without a root
# certificate there, a demo root CA is made (scripts/demo-ca.sh), so the whole apply journey can be tried.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release
cmake --build build-release --parallel "$(nproc)" --target ZorvikCertUtil

mkdir -p run/cert
if [ ! -f run/cert/RootCA_ZX.cer ]; then
    echo "No root certificate in run/cert/RootCA_ZX.cer: making a demo one with scripts/demo-ca.sh init."
    ./scripts/demo-ca.sh init run
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display is available, so the window cannot be shown; start it under a virtual display instead, for example: xvfb-run -a ./run.sh" >&2
    exit 1
fi
cd run
exec ../build-release/ZorvikCertUtil "$@"
