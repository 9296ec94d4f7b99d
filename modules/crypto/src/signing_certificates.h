#pragma once

#include "certificate.h"
#include "provider_registry.h"

#include <string>
#include <vector>

namespace zorva::plugin::crypto {

// A certificate on a token together with the key that signs for it.
struct SigningCertificate {
    // The SHA-256 of the certificate's DER in hexadecimal: stable across
    // sessions and readers, and it reveals nothing a page does not get anyway.
    std::string id;
    cryptoki::Token token;
    // CKA_ID, which pairs the certificate with its keys.
    Bytes keyId;
    Certificate certificate;
};

// Every certificate on every token whose key can sign: the token holds a key
// pair object with its CKA_ID (private keys are often hidden before login,
// their public halves are not), and the key usage allows signing, so an
// encryption-only certificate is never offered.
std::vector<SigningCertificate> signingCertificates(cryptoki::ProviderRegistry& registry);

// The certificate with this id, or ApplicationException RequestFormat with a text
// that says no token holds it.
const SigningCertificate& findCertificate(const std::vector<SigningCertificate>& certificates,
                                          const std::string& id);

}  // namespace zorva::plugin::crypto
