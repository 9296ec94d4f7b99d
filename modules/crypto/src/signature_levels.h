#pragma once

#include "certificate.h"
#include "timestamp.h"

#include <openssl/cms.h>

#include <string>

namespace zorva::plugin::crypto {

// The CAdES levels this module makes (ETSI EN 319 122-1 baseline): B, B-T
// (a timestamp over the signature value) and B-LT (T with the certificates
// and revocation values to check it later without the network).
enum class Level { Bes, T, Lt };

// "CAdES-BES" (or ""), "CAdES-T" and "CAdES-LT"; any other is
// ApplicationException NotImplemented.
Level levelOf(const std::string& name);
const char* levelName(Level level);

// The signature with an id-aa-signatureTimeStampToken unsigned attribute on
// each signer, over its signature value, under the signer's digest
// algorithm. The token is checked as it arrives (see timestampToken).
Bytes withSignatureTimestamp(const Bytes& signature, const TimestampSource& source);

// The id-aa-signatureTimeStampToken of the first signer that has one, and
// the signature value it stamps; empty when there is none.
struct StampedValue {
    Bytes token;
    Bytes signatureValue;
};
StampedValue signatureTimestamp(CMS_ContentInfo& cms);

}  // namespace zorva::plugin::crypto
