#include "signature_scheme.h"

#include "exception.h"

#include <openssl/evp.h>

#include <map>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

[[noreturn]] void unsupported(const std::string& what) {
    PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::NotImplemented)
                     << plugin::exception::Message_(what),
                 "signatureScheme");
}

}  // namespace

const EVP_MD* hashFunction(const std::string& name) {
    static const std::map<std::string, const EVP_MD*> digests = {
        {"SHA-256", EVP_sha256()}, {"SHA-384", EVP_sha384()}, {"SHA-512", EVP_sha512()}};
    const auto digest = digests.find(name.empty() ? "SHA-256" : name);
    if (digest == digests.end()) unsupported("unsupported hash function \"" + name + "\"");
    return digest->second;
}

SignatureScheme signatureScheme(const EVP_MD* hash, const std::string& padding,
                                const std::string& keyAlgorithm) {
    const bool ec = keyAlgorithm == "ECC";
    if (padding.empty()) return {hash, ec ? Padding::None : Padding::Pkcs1};
    if (ec && padding == "NONE") return {hash, Padding::None};
    if (!ec && padding == "PKCS1.5") return {hash, Padding::Pkcs1};
    if (!ec && padding == "PSS") return {hash, Padding::Pss};
    unsupported("padding \"" + padding + "\" does not fit a " + keyAlgorithm + " key");
}

}  // namespace zorva::plugin::crypto
