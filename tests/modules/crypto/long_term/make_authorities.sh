#!/bin/sh
# Lays out the authorities of the long-term signature tests in DIR: a CA of
# their own ("Zorva Test TSA CA") with
#   tsa.pem/.key  the TSA's certificate, critical EKU timeStamping (OpenSSL's
#                 TSA refuses to sign with any other, as the host refuses it)
# and tsa.cnf, whose sections "good" and "rejecting" (takes SHA-1 queries
# only) answer `openssl ts -reply`.
# Usage: make_authorities.sh DIR
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
cat >extensions.cnf <<'END'
[tsa]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
END
openssl req -x509 -newkey rsa:2048 -nodes -keyout tsa-ca.key -out tsa-ca.pem \
  -subj "/CN=Zorva Test TSA CA" -days 30 2>/dev/null
# issue NAME EXTENSIONS
issue() {
  openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" \
    -subj "/CN=Zorva Test $1" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA tsa-ca.pem -CAkey tsa-ca.key -CAcreateserial -days 30 \
    -extfile extensions.cnf -extensions "$2" -out "$1.pem" 2>/dev/null
}
issue tsa tsa
echo 01 >tsaserial
# section NAME SIGNER DIGESTS
section() {
  cat <<END
[$1]
dir = $dir
serial = \$dir/tsaserial
crypto_device = builtin
signer_cert = \$dir/$2.pem
signer_key = \$dir/$2.key
certs = \$dir/tsa-ca.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = $3
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
END
}
{
  printf '[tsa]\ndefault_tsa = good\n'
  section good tsa "sha256, sha384, sha512"
  section rejecting tsa "sha1"
} >tsa.cnf
