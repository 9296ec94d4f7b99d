#pragma once

#include "certificate.h"
#include "http_client.h"

#include <openssl/pkcs7.h>
#include <openssl/types.h>

#include <ctime>
#include <string>

namespace zorva::plugin::crypto {

// Where a timestamp comes from and what its TSA must lead to.
struct TimestampSource {
    std::string url;
    HttpLimits limits;
    // A PEM file or a directory; empty for the system's store.
    std::string trustStore;
};

// An RFC 3161 time-stamp token (a CMS SignedData, DER) over data, asked with
// a fresh nonce and the TSA's certificate, under the hash given. The answer
// is checked before it is used: its status, nonce and message imprint, the
// TSA certificate's critical extended key usage timeStamping, its chain to
// the trust store and the signature. Unreachable is ApplicationException
// TsaUnreachable, a refusal TsaRefused, an answer that fails a check TimestampInvalid, anything
// else (an answer that is no time-stamp response) TsaOther; the detail says why.
Bytes timestampToken(const Bytes& data, const EVP_MD* hash, const TimestampSource& source);

// The time a token states, as seconds since the epoch; 0 when it states none.
std::time_t tokenTime(PKCS7& token);

// What a token says and whether it holds for the data it stamps, its TSA's
// chain checked at the time it states: the TSA's certificate may have expired
// since.
struct TokenCheck {
    bool valid = false;
    // Why not, when it does not hold.
    std::string error;
    // "YYYY-MM-DD HH:MM:SS" UTC.
    std::string time;
    // The TSA's certificate subject.
    std::string tsa;
};
TokenCheck checkToken(const Bytes& token, const Bytes& data, const std::string& trustStore);

}  // namespace zorva::plugin::crypto
