#include "secret.h"

#include "platform_secret_memory.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <utility>

namespace zorva::plugin::cryptoki {

Secret::Secret(const char* data, std::size_t size) {
    bytes_ = platform::allocateSecretPages(size, capacity_);
    append(data, size);
}

Secret::Secret(Secret&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        wipe();
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

Secret::~Secret() { wipe(); }

void Secret::append(const char* data, std::size_t size) {
    if (size_ + size > capacity_) {
        Secret larger;
        larger.bytes_ = platform::allocateSecretPages(size_ + size, larger.capacity_);
        std::copy(bytes_, bytes_ + size_, larger.bytes_);
        larger.size_ = size_;
        *this = std::move(larger);
    }
    std::copy(data, data + size, bytes_ + size_);
    size_ += size;
}

void Secret::truncate(std::size_t size) noexcept {
    if (size >= size_) return;
    OPENSSL_cleanse(bytes_ + size, size_ - size);
    size_ = size;
}

void Secret::wipe() noexcept {
    // OPENSSL_cleanse is a store the optimiser may not drop, unlike a memset
    // of memory that is about to be freed.
    if (!bytes_) return;
    OPENSSL_cleanse(bytes_, capacity_);
    platform::freeSecretPages(bytes_, capacity_);
    bytes_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

}  // namespace zorva::plugin::cryptoki
