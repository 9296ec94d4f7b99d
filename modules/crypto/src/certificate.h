#pragma once

#include "openssl_ptr.h"

#include <string>
#include <vector>

namespace zorva::plugin::crypto {

using Bytes = std::vector<unsigned char>;

// A certificate as it came, in DER, and as OpenSSL reads it: parsed once
// where it enters the module and passed on. Copies share the parsed object,
// whose references OpenSSL counts.
class Certificate {
public:
    // Raises CryptoException when the bytes are no DER certificate.
    explicit Certificate(Bytes der);
    Certificate(const Certificate& other);
    Certificate& operator=(const Certificate& other);
    Certificate(Certificate&&) noexcept = default;
    Certificate& operator=(Certificate&&) noexcept = default;
    ~Certificate() = default;

    const Bytes& der() const { return der_; }
    // OpenSSL's functions take it as non-const, though they only read it.
    X509& x509() const { return *x509_; }

private:
    Bytes der_;
    X509Ptr x509_;
};

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
// Raises ApplicationException RequestFormat for text that is not base64.
Bytes fromBase64(const std::string& text);

}  // namespace zorva::plugin::crypto
