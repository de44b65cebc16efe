#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; does nothing when all are present.
#   --fuzz       also clang and its runtime libraries (libFuzzer and the sanitizers), for scripts/fuzz.sh
#   --valgrind   also valgrind, for scripts/valgrind.sh
#   --windows    also the MinGW-w64 cross compiler, Wine and NSIS, for the Windows build (scripts/windows-build.sh),
#                its tests under Wine and its zip and installer
set -euo pipefail

packages=(
    cmake g++ make
    qtbase5-dev qtbase5-dev-tools qttranslations5-l10n
    libssl-dev openssl
    fonts-noto-cjk
    xvfb xauth python3 python3-xlib
    dpkg-dev appstream desktop-file-utils
    jq strace
)
for option in "$@"; do
    case "$option" in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    --valgrind) packages+=(valgrind) ;;
    --windows) packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine64 wine nsis
                          fonts-wine zip unzip xz-utils fonts-dejavu-core) ;;
    *) echo "install-deps.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "Installing packages needs root or sudo." >&2; exit 1; }
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
