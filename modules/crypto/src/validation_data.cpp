#include "validation_data.h"

#include "der.h"
#include "exception.h"
#include "openssl_error.h"
#include "openssl_ptr.h"
#include "revocation_values.h"
#include "signature_levels.h"
#include "timestamp.h"
#include "trust_store.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <boost/exception/get_error_info.hpp>

#include <ctime>
#include <memory>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

[[noreturn]] void fail(ApplicationCode code, const std::string& reason) {
    ERR_clear_error();
    PLUGIN_THROW(plugin::exception::ApplicationException(code)
                     << plugin::exception::Message_(reason),
                 "validationData");
}

std::string subjectOf(X509* certificate) { return describe(*certificate).subject; }

CmsPtr parseCms(const Bytes& signature) {
    CmsPtr cms = cmsOf(signature);
    if (!cms) fail(ApplicationCode::RequestFormat, "the signature is not a CMS signature in DER");
    CMS_set1_signers_certs(cms.get(), nullptr, 0);
    return cms;
}

// The certificates a signature was checked with: the signer's chain to the
// trust store and the TSA's to the TSA trust store.
struct Chain {
    CertificatesPtr certificates;
    const std::string* trustStore = nullptr;
};

// Every chain ends in a trust anchor, which needs no revocation value.
// Checked at the given time (0: now).
CertificatesPtr chainOf(X509* leaf, STACK_OF(X509) * untrusted, const std::string& trustStore,
                        const char* whose, std::time_t at) {
    const X509StorePtr store = trustStoreOf(trustStore);
    const StoreContextPtr context(X509_STORE_CTX_new());
    X509_STORE_CTX_init(context.get(), store.get(), leaf, untrusted);
    if (at) X509_STORE_CTX_set_time(context.get(), 0, at);
    if (X509_verify_cert(context.get()) != 1)
        fail(ApplicationCode::TsaOther,
             std::string("the ") + whose + "'s certificate does not lead to its trust store: " +
                 X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get())));
    return CertificatesPtr(X509_STORE_CTX_get1_chain(context.get()));
}

// The parsed token of the signature timestamp, which owns the TSA's
// certificates.
Pkcs7Ptr tokenOf(CMS_ContentInfo& cms) {
    const StampedValue stamped = signatureTimestamp(cms);
    if (stamped.token.empty())
        fail(ApplicationCode::TsaOther, "the signature has no signature timestamp");
    const unsigned char* cursor = stamped.token.data();
    Pkcs7Ptr token(d2i_PKCS7(nullptr, &cursor, static_cast<long>(stamped.token.size())));
    if (!token || !PKCS7_type_is_signed(token.get()))
        fail(ApplicationCode::TimestampInvalid, "the signature timestamp does not parse");
    return token;
}

X509* tokenSigner(PKCS7& token) {
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(&token);
    if (sk_PKCS7_SIGNER_INFO_num(signers) != 1)
        fail(ApplicationCode::TimestampInvalid, "the timestamp has no single signer");
    PKCS7_ISSUER_AND_SERIAL* id = sk_PKCS7_SIGNER_INFO_value(signers, 0)->issuer_and_serial;
    X509* signer = X509_find_by_issuer_and_serial(token.d.sign->cert, id->issuer, id->serial);
    if (!signer)
        fail(ApplicationCode::TimestampInvalid,
             "the timestamp does not carry its TSA's certificate");
    return signer;
}

// Untrusted certificates to build chains from: the signature's and the token's.
CertificatesPtr certificatesOf(CMS_ContentInfo& cms, PKCS7& token) {
    CertificatesPtr all(CMS_get1_certs(&cms));
    if (!all) all.reset(sk_X509_new_null());
    for (int i = 0; i < sk_X509_num(token.d.sign->cert); ++i) {
        X509* certificate = sk_X509_value(token.d.sign->cert, i);
        X509_up_ref(certificate);
        sk_X509_push(all.get(), certificate);
    }
    return all;
}

std::vector<Chain> chainsOf(CMS_ContentInfo& cms, PKCS7& token, STACK_OF(X509) * untrusted,
                            const ValidationSource& source, std::time_t at) {
    const CertificateViewPtr signers(CMS_get0_signers(&cms));
    if (sk_X509_num(signers.get()) != 1)
        fail(ApplicationCode::TsaOther, "the signature has no single signer certificate");
    std::vector<Chain> chains;
    chains.push_back(
        {chainOf(sk_X509_value(signers.get(), 0), untrusted, source.trustStore, "signer", at),
         &source.trustStore});
    chains.push_back({chainOf(tokenSigner(token), untrusted, source.tsaTrustStore, "TSA", at),
                      &source.tsaTrustStore});
    return chains;
}

void freeUrls(STACK_OF(OPENSSL_STRING) * urls) { X509_email_free(urls); }
void freeDistributionPoints(STACK_OF(DIST_POINT) * points) {
    sk_DIST_POINT_pop_free(points, DIST_POINT_free);
}

// Only plain web addresses are fetched: an ldap: or file: source in a
// certificate is not ours to follow.
bool isHttpUrl(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

std::string firstHttpUrl(STACK_OF(OPENSSL_STRING) * given) {
    const OpenSslPtr<STACK_OF(OPENSSL_STRING), freeUrls> urls(given);
    for (int i = 0; i < sk_OPENSSL_STRING_num(urls.get()); ++i)
        if (const std::string url = sk_OPENSSL_STRING_value(urls.get(), i); isHttpUrl(url))
            return url;
    return {};
}

std::string crlUrlOf(X509* certificate) {
    const OpenSslPtr<STACK_OF(DIST_POINT), freeDistributionPoints> points(
        static_cast<STACK_OF(DIST_POINT)*>(
            X509_get_ext_d2i(certificate, NID_crl_distribution_points, nullptr, nullptr)));
    for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
        const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
        if (!point->distpoint || point->distpoint->type != 0) continue;
        const GENERAL_NAMES* names = point->distpoint->name.fullname;
        for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
            const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, j);
            if (name->type != GEN_URI) continue;
            const std::string url(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.ia5)),
                                  ASN1_STRING_length(name->d.ia5));
            if (isHttpUrl(url)) return url;
        }
    }
    return {};
}

// Why an OCSP response does not say "good" for the certificate now, or "".
std::string ocspVerdict(const Bytes& answer, X509* certificate, X509* issuer,
                        STACK_OF(X509) * untrusted, const std::string& trustStore,
                        OCSP_REQUEST* request) {
    const unsigned char* cursor = answer.data();
    const OcspResponsePtr response(
        d2i_OCSP_RESPONSE(nullptr, &cursor, static_cast<long>(answer.size())));
    if (!response) return "the answer is no OCSP response";
    if (OCSP_response_status(response.get()) != OCSP_RESPONSE_STATUS_SUCCESSFUL)
        return std::string("the responder answered \"") +
               OCSP_response_status_str(OCSP_response_status(response.get())) + "\"";
    const OcspBasicPtr basic(OCSP_response_get1_basic(response.get()));
    if (!basic) return "the OCSP response has no basic response";
    if (request && OCSP_check_nonce(request, basic.get()) == 0) return "the OCSP nonce differs";
    const X509StorePtr store = trustStoreOf(trustStore);
    if (OCSP_basic_verify(basic.get(), untrusted, store.get(), 0) != 1)
        return "the OCSP response does not verify";
    const OcspIdPtr id(OCSP_cert_to_id(nullptr, certificate, issuer));
    int status = 0, reason = 0;
    ASN1_GENERALIZEDTIME *revoked = nullptr, *thisUpdate = nullptr, *nextUpdate = nullptr;
    if (OCSP_resp_find_status(basic.get(), id.get(), &status, &reason, &revoked, &thisUpdate,
                              &nextUpdate) != 1)
        return "the OCSP response does not name the certificate";
    if (status != V_OCSP_CERTSTATUS_GOOD)
        return std::string("the responder says \"") + OCSP_cert_status_str(status) + "\"";
    if (!request) return "";
    return OCSP_check_validity(thisUpdate, nextUpdate, 300, -1) == 1
               ? ""
               : "the OCSP response is not current";
}

Bytes fetchOcsp(const std::string& url, X509* certificate, X509* issuer, STACK_OF(X509) * untrusted,
                const Chain& chain, const HttpLimits& limits) {
    const OcspRequestPtr request(OCSP_REQUEST_new());
    OPENSSL_CHECK(
        OCSP_request_add0_id(request.get(), OCSP_cert_to_id(nullptr, certificate, issuer)) &&
            OCSP_request_add1_nonce(request.get(), nullptr, -1),
        "ocsp");
    const Bytes answer =
        httpCall({url, "application/ocsp-request", der(i2d_OCSP_REQUEST, request.get(), "ocsp"),
                  "application/ocsp-response"},
                 limits);
    const std::string verdict =
        ocspVerdict(answer, certificate, issuer, untrusted, *chain.trustStore, request.get());
    if (!verdict.empty())
        fail(ApplicationCode::TsaOther, url + ": " + subjectOf(certificate) + ": " + verdict);
    return answer;
}

// Why a CRL does not clear the certificate, or "".
std::string crlVerdict(X509_CRL* crl, X509* certificate, X509* issuer, bool current) {
    X509_REVOKED* revoked = nullptr;
    if (X509_NAME_cmp(X509_CRL_get_issuer(crl), X509_get_subject_name(issuer)) != 0 ||
        X509_CRL_verify(crl, X509_get0_pubkey(issuer)) != 1)
        return "the CRL is not its issuer's";
    if (current && X509_CRL_get0_nextUpdate(crl) &&
        X509_cmp_current_time(X509_CRL_get0_nextUpdate(crl)) < 0)
        return "the CRL is out of date";
    if (X509_CRL_get0_by_cert(crl, &revoked, certificate) == 1) return "the certificate is revoked";
    return "";
}

CrlPtr fetchCrl(const std::string& url, X509* certificate, X509* issuer, const HttpLimits& limits) {
    const Bytes answer = httpCall({url, "", {}, ""}, limits);
    const unsigned char* cursor = answer.data();
    CrlPtr crl(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(answer.size())));
    if (!crl) fail(ApplicationCode::TsaOther, url + ": the answer is no CRL in DER");
    const std::string verdict = crlVerdict(crl.get(), certificate, issuer, true);
    if (!verdict.empty())
        fail(ApplicationCode::TsaOther, url + ": " + subjectOf(certificate) + ": " + verdict);
    return crl;
}

bool holds(STACK_OF(X509) * certificates, X509* certificate) {
    for (int i = 0; i < sk_X509_num(certificates); ++i)
        if (X509_cmp(sk_X509_value(certificates, i), certificate) == 0) return true;
    return false;
}

}  // namespace

Bytes withValidationData(const Bytes& signature, const ValidationSource& source) {
    const CmsPtr cms = parseCms(signature);
    const Pkcs7Ptr token = tokenOf(*cms);
    const CertificatesPtr untrusted = certificatesOf(*cms, *token);
    const CertificatesPtr embedded(CMS_get1_certs(cms.get()));
    std::vector<Bytes> responses;
    for (const Chain& chain : chainsOf(*cms, *token, untrusted.get(), source, 0)) {
        STACK_OF(X509)* certificates = chain.certificates.get();
        for (int i = 0; i < sk_X509_num(certificates); ++i) {
            X509* certificate = sk_X509_value(certificates, i);
            if (!holds(embedded.get(), certificate))
                OPENSSL_CHECK(CMS_add1_cert(cms.get(), certificate) == 1, "validationData");
            if (i + 1 == sk_X509_num(certificates)) break;
            X509* issuer = sk_X509_value(certificates, i + 1);
            if (const std::string url = firstHttpUrl(X509_get1_ocsp(certificate)); !url.empty())
                responses.push_back(
                    fetchOcsp(url, certificate, issuer, untrusted.get(), chain, source.limits));
            else if (const std::string crlUrl = crlUrlOf(certificate); !crlUrl.empty())
                OPENSSL_CHECK(
                    CMS_add1_crl(cms.get(),
                                 fetchCrl(crlUrl, certificate, issuer, source.limits).get()) == 1,
                    "validationData");
            else
                fail(ApplicationCode::TsaOther,
                     subjectOf(certificate) + " names no OCSP responder and no CRL");
        }
    }
    return withOcspResponses(der(i2d_CMS_ContentInfo, cms.get(), "validationData"), responses);
}

std::string revocationCoverage(const Bytes& signature, const ValidationSource& source) {
    try {
        const CmsPtr cms = parseCms(signature);
        const Pkcs7Ptr token = tokenOf(*cms);
        const CertificatesPtr untrusted = certificatesOf(*cms, *token);
        const std::vector<Bytes> responses = ocspResponses(signature);
        const CrlsPtr crls(CMS_get1_crls(cms.get()));
        // The chains as they were when the timestamp was made: a certificate
        // may have expired since, which is what the values are kept for.
        const std::time_t at = tokenTime(*token);
        for (const Chain& chain : chainsOf(*cms, *token, untrusted.get(), source, at)) {
            STACK_OF(X509)* certificates = chain.certificates.get();
            for (int i = 0; i + 1 < sk_X509_num(certificates); ++i) {
                X509* certificate = sk_X509_value(certificates, i);
                X509* issuer = sk_X509_value(certificates, i + 1);
                bool covered = false;
                for (const auto& response : responses)
                    covered = covered || ocspVerdict(response, certificate, issuer, untrusted.get(),
                                                     *chain.trustStore, nullptr)
                                             .empty();
                for (int j = 0; j < sk_X509_CRL_num(crls.get()); ++j)
                    covered = covered || crlVerdict(sk_X509_CRL_value(crls.get(), j), certificate,
                                                    issuer, false)
                                             .empty();
                if (!covered) return "no revocation value clears " + subjectOf(certificate);
            }
        }
        ERR_clear_error();
        return "complete";
    } catch (const plugin::exception::ApplicationException& error) {
        const auto* detail = boost::get_error_info<plugin::exception::Message_>(error);
        return detail ? *detail : error.what();
    }
}

}  // namespace zorva::plugin::crypto
