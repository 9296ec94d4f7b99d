#pragma once

#include "certificate.h"

#include <vector>

namespace zorva::plugin::crypto {

// OCSP responses as RevocationInfoChoices of a CMS SignedData: the choice
// "other" with id-ri-ocsp-response (RFC 5940). OpenSSL parses and keeps
// these but offers no call to add or read them, so they are placed into and
// read from the DER.

// The signature (a DER ContentInfo of SignedData) with the OCSP responses
// added to its "crls" and its version 5, as RFC 5652 asks for "other"
// revocation information.
Bytes withOcspResponses(const Bytes& signature, const std::vector<Bytes>& responses);

// The OCSP responses among the signature's RevocationInfoChoices; none for
// a signature that is not DER.
std::vector<Bytes> ocspResponses(const Bytes& signature);

}  // namespace zorva::plugin::crypto
