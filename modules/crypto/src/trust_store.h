#pragma once

#include "openssl_ptr.h"

#include <string>

namespace zorva::plugin::crypto {

// The certificates a chain must end in: a PEM file or a directory of hashed
// certificates from the configuration; empty for the system's store.
X509StorePtr trustStoreOf(const std::string& path);

}  // namespace zorva::plugin::crypto
