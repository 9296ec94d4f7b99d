#pragma once

#include <openssl/types.h>

#include <string>

namespace zorva::plugin::crypto {

enum class Padding { Pkcs1, Pss, None };

// A hash function and a padding, as a page names them ("SHA-256",
// "PKCS1.5" / "PSS" / "NONE"). Anything else raises ApplicationException
// NotImplemented.
struct SignatureScheme {
    const EVP_MD* digest = nullptr;
    Padding padding = Padding::Pkcs1;
};

// The hash function a page names; empty is SHA-256. It is known before the
// key, so a document's digest needs no certificate.
const EVP_MD* hashFunction(const std::string& name);

// An empty padding picks the usual one for the key: PKCS#1 v1.5 for RSA,
// none for ECDSA; a padding that does not fit the key is NotImplemented.
SignatureScheme signatureScheme(const EVP_MD* hash, const std::string& padding,
                                const std::string& keyAlgorithm);

}  // namespace zorva::plugin::crypto
