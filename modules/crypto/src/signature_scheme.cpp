#include "signature_scheme.h"

#include "exception.h"

#include <openssl/evp.h>

#include <map>

namespace zorva::plugin::crypto {
namespace {

[[noreturn]] void unsupported(const std::string& what) {
    PLUGIN_THROW(plugin::exception::ApplicationException(20013)
                     << plugin::exception::Message_(what),
                 "signatureScheme");
}

}  // namespace

SignatureScheme signatureScheme(const std::string& hash, const std::string& padding,
                                const std::string& keyAlgorithm) {
    static const std::map<std::string, const EVP_MD*> digests = {
        {"SHA-256", EVP_sha256()}, {"SHA-384", EVP_sha384()}, {"SHA-512", EVP_sha512()}};
    const auto digest = digests.find(hash.empty() ? "SHA-256" : hash);
    if (digest == digests.end()) unsupported("unsupported hash function \"" + hash + "\"");

    const bool ec = keyAlgorithm == "ECC";
    if (padding.empty()) return {digest->second, ec ? Padding::None : Padding::Pkcs1};
    if (ec && padding == "NONE") return {digest->second, Padding::None};
    if (!ec && padding == "PKCS1.5") return {digest->second, Padding::Pkcs1};
    if (!ec && padding == "PSS") return {digest->second, Padding::Pss};
    unsupported("padding \"" + padding + "\" does not fit a " + keyAlgorithm + " key");
}

}  // namespace zorva::plugin::crypto
