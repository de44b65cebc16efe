#!/usr/bin/env bash
# Plays the platform for a demonstration, with plain openssl commands.
#   scripts/demo-ca.sh init [workdir]        makes a demo root CA; its certificate becomes workdir/cert/RootCA_ZX.cer
#                                            (workdir defaults to run/, the program's working directory)
#   scripts/demo-ca.sh issue [request.csr]   issues a certificate for a request (a file, or standard input) and
#                                            prints it in PEM form, as the platform sends it
# The CA's key stays in workdir/demo-ca/; set DEMO_CA_WORKDIR to use another working directory with issue.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
    sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

workdir=${DEMO_CA_WORKDIR:-$root/run}

case "${1:-}" in
init)
    workdir=${2:-$workdir}
    mkdir -p "$workdir/cert" "$workdir/demo-ca"
    chmod 700 "$workdir/demo-ca"
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
        -keyout "$workdir/demo-ca/ca.key" -out "$workdir/cert/RootCA_ZX.cer" \
        -subj "/C=CN/O=Zorvik Demo/CN=Zorvik Demo Root CA" 2>/dev/null
    echo "Demo root CA made: $workdir/cert/RootCA_ZX.cer (key in $workdir/demo-ca/ca.key)"
    ;;
issue)
    request=${2:--}
    [ -f "$workdir/demo-ca/ca.key" ] || { echo "No demo CA in $workdir; run: $0 init" >&2; exit 1; }
    openssl x509 -req -in "$request" -CA "$workdir/cert/RootCA_ZX.cer" -CAkey "$workdir/demo-ca/ca.key" \
        -set_serial "0x$(openssl rand -hex 8)" -days 365 -sha256 2>/dev/null
    ;;
*)
    usage
    ;;
esac
