#include "signature_levels.h"

#include "der.h"
#include "exception.h"
#include "openssl_error.h"
#include "openssl_ptr.h"

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

Bytes valueOf(const ASN1_STRING* string) {
    return Bytes(ASN1_STRING_get0_data(string),
                 ASN1_STRING_get0_data(string) + ASN1_STRING_length(string));
}

CmsPtr parseCms(const Bytes& signature) {
    CmsPtr cms = cmsOf(signature);
    OPENSSL_CHECK(cms != nullptr, "timestamp");
    return cms;
}

}  // namespace

Level levelOf(const std::string& name) {
    if (name.empty() || name == "CAdES-BES") return Level::Bes;
    if (name == "CAdES-T") return Level::T;
    if (name == "CAdES-LT") return Level::Lt;
    PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::NotImplemented)
                     << plugin::exception::Message_("the format \"" + name + "\" is not supported"),
                 "level");
}

const char* levelName(Level level) {
    static const char* const names[] = {"CAdES-BES", "CAdES-T", "CAdES-LT"};
    return names[static_cast<int>(level)];
}

Bytes withSignatureTimestamp(const Bytes& signature, const TimestampSource& source) {
    const CmsPtr cms = parseCms(signature);
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
    for (int i = 0; i < sk_CMS_SignerInfo_num(signers); ++i) {
        CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, i);
        X509_ALGOR* digestAlgorithm = nullptr;
        CMS_SignerInfo_get0_algs(signer, nullptr, nullptr, &digestAlgorithm, nullptr);
        const EVP_MD* hash = EVP_get_digestbyobj(digestAlgorithm->algorithm);
        OPENSSL_CHECK(hash != nullptr, "timestamp");
        const Bytes token =
            timestampToken(valueOf(CMS_SignerInfo_get0_signature(signer)), hash, source);
        OPENSSL_CHECK(
            CMS_unsigned_add1_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, V_ASN1_SEQUENCE,
                                          token.data(), static_cast<int>(token.size())) == 1,
            "timestamp");
    }
    return der(i2d_CMS_ContentInfo, cms.get(), "timestamp");
}

StampedValue signatureTimestamp(CMS_ContentInfo& cms) {
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(&cms);
    for (int i = 0; i < sk_CMS_SignerInfo_num(signers); ++i) {
        CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, i);
        const int index = CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1);
        if (index < 0) continue;
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(CMS_unsigned_get_attr(signer, index), 0);
        if (!value || value->type != V_ASN1_SEQUENCE) continue;
        return {valueOf(value->value.sequence), valueOf(CMS_SignerInfo_get0_signature(signer))};
    }
    return {};
}

}  // namespace zorva::plugin::crypto
