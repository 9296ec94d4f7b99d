#pragma once

#include "long_term_settings.h"

#include <string>

namespace zorva::plugin::crypto {

// data: {"files":[signature, document]}: a CMS signature (DER) and, for a
// detached one, its document, as file descriptions (inline or joined from
// chunks). The document is streamed. Result {"valid","signer","signingTime",
// "digestAlgorithm","digest","chain","error","level","timestampTime",
// "timestampAuthority","timestampValid","timestampError","revocation"}: "valid" says
// whether the signature holds for the document; "chain" is "valid" when the
// signer's certificate leads to the trust store, else why not; "level" is the
// CAdES level found, and for a timestamped signature the token's time (UTC),
// its TSA's subject and whether it stamps this signature value and leads to
// the TSA trust store ("true"/"false", else ""); for CAdES-LT "revocation"
// is "complete" when the revocation values it carries clear every
// certificate of the signer's and the TSA's chains but the trust anchors,
// else why not.
std::string verifySignature(const std::string& data, const LongTermSettings& settings);

}  // namespace zorva::plugin::crypto
