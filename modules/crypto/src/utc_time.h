#pragma once

#include <openssl/types.h>

#include <string>

namespace zorva::plugin::crypto {

// "YYYY-MM-DD HH:MM:SS" UTC, as every reply and the dialog show a time;
// empty when there is no time or it does not read.
std::string utcText(const ASN1_TIME* time);

}  // namespace zorva::plugin::crypto
