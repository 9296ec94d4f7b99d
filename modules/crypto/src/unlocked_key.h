#pragma once

#include "secret.h"
#include "signature_scheme.h"
#include "signing_certificates.h"
#include "token_session.h"

namespace zorva::plugin::crypto {

// A signing key whose token the user logged in to, for one operation: a
// batch of documents signs under one login. Logs out when it goes.
class UnlockedKey {
public:
    // Logs in; a wrong PIN raises CryptokiException 160 and a locked one 164.
    UnlockedKey(const SigningCertificate& certificate, cryptoki::Secret pin);

    // The token's signature over a digest, in the form X.509 and CMS carry
    // it (DER for ECDSA).
    Bytes sign(const Bytes& digest, const SignatureScheme& scheme);

    const SigningCertificate& certificate() const { return certificate_; }

private:
    SigningCertificate certificate_;
    cryptoki::TokenSession session_;
    // Kept only for keys that want the PIN again for each signature.
    cryptoki::Secret contextPin_;
    bool alwaysAuthenticate_ = false;
    CK_OBJECT_HANDLE key_ = CK_INVALID_HANDLE;
};

}  // namespace zorva::plugin::crypto
