#pragma once

#include "openssl_ptr.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zorva::plugin {

// Lowercase hexadecimal.
std::string toHex(const unsigned char* bytes, std::size_t size);

// A hash computed piece by piece through OpenSSL's EVP interface, which picks
// the processor's SHA extensions where they exist. Every module hashes
// through this one implementation.
class EvpDigest {
public:
    explicit EvpDigest(const EVP_MD* algorithm);

    void addData(const void* data, std::size_t length);
    // Ends the computation.
    std::vector<unsigned char> result();
    // Lowercase hexadecimal; ends the computation.
    std::string hexResult();

private:
    DigestContextPtr context_;
};

}  // namespace zorva::plugin
