#include "timestamp.h"

#include "der.h"
#include "evp_digest.h"
#include "exception.h"
#include "openssl_error.h"
#include "openssl_ptr.h"
#include "trust_store.h"
#include "utc_time.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

[[noreturn]] void fail(ApplicationCode code, const std::string& url, const std::string& reason) {
    PLUGIN_THROW(plugin::exception::ApplicationException(code)
                     << plugin::exception::Message_(url + ": " + reason),
                 "timestamp");
}

// OpenSSL's reason for the last failed check, or the fallback.
std::string openSslReason(const char* fallback) {
    const unsigned long error = ERR_peek_last_error();
    const char* reason = error ? ERR_reason_error_string(error) : nullptr;
    ERR_clear_error();
    return reason ? reason : fallback;
}

TsRequestPtr timestampRequest(const Bytes& data, const EVP_MD* hash) {
    EvpDigest digest(hash);
    digest.addData(data.data(), data.size());
    Bytes imprintValue = digest.result();
    TsRequestPtr request(TS_REQ_new());
    const TsImprintPtr imprint(TS_MSG_IMPRINT_new());
    const AlgorithmPtr algorithm(X509_ALGOR_new());
    OPENSSL_CHECK(request && imprint && algorithm, "timestamp");
    X509_ALGOR_set_md(algorithm.get(), hash);
    unsigned char nonceBytes[8];
    OPENSSL_CHECK(RAND_bytes(nonceBytes, sizeof nonceBytes) == 1, "timestamp");
    const BignumPtr number(BN_bin2bn(nonceBytes, sizeof nonceBytes, nullptr));
    const Asn1IntegerPtr nonce(BN_to_ASN1_INTEGER(number.get(), nullptr));
    // The setters copy what they are given.
    const bool built = nonce && TS_REQ_set_version(request.get(), 1) &&
                       TS_MSG_IMPRINT_set_algo(imprint.get(), algorithm.get()) &&
                       TS_MSG_IMPRINT_set_msg(imprint.get(), imprintValue.data(),
                                              static_cast<int>(imprintValue.size())) &&
                       TS_REQ_set_msg_imprint(request.get(), imprint.get()) &&
                       TS_REQ_set_nonce(request.get(), nonce.get()) &&
                       TS_REQ_set_cert_req(request.get(), 1);
    OPENSSL_CHECK(built, "timestamp");
    return request;
}

std::string statusText(TS_STATUS_INFO* info) {
    const long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(info));
    std::string text = "status " + std::to_string(status);
    const auto* texts = TS_STATUS_INFO_get0_text(info);
    for (int i = 0; i < sk_ASN1_UTF8STRING_num(texts); ++i) {
        const ASN1_UTF8STRING* line = sk_ASN1_UTF8STRING_value(texts, i);
        text += ", \"" +
                std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(line)),
                            ASN1_STRING_length(line)) +
                "\"";
    }
    return text;
}

// The certificate that signed a token, when the token carries it.
X509* tokenSigner(PKCS7* token) {
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(token);
    if (sk_PKCS7_SIGNER_INFO_num(signers) != 1) return nullptr;
    PKCS7_ISSUER_AND_SERIAL* id = sk_PKCS7_SIGNER_INFO_value(signers, 0)->issuer_and_serial;
    return X509_find_by_issuer_and_serial(token->d.sign->cert, id->issuer, id->serial);
}

}  // namespace

Bytes timestampToken(const Bytes& data, const EVP_MD* hash, const TimestampSource& source) {
    const TsRequestPtr request = timestampRequest(data, hash);
    const Bytes answer =
        httpCall({source.url, "application/timestamp-query",
                  der(i2d_TS_REQ, request.get(), "timestamp"), "application/timestamp-reply"},
                 source.limits);
    const unsigned char* cursor = answer.data();
    const TsResponsePtr response(d2i_TS_RESP(nullptr, &cursor, static_cast<long>(answer.size())));
    if (!response || cursor != answer.data() + answer.size()) {
        ERR_clear_error();
        fail(ApplicationCode::TsaOther, source.url, "the answer is no time-stamp response");
    }
    TS_STATUS_INFO* status = TS_RESP_get_status_info(response.get());
    const long granted = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(status));
    if (granted != TS_STATUS_GRANTED && granted != TS_STATUS_GRANTED_WITH_MODS)
        fail(ApplicationCode::TsaRefused, source.url,
             "the stamp was refused: " + statusText(status));
    if (!TS_RESP_get_token(response.get()))
        fail(ApplicationCode::TsaOther, source.url, "the answer grants a stamp but carries none");

    const TsVerifyPtr check(TS_REQ_to_TS_VERIFY_CTX(request.get(), nullptr));
    OPENSSL_CHECK(check != nullptr, "timestamp");
    TS_VERIFY_CTX_add_flags(check.get(), TS_VFY_SIGNATURE);
    TS_VERIFY_CTX_set_store(check.get(), trustStoreOf(source.trustStore).release());
    ERR_clear_error();
    if (TS_RESP_verify_response(check.get(), response.get()) != 1)
        fail(ApplicationCode::TimestampInvalid, source.url,
             openSslReason("the time-stamp response does not verify"));
    return der(i2d_PKCS7, TS_RESP_get_token(response.get()), "timestamp");
}

std::time_t tokenTime(PKCS7& token) {
    const TsTokenInfoPtr info(PKCS7_to_TS_TST_INFO(&token));
    std::tm parts{};
    if (!info || ASN1_TIME_to_tm(TS_TST_INFO_get_time(info.get()), &parts) != 1) {
        ERR_clear_error();
        return 0;
    }
    return timegm(&parts);
}

TokenCheck checkToken(const Bytes& token, const Bytes& data, const std::string& trustStore) {
    TokenCheck result;
    const unsigned char* cursor = token.data();
    Pkcs7Ptr parsed(d2i_PKCS7(nullptr, &cursor, static_cast<long>(token.size())));
    const TsTokenInfoPtr info(parsed ? PKCS7_to_TS_TST_INFO(parsed.get()) : nullptr);
    if (!info) {
        ERR_clear_error();
        result.error = "the time-stamp token does not parse";
        return result;
    }
    result.time = utcText(TS_TST_INFO_get_time(info.get()));
    if (X509* signer = tokenSigner(parsed.get())) result.tsa = describe(*signer).subject;

    const TsVerifyPtr check(TS_VERIFY_CTX_new());
    TS_VERIFY_CTX_set_flags(check.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_DATA);
    X509StorePtr store = trustStoreOf(trustStore);
    X509_VERIFY_PARAM_set_time(X509_STORE_get0_param(store.get()), tokenTime(*parsed));
    TS_VERIFY_CTX_set_store(check.get(), store.release());
    TS_VERIFY_CTX_set_data(check.get(),
                           BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
    ERR_clear_error();
    result.valid = TS_RESP_verify_token(check.get(), parsed.get()) == 1;
    if (!result.valid) result.error = openSslReason("the time-stamp token does not verify");
    return result;
}

}  // namespace zorva::plugin::crypto
