#pragma once

#include "certificate.h"
#include "openssl_error.h"
#include "openssl_ptr.h"

#include <openssl/cms.h>
#include <openssl/crypto.h>

#include <cstddef>

namespace zorva::plugin::crypto {

// A DER length (definite form) after what out holds.
inline void appendLength(Bytes& out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<unsigned char>(length));
        return;
    }
    Bytes digits;
    for (; length; length >>= 8) digits.insert(digits.begin(), length & 0xff);
    out.push_back(static_cast<unsigned char>(0x80 | digits.size()));
    out.insert(out.end(), digits.begin(), digits.end());
}

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

// The CMS structure the bytes hold, or null when they hold none: each caller
// says what such bytes mean to it.
inline CmsPtr cmsOf(const Bytes& bytes) {
    const unsigned char* cursor = bytes.data();
    return CmsPtr(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(bytes.size())));
}

}  // namespace zorva::plugin::crypto
