#include "sign_methods.h"

#include "cades_signature.h"
#include "consent_login.h"
#include "document_digest.h"
#include "document_name.h"
#include "evp_digest.h"
#include "exception.h"
#include "http_client.h"
#include "json_binding.h"
#include "openssl_error.h"
#include "openssl_ptr.h"
#include "request_origin.h"
#include "signature_levels.h"
#include "validation_data.h"

#include <QtGlobal>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <boost/exception/get_error_info.hpp>

#include <cctype>
#include <memory>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

using plugin::exception::ApplicationException;

struct SignHashRequest {
    std::string certificate, hash, hashFunction, padding;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::optional("certificate", certificate) & json_dto::optional("hash", hash) &
            json_dto::optional("hashFunction", hashFunction) &
            json_dto::optional("padding", padding);
    }
};

struct SignRequest {
    std::string certificate, format, tsa, detached, hashFunction, padding;
    std::vector<std::string> sha256;
    std::vector<FileInfo> files;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::optional("certificate", certificate) & json_dto::optional("format", format) &
            json_dto::optional("tsa", tsa) & json_dto::optional("detached", detached) &
            json_dto::optional("hashFunction", hashFunction) &
            json_dto::optional("padding", padding) & json_dto::optional("sha256", sha256) &
            json_dto::optional("files", files);
    }
};

struct HashSignature {
    std::string signature, algorithm;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("signature", signature) &
            json_dto::mandatory("algorithm", algorithm);
    }
};

struct DocumentSignature {
    std::string name, signature;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("name", name) & json_dto::mandatory("signature", signature);
    }
};

[[noreturn]] void fail(ApplicationCode code, const std::string& reason, const char* operation) {
    PLUGIN_THROW(ApplicationException(code) << plugin::exception::Message_(reason), operation);
}

template <class Request>
Request parse(const std::string& data, const char* operation) {
    try {
        return json_dto::from_json<Request>(data);
    } catch (const std::exception& error) {
        fail(ApplicationCode::RequestFormat, std::string(operation) + ": " + error.what(),
             operation);
    }
}

// The hash functions hashFunction knows are all SHA-2.
std::string hashName(const EVP_MD* digest) {
    return "SHA-" + std::to_string(EVP_MD_get_size(digest) * 8);
}

std::string algorithmName(const std::string& key, const SignatureScheme& scheme) {
    static const char* const paddings[] = {"PKCS1.5", "PSS", "NONE"};
    return key + "/" + hashName(scheme.digest) + "/" + paddings[static_cast<int>(scheme.padding)];
}

// The token's answer is checked with the certificate's public key before it
// reaches the page.
void checkHashSignature(X509& certificate, const SignatureScheme& scheme, const Bytes& digest,
                        const Bytes& signature) {
    const KeyContextPtr context(EVP_PKEY_CTX_new(X509_get0_pubkey(&certificate), nullptr));
    const bool pss = scheme.padding == Padding::Pss;
    const bool valid =
        context && EVP_PKEY_verify_init(context.get()) == 1 &&
        EVP_PKEY_CTX_set_signature_md(context.get(), scheme.digest) == 1 &&
        (!pss || (EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PSS_PADDING) == 1 &&
                  EVP_PKEY_CTX_set_rsa_pss_saltlen(context.get(), RSA_PSS_SALTLEN_DIGEST) == 1)) &&
        EVP_PKEY_verify(context.get(), signature.data(), signature.size(), digest.data(),
                        digest.size()) == 1;
    if (!valid)
        fail(ApplicationCode::OutputDamaged, "the token's signature does not verify", "signHash");
}

std::string lowercase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "%n" stands for the number of documents, which the dialog puts in as it
// translates the text.
std::string operationText(std::size_t documents) {
    return documents == 1 ? QT_TRANSLATE_NOOP("zorva::plugin::crypto", "Sign 1 document")
                          : QT_TRANSLATE_N_NOOP("zorva::plugin::crypto", "Sign %n documents");
}

// The certificates the user may choose from: the page's, when it named one.
std::vector<SigningCertificate> offered(cryptoki::ProviderRegistry& registry,
                                        const std::string& id) {
    std::vector<SigningCertificate> all = signingCertificates(registry);
    if (id.empty()) {
        if (all.empty())
            fail(ApplicationCode::DataNotFound, "no token holds a certificate that can sign",
                 "sign");
        return all;
    }
    return {findCertificate(all, id)};
}

void checkSignRequest(const SignRequest& request) {
    if (!request.detached.empty() && request.detached != "true" && request.detached != "false")
        fail(ApplicationCode::RequestFormat, "sign: \"detached\" is \"true\" or \"false\"", "sign");
    if (request.files.empty()) fail(ApplicationCode::DataNotFound, "sign: no documents", "sign");
    if (request.sha256.size() != request.files.size())
        fail(ApplicationCode::RequestFormat, "sign: one \"sha256\" per file", "sign");
    for (std::size_t i = 0; i < request.files.size(); ++i)
        checkDocumentName(request.files[i].name, i + 1, "sign");
}

// One step that brings a signature up a level. A failure names the document
// and the step and keeps the code of its cause.
template <class Step>
Bytes levelStep(const std::string& name, const char* step, Step makeIt) {
    try {
        return makeIt();
    } catch (const ApplicationException& error) {
        const auto* detail = boost::get_error_info<plugin::exception::Message_>(error);
        fail(static_cast<ApplicationCode>(error.code().value()),
             "sign: \"" + name + "\" was signed, its " + step +
                 " failed: " + (detail ? *detail : std::string(error.what())),
             "sign");
    }
}

struct LevelSources {
    TimestampSource timestamp;
    ValidationSource validation;
};

Bytes levelled(const Bytes& signature, Level level, const LevelSources& sources,
               const std::string& name) {
    if (level == Level::Bes) return signature;
    const Bytes stamped = levelStep(
        name, "timestamp", [&] { return withSignatureTimestamp(signature, sources.timestamp); });
    if (level == Level::T) return stamped;
    return levelStep(name, "validation data",
                     [&] { return withValidationData(stamped, sources.validation); });
}

}  // namespace

std::string signHash(cryptoki::ProviderRegistry& registry, IConsent& consent,
                     const format::Message& request) {
    const auto data = parse<SignHashRequest>(request.method.data, "signHash");
    if (data.hash.empty()) fail(ApplicationCode::DataNotFound, "signHash: no hash", "signHash");
    // The site's server prepared the hash for one certificate.
    if (data.certificate.empty())
        fail(ApplicationCode::DataNotFound, "signHash: no certificate", "signHash");
    const auto candidates = offered(registry, data.certificate);
    X509& certificate = candidates.front().certificate.x509();
    const std::string key = keyAlgorithm(certificate);
    const SignatureScheme scheme =
        signatureScheme(hashFunction(data.hashFunction), data.padding, key);
    const Bytes digest = fromBase64(data.hash);
    if (digest.size() != static_cast<std::size_t>(EVP_MD_get_size(scheme.digest)))
        fail(ApplicationCode::RequestFormat,
             "signHash: the hash is not as long as the hash function's", "signHash");

    ConsentRequest question{
        format::originOf(request),
        QT_TRANSLATE_NOOP("zorva::plugin::crypto", "Sign a hash prepared by the site"),
        {},
        {},
        candidates.front().id,
        ConsentHash{hashName(scheme.digest), toHex(digest.data(), digest.size()).substr(0, 16)}};
    const auto unlocked = unlockWithConsent(consent, std::move(question), {candidates.front()});
    const Bytes signature = unlocked->sign(digest, scheme);
    checkHashSignature(certificate, scheme, digest, signature);
    return json_dto::to_json(HashSignature{base64(signature), algorithmName(key, scheme)});
}

std::string signDocuments(cryptoki::ProviderRegistry& registry, IConsent& consent,
                          const format::Message& request, const LongTermSettings& settings) {
    const auto data = parse<SignRequest>(request.method.data, "sign");
    checkSignRequest(data);
    const Level level = levelOf(data.format);
    if (level == Level::Lt && !settings.revocationFetch)
        fail(ApplicationCode::NotImplemented,
             "sign: the configuration allows no OCSP or CRL fetches for CAdES-LT", "sign");
    const LevelSources sources{{level == Level::Bes ? "" : settings.tsaFor(data.tsa),
                                settings.limits, settings.tsaStore()},
                               {settings.trustStore, settings.tsaStore(), settings.limits}};
    const bool attached = data.detached == "false";
    // The hash function is known before the key: the padding follows the key.
    const EVP_MD* hash = hashFunction(data.hashFunction);

    std::vector<DocumentDigest> digests;
    ConsentRequest question{
        format::originOf(request), operationText(data.files.size()), {}, {}, data.certificate};
    question.level = levelName(level);
    if (level != Level::Bes) question.timestampHost = hostOf(sources.timestamp.url);
    question.asksRevocation = level == Level::Lt;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < data.files.size(); ++i) {
        const auto keep = attached ? std::optional(attachedLimit - total) : std::nullopt;
        digests.push_back(digestDocument(data.files[i], hash, keep));
        total += digests.back().size;
        const std::string sha256 = toHex(digests[i].sha256.data(), digests[i].sha256.size());
        if (sha256 != lowercase(data.sha256[i]))
            fail(ApplicationCode::ChecksumMismatch,
                 "sign: the SHA-256 of \"" + data.files[i].name + "\" differs", "sign");
        question.documents.push_back({data.files[i].name, digests[i].size, sha256.substr(0, 16)});
    }

    std::vector<Bytes> signatures;
    {
        const auto unlocked =
            unlockWithConsent(consent, std::move(question), offered(registry, data.certificate));
        const SignatureScheme scheme = signatureScheme(
            hash, data.padding, keyAlgorithm(unlocked->certificate().certificate.x509()));
        for (std::size_t i = 0; i < data.files.size(); ++i) {
            signatures.push_back(cadesSignature(*unlocked, scheme, digests[i].signing,
                                                attached ? &digests[i].content : nullptr));
            checkOwnSignature(signatures.back(), digests[i].signing);
        }
    }
    std::vector<DocumentSignature> result;
    for (std::size_t i = 0; i < data.files.size(); ++i) {
        const Bytes signature = levelled(signatures[i], level, sources, data.files[i].name);
        checkOwnSignature(signature, digests[i].signing);
        result.push_back({data.files[i].name, base64(signature)});
    }
    return json_dto::to_json(result);
}

}  // namespace zorva::plugin::crypto
