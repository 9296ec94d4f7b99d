#pragma once

#include "openssl_ptr.h"

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <stdexcept>
#include <vector>

// A key in memory and a self-signed certificate that names it, for CMS code
// that needs a signer but no token.
struct SoftwareSigner {
    zorva::plugin::OpenSslPtr<EVP_PKEY, EVP_PKEY_free> key;
    zorva::plugin::X509Ptr certificate{X509_new()};

    explicit SoftwareSigner(EVP_PKEY* made) : key(made) {
        if (!key || !certificate) throw std::runtime_error("no software key");
        ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
        X509_NAME* name = X509_get_subject_name(certificate.get());
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("Software Signer"), -1,
                                   -1, 0);
        X509_set_issuer_name(certificate.get(), name);
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
        X509_set_pubkey(certificate.get(), key.get());
        if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0)
            throw std::runtime_error("no software certificate");
    }
};

// A CAdES signer of a detached CMS SignedData, still to be signed, with the
// attributes the module adds (content type, signing time, message digest;
// OpenSSL adds signing-certificate-v2).
struct CadesSignerInfo {
    zorva::plugin::CmsPtr cms{
        CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_BINARY | CMS_PARTIAL | CMS_DETACHED)};
    CMS_SignerInfo* info = nullptr;

    explicit CadesSignerInfo(const SoftwareSigner& signer) {
        info = CMS_add1_signer(cms.get(), signer.certificate.get(), signer.key.get(), EVP_sha256(),
                               CMS_BINARY | CMS_PARTIAL | CMS_CADES | CMS_NOSMIMECAP);
        const std::vector<unsigned char> digest(32, 0x5a);
        ASN1_TIME* now = X509_gmtime_adj(nullptr, 0);
        const bool added =
            info &&
            CMS_signed_add1_attr_by_NID(info, NID_pkcs9_contentType, V_ASN1_OBJECT,
                                        OBJ_nid2obj(NID_pkcs7_data), -1) &&
            CMS_signed_add1_attr_by_NID(info, NID_pkcs9_signingTime, now->type, now, -1) &&
            CMS_signed_add1_attr_by_NID(info, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING,
                                        digest.data(), static_cast<int>(digest.size()));
        ASN1_TIME_free(now);
        if (!added) throw std::runtime_error("no signer info");
    }
};
