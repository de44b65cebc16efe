#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets with the openssl command line: scripts/fuzz-corpus.sh <directory>
# writes one folder per target into <directory>. PKCS#12 files use the password the targets use ("fuzz"), and
# most of them one iteration, so that the fuzzer spends its time on parsing rather than on key derivation.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")/.." && pwd)
fuzz_key="$here/fuzz/data/fuzz_key.pem"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

ossl() { openssl "$@" 2>/dev/null; }

# Key material: RSA of the size the tool makes and a small one, an EC key, a bare public key, encrypted keys.
ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa2048.pem
ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out rsa1024.pem
ossl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.pem
ossl pkey -in rsa1024.pem -traditional -out rsa1024_trad.pem
ossl pkey -in rsa1024.pem -pubout -out rsa1024_pub.pem
ossl pkey -in rsa1024.pem -aes128 -passout pass:fuzz -out rsa1024_enc.pem
ossl req -x509 -new -key rsa2048.pem -utf8 -subj "/C=CN/O=Zorvik商户系统/OU=测试商户/CN=898110000000001" -days 30 \
    -out rsa2048_cert.pem
ossl req -x509 -new -key rsa1024.pem -subj "/CN=small" -days 30 -out rsa1024_cert.pem
ossl req -x509 -new -key ec.pem -subj "/CN=ec" -days 30 -out ec_cert.pem
ossl req -new -key rsa1024.pem -subj "/CN=request" -out request.pem

mkdir -p "$out"/{base64,signengine_pkcs12,signengine_der,signengine_pem,certengine_parse,certengine_pkcs12,certengine_pem,decrypt,history_restore}

# PKCS#12: the library's current default (AES and PBKDF2), the legacy one (RC2-40 and triple DES), triple DES
# for both bags, a key without certificate, an EC key, and one with the default iteration count.
p12() { ossl pkcs12 -export -passout pass:fuzz "$@"; }
p12 -iter 1 -inkey rsa1024.pem -in rsa1024_cert.pem -out "$out/signengine_pkcs12/aes.p12"
p12 -iter 1 -legacy -inkey rsa1024.pem -in rsa1024_cert.pem -out "$out/signengine_pkcs12/legacy.p12"
p12 -iter 1 -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1 -inkey rsa1024.pem -in rsa1024_cert.pem \
    -out "$out/signengine_pkcs12/3des.p12"
p12 -iter 1 -nocerts -inkey rsa1024.pem -out "$out/signengine_pkcs12/keyonly.p12"
p12 -iter 1 -inkey ec.pem -in ec_cert.pem -out "$out/signengine_pkcs12/ec.p12"
p12 -inkey rsa2048.pem -in rsa2048_cert.pem -out "$out/signengine_pkcs12/default.p12"
p12 -iter 1 -nokeys -in rsa1024_cert.pem -out "$out/signengine_pkcs12/certonly.p12"
# Counts of 65,536 raised to 8,388,607 in place: a file that claims more key derivation than the engines allow.
p12 -iter 65536 -nomac -inkey rsa1024.pem -in rsa1024_cert.pem -out counts.p12
perl -0777 -pe 's/\x02\x03\x01\x00\x00/\x02\x03\x7f\xff\xff/g' counts.p12 >"$out/signengine_pkcs12/endless.p12"
cp "$out"/signengine_pkcs12/* "$out/certengine_pkcs12/"

# DER certificates, and DER that is no certificate.
ossl x509 -in rsa2048_cert.pem -outform DER -out "$out/signengine_der/rsa2048.cer"
ossl x509 -in rsa1024_cert.pem -outform DER -out "$out/signengine_der/rsa1024.cer"
ossl x509 -in ec_cert.pem -outform DER -out "$out/signengine_der/ec.cer"
ossl req -in request.pem -outform DER -out "$out/signengine_der/request.der"

# PEM: every key form, certificates, and the mixtures a merchant's folder holds.
for f in rsa1024.pem rsa1024_trad.pem rsa1024_pub.pem rsa1024_enc.pem ec.pem rsa1024_cert.pem ec_cert.pem request.pem; do
    cp "$f" "$out/signengine_pem/$f"
done
cat rsa1024.pem rsa1024_cert.pem >"$out/signengine_pem/key_and_cert.pem"
cat rsa1024_enc.pem rsa1024_cert.pem >"$out/signengine_pem/enc_and_cert.pem"
cp "$out"/signengine_pem/* "$out/certengine_pem/"

# Pasted certificate texts: bare, with remarks around the block, two blocks.
cp rsa2048_cert.pem "$out/certengine_parse/cert.pem"
cp ec_cert.pem "$out/certengine_parse/ec.pem"
{ printf '证书如下:\r\n\r\n'; cat rsa1024_cert.pem; printf '\r\n-- end\r\n'; } >"$out/certengine_parse/remarks.pem"
cat rsa1024_cert.pem ec_cert.pem >"$out/certengine_parse/two.pem"

# Base64: short groups, padding in the middle, a signature-sized text, text with a line break.
printf 'YWJj' >"$out/base64/three"
printf 'YQ==YWI=YWJj' >"$out/base64/padded"
head -c 256 /dev/urandom | base64 -w0 >"$out/base64/signature"
head -c 100 /dev/urandom | base64 -w 64 >"$out/base64/wrapped"

# Ciphertexts for the fixed key: one block, two blocks, private-key encryption, and a piece of a block.
encrypt() { # text length, file name, pkeyutl operation
    head -c "$1" /dev/zero | tr '\0' 'z' >plain
    : >cipher
    for ((offset = 0; offset < $1; offset += 245)); do
        dd if=plain bs=1 skip="$offset" count=245 status=none >chunk
        ossl pkeyutl "$3" -inkey "$fuzz_key" -pkeyopt rsa_padding_mode:pkcs1 -in chunk >>cipher
    done
    base64 -w0 cipher >"$out/decrypt/$2"
}
encrypt 1 one_block -encrypt
encrypt 300 two_blocks -encrypt
encrypt 20 private_block -sign
head -c 300 /dev/urandom | base64 -w0 >"$out/decrypt/short_block"

# History records: a real one, one with a damaged key, one without members.
json() { awk '{ printf "%s\\n", $0 }' "$1"; }
record() { # key file, file name
    printf '{"csr":"%s","key":"%s","spName":"深圳市测试商户有限公司","spNo":"898110000000001"}' \
        "$(json request.pem)" "$(json "$1")" >"$out/history_restore/$2"
}
record rsa1024.pem record.json
record rsa1024_pub.pem public_key.json
printf '{"spNo":1,"spName":null,"csr":[],"key":{}}' >"$out/history_restore/types.json"
printf '[]' >"$out/history_restore/array.json"
