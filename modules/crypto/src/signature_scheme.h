#pragma once

#include <openssl/types.h>

#include <string>

namespace zorva::plugin::crypto {

enum class Padding { Pkcs1, Pss, None };

// A hash function and a padding, as a page names them ("SHA-256",
// "PKCS1.5" / "PSS" / "NONE"). Anything else raises ApplicationException
// 20013.
struct SignatureScheme {
    const EVP_MD* digest = nullptr;
    Padding padding = Padding::Pkcs1;
};

// An empty padding picks the usual one for the key: PKCS#1 v1.5 for RSA,
// none for ECDSA; a padding that does not fit the key is 20013.
SignatureScheme signatureScheme(const std::string& hash, const std::string& padding,
                                const std::string& keyAlgorithm);

}  // namespace zorva::plugin::crypto
