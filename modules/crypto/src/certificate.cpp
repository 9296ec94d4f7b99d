#include "certificate.h"

#include "base64.h"
#include "exception.h"
#include "openssl_error.h"
#include "openssl_ptr.h"
#include "utc_time.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <utility>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

std::string nameText(const X509_NAME* name) {
    const BioPtr bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

// RFC 2253 writes the last entries first: the common names go to the end of
// a copy so that they lead, the rest keeping its order.
std::string commonNameFirst(const X509_NAME* name) {
    const X509NamePtr reordered(X509_NAME_new());
    OPENSSL_CHECK(reordered != nullptr, "describe");
    for (const bool commonNames : {false, true}) {
        for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
            const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
            const bool common = OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry)) == NID_commonName;
            if (common == commonNames)
                OPENSSL_CHECK(X509_NAME_add_entry(reordered.get(), entry, -1, 0) == 1, "describe");
        }
    }
    return nameText(reordered.get());
}

std::string timeText(const ASN1_TIME* time) {
    std::string text = utcText(time);
    OPENSSL_CHECK(!text.empty(), "describe");
    return text;
}

}  // namespace

Certificate::Certificate(Bytes der) : der_(std::move(der)) {
    const unsigned char* cursor = der_.data();
    x509_.reset(d2i_X509(nullptr, &cursor, static_cast<long>(der_.size())));
    OPENSSL_CHECK(x509_ != nullptr, "parseCertificate");
}

Certificate::Certificate(const Certificate& other) : der_(other.der_), x509_(other.x509_.get()) {
    if (x509_) X509_up_ref(x509_.get());
}

Certificate& Certificate::operator=(const Certificate& other) {
    if (this != &other) *this = Certificate(other);
    return *this;
}

CertificateText describe(X509& certificate) {
    return {nameText(X509_get_subject_name(&certificate)),
            nameText(X509_get_issuer_name(&certificate)),
            timeText(X509_get0_notBefore(&certificate)), timeText(X509_get0_notAfter(&certificate)),
            X509_cmp_current_time(X509_get0_notAfter(&certificate)) < 0};
}

CertificateText describeCommonNameFirst(X509& certificate) {
    CertificateText text = describe(certificate);
    text.subject = commonNameFirst(X509_get_subject_name(&certificate));
    text.issuer = commonNameFirst(X509_get_issuer_name(&certificate));
    return text;
}

bool canSign(X509& certificate) {
    // Without the extension OpenSSL reports every usage as allowed.
    return (X509_get_key_usage(&certificate) & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)) != 0;
}

std::string keyAlgorithm(X509& certificate) {
    const EVP_PKEY* key = X509_get0_pubkey(&certificate);
    OPENSSL_CHECK(key != nullptr, "keyAlgorithm");
    return EVP_PKEY_is_a(key, "EC") ? "ECC" : "RSA";
}

std::vector<std::string> signatureAlgorithms(X509& certificate) {
    const std::string key = keyAlgorithm(certificate);
    std::vector<std::string> algorithms;
    for (const char* hash : {"SHA-256", "SHA-384", "SHA-512"}) {
        if (key == "ECC") {
            algorithms.push_back(key + "/" + hash + "/NONE");
            continue;
        }
        algorithms.push_back(key + "/" + hash + "/PKCS1.5");
        algorithms.push_back(key + "/" + hash + "/PSS");
    }
    return algorithms;
}

std::string base64(const Bytes& bytes) {
    return base64::encode(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Bytes fromBase64(const std::string& text) {
    try {
        const std::string bytes = base64::decode(text);
        return Bytes(bytes.begin(), bytes.end());
    } catch (const base64::DecodeError&) {
        PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::RequestFormat)
                         << plugin::exception::Message_("the value is not base64"),
                     "fromBase64");
    }
}

}  // namespace zorva::plugin::crypto
