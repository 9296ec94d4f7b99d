#pragma once

#include <cstddef>

// The platform layer's memory for secrets such as a PIN on its way to a token.
namespace zorva::plugin::platform {

// Whole pages that hold nothing else, kept out of swap (where the system lets
// this user lock memory) and out of core dumps. At least `size` bytes; the
// pages' size comes back in `capacity`. Throws std::bad_alloc when none are
// left.
unsigned char* allocateSecretPages(std::size_t size, std::size_t& capacity);

// Gives the pages back; the caller wiped them.
void freeSecretPages(unsigned char* pages, std::size_t capacity) noexcept;

}  // namespace zorva::plugin::platform
