#pragma once

#include "provider_registry.h"

#include <string>

namespace zorva::plugin::crypto {

// The methods that only read tokens. Each takes the request's method data and
// returns the result text (JSON whose scalars are strings).

// data: "" for every provider, else a p11-kit module name or a token label.
// {"digests":[...],"signatureAlgorithms":[...],
//  "tokens":[{"module","label","mechanisms":[...]}]}
std::string algorithms(cryptoki::ProviderRegistry& registry, const std::string& provider);

// {"modules":[{"name","state":"loaded"|"failed","error"}],
//  "tokens":[{"module","label","manufacturer","model","serial","pinPad",
//             "pinCountLow","pinFinalTry","pinLocked"}]}
std::string status(cryptoki::ProviderRegistry& registry);

// data (all optional): {"keyUsage":"digitalSignature"|"nonRepudiation",
// "issuer":"<part of the issuer name>","valid":"true"}.
// [{"id","token","subject","issuer","validFrom","validUntil","certificate",
//   "algorithms":[...]}]
std::string certificates(cryptoki::ProviderRegistry& registry, const std::string& filter);

}  // namespace zorva::plugin::crypto
