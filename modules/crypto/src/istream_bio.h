#pragma once

#include <openssl/types.h>

#include <istream>

namespace zorva::plugin::crypto {

// A read-only BIO over a stream, so OpenSSL hashes a document while it is
// read instead of after it was held in memory. The stream must outlive it.
BIO* istreamBio(std::istream& stream);

}  // namespace zorva::plugin::crypto
