#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, as the Windows tests need it:
#   scripts/wine-run.sh [--qtest] PROGRAM.exe [ARGUMENTS...]
#   scripts/wine-run.sh --exec COMMAND [ARGUMENTS...]   COMMAND (wine itself, say) in the same Wine environment
#                                                       and prefix, without the QT_* and DLL path set-up
# Environment:
#   WINEPREFIX      the Wine prefix to use; made on first use (once, under a lock). Required.
#   WINTOOL_PREFIX  the Qt + OpenSSL prefix of the toolchain bundle: its bin/ goes on the program's PATH, so the
#                   Qt, OpenSSL and MinGW DLLs are found, and its plugins/ is Qt's plugin path.
#   QT_*            handed to the program. Wine keeps QT_* variables of the Unix environment from Windows programs,
#                   so they are set inside cmd instead.
# With --qtest the program is a QtTest program: without a console QtTest writes to the debugger channel, so its
# output goes to a file (-o FILE,txt) that is printed afterwards. The program's exit code is the script's.
set -euo pipefail

qtest=0
direct=0
case "${1:-}" in
--qtest) qtest=1; shift ;;
--exec) direct=1; shift ;;
esac
if [ $# -lt 1 ] || [ -z "${WINEPREFIX:-}" ]; then
    echo "usage: WINEPREFIX=DIR [WINTOOL_PREFIX=DIR] $0 [--qtest] PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi
program=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
# No desktop menu entries on this machine for Start-menu entries, no Mono or Gecko prompts.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe,mscoree,mshtml=d}
export WINEPREFIX

# The first start of a prefix takes about 20 s; tests started side by side wait for one another here.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
    ) 9>"$WINEPREFIX.lock"
fi

[ $direct -eq 0 ] || exec "$program" "$@"

windows_path() { winepath -w "$1" 2>/dev/null; }

assignments=()
if [ -n "${WINTOOL_PREFIX:-}" ]; then
    export WINEPATH="$(windows_path "$WINTOOL_PREFIX/bin")${WINEPATH:+;$WINEPATH}"
    [ -n "${QT_PLUGIN_PATH:-}" ] || export QT_PLUGIN_PATH="$WINTOOL_PREFIX/plugins"
fi
# Qt's offscreen platform on Windows finds no system fonts; give it the CJK and Latin fonts the Linux tests use.
if [ "${QT_QPA_PLATFORM:-}" = "offscreen" ] && [ -z "${QT_QPA_FONTDIR:-}" ]; then
    fonts=$WINEPREFIX/qt-fonts
    if [ ! -d "$fonts" ]; then
        # Made aside under a name of this run's own, so that tests started side by side cannot meet halfway.
        staging=$(mktemp -d "$fonts.XXXXXX")
        for font in /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc \
                    /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf; do
            [ -f "$font" ] && ln -sf "$font" "$staging/"
        done
        mv -T "$staging" "$fonts" 2>/dev/null || rm -rf "$staging"
    fi
    export QT_QPA_FONTDIR=$fonts
fi
while IFS='=' read -r name value; do
    case "$name" in
    QT_PLUGIN_PATH | QT_QPA_FONTDIR) value=$(windows_path "$value") ;;
    esac
    assignments+=("set $name=$value&&")
done < <(env | grep -E '^QT_[A-Z0-9_]*=' || true)

result=
arguments=("$@")
if [ $qtest -eq 1 ]; then
    result=$(mktemp --suffix=.txt)
    trap 'rm -f "$result"' EXIT
    arguments=(-o "$(windows_path "$result"),txt" "$@")
fi
quoted=()
for argument in "${arguments[@]}"; do
    case "$argument" in
    *[[:space:]]*) quoted+=("\"$argument\"") ;;
    *) quoted+=("$argument") ;;
    esac
done

status=0
wine cmd /c "${assignments[*]} $(windows_path "$program") ${quoted[*]}" || status=$?
if [ -n "$result" ] && [ -s "$result" ]; then
    # QtTest writes its text log with CR LF line ends on Windows.
    tr -d '\r' <"$result"
fi
exit $status
