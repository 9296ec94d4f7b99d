#pragma once

#include "certificate.h"
#include "http_client.h"

#include <string>

namespace zorva::plugin::crypto {

// Where the validation data of a B-LT signature come from: the addresses
// its certificates name, asked only when the configuration allows it.
struct ValidationSource {
    std::string trustStore;
    std::string tsaTrustStore;
    HttpLimits limits;
};

// The signature (already at level T) with the validation data of EN 319
// 122-1 B-LT: in "certificates" the signer's chain up to the trust store and
// the chain of the signature timestamp's TSA up to the TSA trust store; in
// "crls", for each of their certificates but the trust anchors, an OCSP
// response (from the certificate's authority information access, as
// id-ri-ocsp-response) or else a CRL (from its distribution point). Each
// answer is checked: signed by the issuer or its delegated responder, current,
// and "good". A revoked or unknown certificate, a chain that does not reach
// its store or a certificate without a source is ApplicationException TsaOther;
// an unreachable server TsaUnreachable.
Bytes withValidationData(const Bytes& signature, const ValidationSource& source);

// Whether the revocation values a signature carries cover its signer's and
// TSA's chains without the network: "complete", or why not.
std::string revocationCoverage(const Bytes& signature, const ValidationSource& source);

}  // namespace zorva::plugin::crypto
