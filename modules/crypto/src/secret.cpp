#include "secret.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <utility>

namespace zorva::plugin::crypto {

Secret::Secret(const char* data, std::size_t size)
    : bytes_(new unsigned char[size == 0 ? 1 : size]), size_(size) {
    std::copy(data, data + size, bytes_.get());
}

Secret::Secret(Secret&& other) noexcept
    : bytes_(std::move(other.bytes_)), size_(std::exchange(other.size_, 0)) {}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        wipe();
        bytes_ = std::move(other.bytes_);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

Secret::~Secret() { wipe(); }

void Secret::wipe() noexcept {
    // OPENSSL_cleanse is a store the optimiser may not drop, unlike a memset
    // of memory that is about to be freed.
    if (bytes_) OPENSSL_cleanse(bytes_.get(), size_);
    bytes_.reset();
    size_ = 0;
}

}  // namespace zorva::plugin::crypto
