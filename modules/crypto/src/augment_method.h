#pragma once

#include "long_term_settings.h"

#include <string>

namespace zorva::plugin::crypto {

// data: {"format":"CAdES-T"|"CAdES-LT","tsa":"<one of the configured TSA
// URLs>" (optional),"files":[signature, document]}: brings an existing CAdES
// signature (detached with its document, or attached) up to the level asked,
// from B to T and from T to LT. No new signature is made, so neither the
// token nor the user is asked. A signature that does not verify, whose
// timestamp does not, or that is already at that level is refused
// (ApplicationException RequestFormat, TimestampInvalid); TSA and revocation failures carry
// their codes as for sign. Result {"name","signature","level"}.
std::string augmentSignature(const std::string& data, const LongTermSettings& settings);

}  // namespace zorva::plugin::crypto
