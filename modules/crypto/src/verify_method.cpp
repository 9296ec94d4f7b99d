#include "verify_method.h"

#include "certificate.h"
#include "der.h"
#include "evp_digest.h"
#include "exception.h"
#include "istream_bio.h"
#include "json_binding.h"
#include "openssl_ptr.h"
#include "request_file.h"
#include "revocation_values.h"
#include "signature_levels.h"
#include "trust_store.h"
#include "utc_time.h"
#include "validation_data.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

struct VerifyRequest {
    std::vector<FileInfo> files;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::optional("files", files);
    }
};

[[noreturn]] void fail(ApplicationCode code, const char* reason) {
    PLUGIN_THROW(plugin::exception::ApplicationException(code)
                     << plugin::exception::Message_(reason),
                 "verify");
}

std::string openSslReason() {
    const unsigned long error = ERR_peek_last_error();
    const char* reason = ERR_reason_error_string(error);
    ERR_clear_error();
    return reason ? reason : "the signature does not verify";
}

Bytes readSignature(const FileInfo& file) {
    const std::string bytes = json_dto::read_all(*openRequestFile(file, "verify"));
    return Bytes(bytes.begin(), bytes.end());
}

CmsPtr parseSignature(const Bytes& bytes) {
    CmsPtr cms = cmsOf(bytes);
    if (!cms)
        fail(ApplicationCode::RequestFormat,
             "verify: the first file is not a CMS signature in DER");
    return cms;
}

bool carriesRevocationValues(CMS_ContentInfo& cms, const Bytes& bytes) {
    const CrlsPtr crls(CMS_get1_crls(&cms));
    return sk_X509_CRL_num(crls.get()) > 0 || !ocspResponses(bytes).empty();
}

std::string signingTime(CMS_SignerInfo* signer) {
    const int index = CMS_signed_get_attr_by_NID(signer, NID_pkcs9_signingTime, -1);
    if (index < 0) return "";
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(CMS_signed_get_attr(signer, index), 0);
    if (!value || (value->type != V_ASN1_UTCTIME && value->type != V_ASN1_GENERALIZEDTIME))
        return "";
    return utcText(value->value.utctime);
}

void describeSigner(CMS_ContentInfo& cms, SignatureVerdict& verdict) {
    CMS_set1_signers_certs(&cms, nullptr, 0);
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(&cms);
    if (sk_CMS_SignerInfo_num(signers) < 1) return;
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
    X509* certificate = nullptr;
    X509_ALGOR* digestAlgorithm = nullptr;
    CMS_SignerInfo_get0_algs(signer, nullptr, &certificate, &digestAlgorithm, nullptr);
    if (certificate) verdict.signer = describe(*certificate).subject;
    if (const EVP_MD* md = EVP_get_digestbyobj(digestAlgorithm->algorithm))
        verdict.digestAlgorithm = "SHA-" + std::to_string(EVP_MD_get_size(md) * 8);
    const auto* digest = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
        signer, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
    if (digest) verdict.digest = toHex(ASN1_STRING_get0_data(digest), ASN1_STRING_length(digest));
    verdict.signingTime = signingTime(signer);
}

std::string chainOf(CMS_ContentInfo& cms, const std::string& trustStore) {
    const CertificateViewPtr signers(CMS_get0_signers(&cms));
    if (sk_X509_num(signers.get()) < 1) return "no signer certificate";
    const CertificatesPtr included(CMS_get1_certs(&cms));
    const X509StorePtr store = trustStoreOf(trustStore);
    const StoreContextPtr context(X509_STORE_CTX_new());
    X509_STORE_CTX_init(context.get(), store.get(), sk_X509_value(signers.get(), 0),
                        included.get());
    const bool valid = X509_verify_cert(context.get()) == 1;
    const int error = X509_STORE_CTX_get_error(context.get());
    ERR_clear_error();
    return valid ? "valid" : X509_verify_cert_error_string(error);
}

// The signature timestamp's time, its TSA and whether it stamps this
// signature value.
void describeTimestamp(CMS_ContentInfo& cms, const std::string& tsaTrustStore,
                       SignatureVerdict& verdict) {
    const StampedValue stamped = signatureTimestamp(cms);
    if (stamped.token.empty()) return;
    verdict.level = levelName(Level::T);
    const TokenCheck check = checkToken(stamped.token, stamped.signatureValue, tsaTrustStore);
    verdict.timestampTime = check.time;
    verdict.timestampAuthority = check.tsa;
    verdict.timestampValid = check.valid ? "true" : "false";
    verdict.timestampError = check.error;
}

}  // namespace

SignatureVerdict checkSignature(const std::vector<FileInfo>& files,
                                const LongTermSettings& settings) {
    if (files.empty() || files.size() > 2)
        fail(ApplicationCode::DataNotFound, "verify: {\"files\":[signature, document]} expected");
    SignatureVerdict verdict;
    verdict.signature = readSignature(files[0]);
    const Bytes& bytes = verdict.signature;
    const CmsPtr cms = parseSignature(bytes);
    const bool detached = CMS_is_detached(cms.get()) == 1;
    if (detached && files.size() < 2)
        fail(ApplicationCode::DataNotFound, "verify: a detached signature needs its document");

    std::unique_ptr<std::istream> document;
    BioPtr content;
    if (detached) {
        document = openRequestFile(files[1], "verify");
        content.reset(istreamBio(*document));
    }
    ERR_clear_error();
    if (CMS_verify(cms.get(), nullptr, nullptr, content.get(), nullptr,
                   CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) == 1)
        verdict.valid = "true";
    else
        verdict.error = openSslReason();
    describeSigner(*cms, verdict);
    verdict.chain = chainOf(*cms, settings.trustStore);
    describeTimestamp(*cms, settings.tsaStore(), verdict);
    // Checked with what the signature carries alone: verify never fetches.
    if (verdict.level != levelName(Level::Bes) && carriesRevocationValues(*cms, bytes)) {
        verdict.level = levelName(Level::Lt);
        verdict.revocation =
            revocationCoverage(bytes, {settings.trustStore, settings.tsaStore(), {}});
    }
    return verdict;
}

std::string verifySignature(const std::string& data, const LongTermSettings& settings) {
    VerifyRequest request;
    try {
        request = json_dto::from_json<VerifyRequest>(data);
    } catch (const std::exception&) {
        fail(ApplicationCode::RequestFormat, "verify: {\"files\":[signature, document]} expected");
    }
    return json_dto::to_json(checkSignature(request.files, settings));
}

}  // namespace zorva::plugin::crypto
