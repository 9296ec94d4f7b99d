#pragma once

#include "certificate.h"
#include "openssl_error.h"

#include <openssl/crypto.h>

namespace zorva::plugin::crypto {

// The DER of an OpenSSL object through its i2d function; a failure is
// CryptoException.
template <class Encode, class Object>
Bytes der(Encode encode, Object* object, const char* operation) {
    unsigned char* bytes = nullptr;
    const int size = encode(object, &bytes);
    OPENSSL_CHECK(size > 0, operation);
    Bytes encoded(bytes, bytes + size);
    OPENSSL_free(bytes);
    return encoded;
}

}  // namespace zorva::plugin::crypto
