#pragma once

#include "certificate.h"
#include "signature_scheme.h"
#include "unlocked_key.h"

#include <openssl/cms.h>

#include <string>

namespace zorva::plugin::crypto {

// A CAdES-BES signature (CMS SignedData with the signed attributes
// content-type, signing-time, message-digest and signing-certificate-v2) over
// a document whose digest under the scheme's hash is known. OpenSSL builds the
// structure; the token signs the DER of the signed attributes. The content is
// embedded when given, else the signature is detached.
Bytes cadesSignature(UnlockedKey& key, const SignatureScheme& scheme, const Bytes& documentDigest,
                     const std::string* content);

// What a signer's signature covers: its signed attributes as a DER SET OF,
// the elements in the order of their encodings, as a verifier re-encodes them.
Bytes signedAttributes(CMS_SignerInfo& signer);

// Checks a signature this module made before it leaves the host: it parses,
// the signer's key verifies the signed attributes, and their message digest
// is the document's. Anything else is ApplicationException OutputDamaged.
void checkOwnSignature(const Bytes& signature, const Bytes& documentDigest);

}  // namespace zorva::plugin::crypto
