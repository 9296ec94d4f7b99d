#include "mechanism_names.h"

#include <cstdio>
#include <map>

namespace zorva::plugin::crypto {

std::string mechanismName(CK_MECHANISM_TYPE mechanism) {
#define NAMED(name) \
    { name, #name }
    static const std::map<CK_MECHANISM_TYPE, const char*> names = {
        NAMED(CKM_RSA_PKCS_KEY_PAIR_GEN),
        NAMED(CKM_RSA_PKCS),
        NAMED(CKM_RSA_X_509),
        NAMED(CKM_RSA_PKCS_PSS),
        NAMED(CKM_RSA_PKCS_OAEP),
        NAMED(CKM_SHA1_RSA_PKCS),
        NAMED(CKM_SHA256_RSA_PKCS),
        NAMED(CKM_SHA384_RSA_PKCS),
        NAMED(CKM_SHA512_RSA_PKCS),
        NAMED(CKM_SHA256_RSA_PKCS_PSS),
        NAMED(CKM_SHA384_RSA_PKCS_PSS),
        NAMED(CKM_SHA512_RSA_PKCS_PSS),
        NAMED(CKM_EC_KEY_PAIR_GEN),
        NAMED(CKM_ECDSA),
        NAMED(CKM_ECDSA_SHA1),
        NAMED(CKM_ECDSA_SHA256),
        NAMED(CKM_ECDSA_SHA384),
        NAMED(CKM_ECDSA_SHA512),
        NAMED(CKM_ECDH1_DERIVE),
        NAMED(CKM_SHA_1),
        NAMED(CKM_SHA256),
        NAMED(CKM_SHA384),
        NAMED(CKM_SHA512),
        NAMED(CKM_AES_KEY_GEN),
        NAMED(CKM_AES_CBC),
        NAMED(CKM_AES_GCM),
    };
#undef NAMED
    const auto found = names.find(mechanism);
    if (found != names.end()) return found->second;
    char text[32];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(mechanism));
    return text;
}

}  // namespace zorva::plugin::crypto
