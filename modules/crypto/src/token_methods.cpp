#include "token_methods.h"

#include "exception.h"
#include "json_binding.h"
#include "mechanism_names.h"
#include "signing_certificates.h"

#include <openssl/x509v3.h>

#include <vector>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

std::string flagText(bool value) { return value ? "true" : "false"; }

struct TokenMechanisms {
    std::string module;
    std::string label;
    std::vector<std::string> mechanisms;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("module", module) & json_dto::mandatory("label", label) &
            json_dto::mandatory("mechanisms", mechanisms);
    }
};

struct Algorithms {
    std::vector<std::string> digests{"SHA-256", "SHA-384", "SHA-512"};
    std::vector<std::string> signatureAlgorithms{"RSA/PKCS1.5", "RSA/PSS", "ECC/NONE"};
    std::vector<TokenMechanisms> tokens;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("digests", digests) &
            json_dto::mandatory("signatureAlgorithms", signatureAlgorithms) &
            json_dto::mandatory("tokens", tokens);
    }
};

struct ModuleState {
    std::string name;
    std::string state;
    std::string error;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("name", name) & json_dto::mandatory("state", state) &
            json_dto::mandatory("error", error);
    }
};

struct TokenState {
    std::string module, label, manufacturer, model, serial;
    std::string pinPad, pinCountLow, pinFinalTry, pinLocked;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("module", module) & json_dto::mandatory("label", label) &
            json_dto::mandatory("manufacturer", manufacturer) &
            json_dto::mandatory("model", model) & json_dto::mandatory("serial", serial) &
            json_dto::mandatory("pinPad", pinPad) &
            json_dto::mandatory("pinCountLow", pinCountLow) &
            json_dto::mandatory("pinFinalTry", pinFinalTry) &
            json_dto::mandatory("pinLocked", pinLocked);
    }
};

struct Status {
    std::vector<ModuleState> modules;
    std::vector<TokenState> tokens;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("modules", modules) & json_dto::mandatory("tokens", tokens);
    }
};

struct CertificateFilter {
    std::string keyUsage;
    std::string issuer;
    std::string valid;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::optional("keyUsage", keyUsage) & json_dto::optional("issuer", issuer) &
            json_dto::optional("valid", valid);
    }
};

struct CertificateEntry {
    std::string id, token, subject, issuer, validFrom, validUntil, certificate;
    std::vector<std::string> algorithms;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("id", id) & json_dto::mandatory("token", token) &
            json_dto::mandatory("subject", subject) & json_dto::mandatory("issuer", issuer) &
            json_dto::mandatory("validFrom", validFrom) &
            json_dto::mandatory("validUntil", validUntil) &
            json_dto::mandatory("certificate", certificate) &
            json_dto::mandatory("algorithms", algorithms);
    }
};

[[noreturn]] void badRequest(const std::string& reason) {
    PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::RequestFormat)
                     << plugin::exception::Message_(reason),
                 "certificates");
}

CertificateFilter parseFilter(const std::string& text) {
    if (text.empty()) return {};
    CertificateFilter filter;
    try {
        filter = json_dto::from_json<CertificateFilter>(text);
    } catch (const std::exception& error) {
        badRequest(std::string("certificates: ") + error.what());
    }
    if (!filter.keyUsage.empty() && filter.keyUsage != "digitalSignature" &&
        filter.keyUsage != "nonRepudiation")
        badRequest("certificates: \"keyUsage\" is \"digitalSignature\" or \"nonRepudiation\"");
    return filter;
}

bool passes(const CertificateFilter& filter, X509& certificate, const CertificateText& text) {
    const uint32_t usage = X509_get_key_usage(&certificate);
    if (filter.keyUsage == "digitalSignature" && !(usage & KU_DIGITAL_SIGNATURE)) return false;
    if (filter.keyUsage == "nonRepudiation" && !(usage & KU_NON_REPUDIATION)) return false;
    if (!filter.issuer.empty() && text.issuer.find(filter.issuer) == std::string::npos)
        return false;
    return filter.valid != "true" ||
           (!text.expired && X509_cmp_current_time(X509_get0_notBefore(&certificate)) < 0);
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Providers are only looked up by name among those already registered; a
// path, or a library file name, in a request is refused outright.
void refuseLibraryNames(const std::string& provider) {
    if (provider.find_first_of("/\\") != std::string::npos || endsWith(provider, ".so") ||
        endsWith(provider, ".dll") || endsWith(provider, ".dylib"))
        PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::RequestFormat)
                         << plugin::exception::Message_(
                                "algorithms: a request names a provider, never a library"),
                     "algorithms");
}

}  // namespace

std::string algorithms(cryptoki::ProviderRegistry& registry, const std::string& provider) {
    refuseLibraryNames(provider);
    Algorithms result;
    for (const auto& module : registry.providers())
        for (const auto& token : module->tokens()) {
            if (!provider.empty() && provider != module->name() && provider != token.label)
                continue;
            TokenMechanisms entry{module->name(), token.label, {}};
            for (CK_MECHANISM_TYPE mechanism : module->mechanisms(token.slot))
                entry.mechanisms.push_back(mechanismName(mechanism));
            result.tokens.push_back(std::move(entry));
        }
    return json_dto::to_json(result);
}

std::string status(cryptoki::ProviderRegistry& registry) {
    Status result;
    for (const auto& module : registry.providers()) {
        result.modules.push_back(
            {module->name(), module->ready() ? "loaded" : "failed", module->error()});
        for (const auto& token : module->tokens())
            result.tokens.push_back({module->name(), token.label, token.manufacturer, token.model,
                                     token.serial, flagText(token.pinPad()),
                                     flagText(token.flags & CKF_USER_PIN_COUNT_LOW),
                                     flagText(token.flags & CKF_USER_PIN_FINAL_TRY),
                                     flagText(token.flags & CKF_USER_PIN_LOCKED)});
    }
    return json_dto::to_json(result);
}

std::string certificates(cryptoki::ProviderRegistry& registry, const std::string& filterText) {
    const CertificateFilter filter = parseFilter(filterText);
    std::vector<CertificateEntry> result;
    for (const auto& signing : signingCertificates(registry)) {
        X509& certificate = signing.certificate.x509();
        const CertificateText text = describe(certificate);
        if (!passes(filter, certificate, text)) continue;
        result.push_back({signing.id, signing.token.label, text.subject, text.issuer,
                          text.validFrom, text.validUntil, base64(signing.certificate.der()),
                          signatureAlgorithms(certificate)});
    }
    return json_dto::to_json(result);
}

}  // namespace zorva::plugin::crypto
