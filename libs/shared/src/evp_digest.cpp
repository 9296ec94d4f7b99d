#include "evp_digest.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace zorva::plugin {

EvpDigest::EvpDigest(const EVP_MD* algorithm) : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), algorithm, nullptr) != 1)
        throw std::runtime_error("EVP_DigestInit_ex failed");
}

void EvpDigest::addData(const void* data, std::size_t length) {
    EVP_DigestUpdate(context_.get(), data, length);
}

std::vector<unsigned char> EvpDigest::result() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context_.get(), digest, &size);
    return std::vector<unsigned char>(digest, digest + size);
}

std::string EvpDigest::hexResult() {
    const auto digest = result();
    return toHex(digest.data(), digest.size());
}

std::string toHex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace zorva::plugin
