#!/bin/sh
# Issues, for a long-term signature test, the certificates whose revocation
# sources point at the test's authority server on 127.0.0.1:PORT, in DIR (a
# copy of what make_authorities.sh laid out, whose tsa.cnf it points at DIR):
#   tsa.pem        the TSA's certificate again, its CRL at /tsa.crl (tsa.crl,
#                  signed by the TSA CA, revoking another serial)
#   signer.pem     the token's "RSA Signer" key certified by the token's CA,
#                  its OCSP responder at /ocsp (ocsp.pem, delegated by that CA)
#   index.txt      the responder's view of signer.pem: STATE good, revoked or
#                  unknown
# and puts signer.pem on the token of SOFTHSM2_CONF in place of id 01.
# Usage: issue_long_term.sh DIR PORT TOKEN_DIR STATE
set -eu
dir=$1 port=$2 token=$3 state=$4
cd "$dir"
sed -i "s#^dir = .*#dir = $dir#" tsa.cnf
base="http://127.0.0.1:$port"
cat >long_term.cnf <<END
[tsa]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
crlDistributionPoints = URI:$base/tsa.crl
[signer]
keyUsage = critical, digitalSignature, nonRepudiation
authorityInfoAccess = OCSP;URI:$base/ocsp
[responder]
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, OCSPSigning
noCheck = ignored
[ca]
default_ca = tsa_ca
[tsa_ca]
database = $dir/crl-index.txt
crlnumber = $dir/crlnumber
default_md = sha256
default_crl_days = 1
END
openssl x509 -req -in tsa.csr -CA tsa-ca.pem -CAkey tsa-ca.key -set_serial 0x7001 -days 30 \
  -extfile long_term.cnf -extensions tsa -out tsa.pem 2>/dev/null
printf 'R\t301231000000Z\t250101000000Z\t0BAD\tunknown\t/CN=Revoked Elsewhere\n' >crl-index.txt
echo 01 >crlnumber
openssl ca -gencrl -config long_term.cnf -keyfile tsa-ca.key -cert tsa-ca.pem \
  -out tsa.crl.pem 2>/dev/null
openssl crl -in tsa.crl.pem -outform DER -out tsa.crl

openssl x509 -new -subj "/CN=RSA Signer" -force_pubkey "$token/RSA Signer.pub.pem" \
  -CA "$token/ca.pem" -CAkey "$token/ca.key" -set_serial 0x5001 -days 30 \
  -extfile long_term.cnf -extensions signer -outform DER -out signer.der 2>/dev/null
openssl x509 -inform DER -in signer.der -out signer.pem
openssl req -new -newkey rsa:2048 -nodes -keyout ocsp.key -out ocsp.csr \
  -subj "/CN=Zorva Test OCSP" 2>/dev/null
openssl x509 -req -in ocsp.csr -CA "$token/ca.pem" -CAkey "$token/ca.key" -set_serial 0x5002 \
  -days 30 -extfile long_term.cnf -extensions responder -out ocsp.pem 2>/dev/null
case $state in
  good) printf 'V\t301231000000Z\t\t5001\tunknown\t/CN=RSA Signer\n' >index.txt ;;
  revoked) printf 'R\t301231000000Z\t250101000000Z\t5001\tunknown\t/CN=RSA Signer\n' >index.txt ;;
  unknown) : >index.txt ;;
esac
cp "$token/ca.pem" ocsp-ca.pem

library=/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so
p11() { pkcs11-tool --module "$library" --login --pin 123456 "$@" >/dev/null 2>&1; }
p11 --delete-object --type cert --id 01
p11 --write-object signer.der --type cert --id 01 --label "RSA Signer"
