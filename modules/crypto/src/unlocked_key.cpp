#include "unlocked_key.h"

#include "cryptoki_error.h"
#include "der.h"
#include "openssl_error.h"
#include "openssl_ptr.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <memory>
#include <utility>

namespace zorva::plugin::crypto {
namespace {

// PKCS#1 v1.5 through CKM_RSA_PKCS signs a DigestInfo: the hash with the
// identifier of its function.
Bytes digestInfo(const Bytes& digest, const EVP_MD* md) {
    X509_SIG* info = X509_SIG_new();
    X509_ALGOR* algorithm = nullptr;
    ASN1_OCTET_STRING* value = nullptr;
    X509_SIG_getm(info, &algorithm, &value);
    // With NULL parameters, as RFC 8017 writes it and verifiers compare it;
    // X509_ALGOR_set_md leaves them out for the SHA-2 family.
    X509_ALGOR_set0(algorithm, OBJ_nid2obj(EVP_MD_get_type(md)), V_ASN1_NULL, nullptr);
    ASN1_OCTET_STRING_set(value, digest.data(), static_cast<int>(digest.size()));
    const X509SigPtr owner(info);
    return der(i2d_X509_SIG, info, "digestInfo");
}

// RSA-PSS names the hash twice: for the message and for MGF1.
CK_RSA_PKCS_PSS_PARAMS pssParameters(const EVP_MD* md) {
    const CK_ULONG saltLength = static_cast<CK_ULONG>(EVP_MD_get_size(md));
    switch (EVP_MD_get_type(md)) {
        case NID_sha384:
            return {CKM_SHA384, CKG_MGF1_SHA384, saltLength};
        case NID_sha512:
            return {CKM_SHA512, CKG_MGF1_SHA512, saltLength};
        default:
            return {CKM_SHA256, CKG_MGF1_SHA256, saltLength};
    }
}

// PKCS#11 gives r and s side by side; X.509 and CMS want ECDSA-Sig-Value.
Bytes ecdsaDer(const Bytes& raw) {
    const int half = static_cast<int>(raw.size() / 2);
    ECDSA_SIG* signature = ECDSA_SIG_new();
    ECDSA_SIG_set0(signature, BN_bin2bn(raw.data(), half, nullptr),
                   BN_bin2bn(raw.data() + half, half, nullptr));
    const EcdsaSignaturePtr owner(signature);
    return der(i2d_ECDSA_SIG, signature, "ecdsaDer");
}

}  // namespace

UnlockedKey::UnlockedKey(const SigningCertificate& certificate, cryptoki::Secret pin)
    : certificate_(certificate), session_(certificate.token) {
    session_.login(pin);
    const auto keys = session_.find(CKO_PRIVATE_KEY, &certificate_.keyId);
    if (keys.empty()) CRYPTOKI_CHECK(CKR_KEY_HANDLE_INVALID, "unlock");
    key_ = keys.front();
    alwaysAuthenticate_ = session_.flag(key_, CKA_ALWAYS_AUTHENTICATE);
    if (alwaysAuthenticate_) contextPin_ = std::move(pin);
}

Bytes UnlockedKey::sign(const Bytes& digest, const SignatureScheme& scheme) {
    const cryptoki::Secret* contextPin = alwaysAuthenticate_ ? &contextPin_ : nullptr;
    CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
    switch (scheme.padding) {
        case Padding::Pkcs1:
            return session_.sign(key_, mechanism, digestInfo(digest, scheme.digest), contextPin);
        case Padding::Pss: {
            CK_RSA_PKCS_PSS_PARAMS parameters = pssParameters(scheme.digest);
            mechanism = {CKM_RSA_PKCS_PSS, &parameters, sizeof parameters};
            return session_.sign(key_, mechanism, digest, contextPin);
        }
        case Padding::None:
            mechanism.mechanism = CKM_ECDSA;
            return ecdsaDer(session_.sign(key_, mechanism, digest, contextPin));
    }
    return {};
}

}  // namespace zorva::plugin::crypto
