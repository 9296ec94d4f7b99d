#pragma once

#include "base64.h"
#include "evp_digest.h"

#include <openssl/evp.h>

#include <string>

// What the crypto tests put into requests: a document's SHA-256 as a page
// sends it, and a file carried inline in a request's data.
inline std::string sha256Hex(const std::string& bytes) {
    zorva::plugin::EvpDigest digest(EVP_sha256());
    digest.addData(bytes.data(), bytes.size());
    return digest.hexResult();
}

inline std::string inlineFile(const std::string& name, const std::string& bytes) {
    return R"({"name":")" + name + R"(","content":")" + zorva::plugin::base64::encode(bytes) +
           R"(","contentEncoding":"base64"})";
}
