#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>
#include <vector>

namespace zorva::plugin::crypto {

using Bytes = std::vector<unsigned char>;

struct X509Free {
    void operator()(X509* certificate) const;
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

// Raises CryptoException when the bytes are no DER certificate.
X509Ptr parseCertificate(const Bytes& der);

// What the user and the page read of a certificate.
struct CertificateText {
    std::string subject;
    std::string issuer;
    // "YYYY-MM-DD HH:MM:SS" UTC.
    std::string validFrom;
    std::string validUntil;
    bool expired = false;
};
CertificateText describe(X509& certificate);
// The same for the user's eyes: subject and issuer begin with their common
// names, whatever order the certificate keeps.
CertificateText describeCommonNameFirst(X509& certificate);

// Whether the key usage allows signing (digitalSignature or
// nonRepudiation); a certificate without the extension allows it.
bool canSign(X509& certificate);

// "RSA" or "ECC".
std::string keyAlgorithm(X509& certificate);

// The signature algorithms the key can make, as pages name them, e.g.
// "RSA/SHA-256/PKCS1.5", "ECC/SHA-384/NONE".
std::vector<std::string> signatureAlgorithms(X509& certificate);

std::string base64(const Bytes& bytes);
// Raises ApplicationException 20015 for text that is not base64.
Bytes fromBase64(const std::string& text);

}  // namespace zorva::plugin::crypto
