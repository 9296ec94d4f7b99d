#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>

namespace zorva::plugin::crypto {

struct X509StoreFree {
    void operator()(X509_STORE* store) const;
};
using X509StorePtr = std::unique_ptr<X509_STORE, X509StoreFree>;

// The certificates a chain must end in: a PEM file or a directory of hashed
// certificates from the configuration; empty for the system's store.
X509StorePtr trustStoreOf(const std::string& path);

}  // namespace zorva::plugin::crypto
