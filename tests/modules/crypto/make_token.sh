#!/bin/sh
# Lays out a SoftHSM2 token in a directory of its own for the crypto tests:
# a test CA (openssl) and, on token "Test Token" (user PIN 123456):
#   01 RSA-2048 signing key with its certificate
#   02 EC P-256 signing key with its certificate
#   03 RSA-2048 key with CKA_ALWAYS_AUTHENTICATE and its certificate
#   04 RSA-2048 key whose certificate allows encryption only
#   05 a certificate whose key is not on the token
# Usage: make_token.sh DIR; then SOFTHSM2_CONF=DIR/softhsm2.conf.
set -eu
dir=$1
mkdir -p "$dir/tokens"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' \
  "$dir" >"$dir/softhsm2.conf"
export SOFTHSM2_CONF="$dir/softhsm2.conf"
library=/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so
softhsm2-util --init-token --free --label "Test Token" --so-pin 87654321 --pin 123456 >/dev/null
p11() { pkcs11-tool --module "$library" --login --pin 123456 "$@" >/dev/null 2>&1; }

cat >"$dir/extensions.cnf" <<'END'
[sign]
keyUsage = critical, digitalSignature, nonRepudiation
[encrypt]
keyUsage = critical, keyEncipherment
END
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" \
  -subj "/CN=Zorva Test CA" -days 30 2>/dev/null

# certify ID NAME EXTENSIONS: the token's public key in a certificate of the CA.
certify() {
  p11 --read-object --type pubkey --id "$1" -o "$dir/$2.pub.der"
  openssl pkey -pubin -inform DER -in "$dir/$2.pub.der" -out "$dir/$2.pub.pem"
  openssl x509 -new -subj "/CN=$2" -force_pubkey "$dir/$2.pub.pem" -CA "$dir/ca.pem" \
    -CAkey "$dir/ca.key" -days 30 -extfile "$dir/extensions.cnf" -extensions "$3" \
    -outform DER -out "$dir/$2.der" 2>/dev/null
  openssl x509 -inform DER -in "$dir/$2.der" -out "$dir/$2.pem"
  p11 --write-object "$dir/$2.der" --type cert --id "$1" --label "$2"
}

p11 --keypairgen --key-type rsa:2048 --id 01 --label "RSA Signer"
certify 01 "RSA Signer" sign
p11 --keypairgen --key-type EC:prime256v1 --id 02 --label "EC Signer"
certify 02 "EC Signer" sign
p11 --keypairgen --key-type rsa:2048 --id 03 --label "Always Signer" --always-auth
certify 03 "Always Signer" sign
p11 --keypairgen --key-type rsa:2048 --id 04 --label "Encryption Only"
certify 04 "Encryption Only" encrypt
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/keyless.key" -outform DER \
  -out "$dir/keyless.der" -subj "/CN=Keyless" -days 30 2>/dev/null
p11 --write-object "$dir/keyless.der" --type cert --id 05 --label "Keyless"
