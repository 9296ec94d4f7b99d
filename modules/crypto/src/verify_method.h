#pragma once

#include "certificate.h"
#include "file_description.h"
#include "json_binding.h"
#include "long_term_settings.h"

#include <string>
#include <vector>

namespace zorva::plugin::crypto {

// What verify finds; see verifySignature.
struct SignatureVerdict {
    std::string valid = "false", signer, signingTime, digestAlgorithm, digest, chain, error;
    std::string level = "CAdES-BES", timestampTime, timestampAuthority, timestampValid,
                timestampError, revocation;

    // The signature as read, not part of the reply.
    Bytes signature;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("valid", valid) & json_dto::mandatory("signer", signer) &
            json_dto::mandatory("signingTime", signingTime) &
            json_dto::mandatory("digestAlgorithm", digestAlgorithm) &
            json_dto::mandatory("digest", digest) & json_dto::mandatory("chain", chain) &
            json_dto::mandatory("error", error) & json_dto::mandatory("level", level) &
            json_dto::mandatory("timestampTime", timestampTime) &
            json_dto::mandatory("timestampAuthority", timestampAuthority) &
            json_dto::mandatory("timestampValid", timestampValid) &
            json_dto::mandatory("timestampError", timestampError) &
            json_dto::mandatory("revocation", revocation);
    }
};

// The signature files[0] (and, when detached, its document files[1]) as
// verify judges them.
SignatureVerdict checkSignature(const std::vector<FileInfo>& files,
                                const LongTermSettings& settings);

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
