#include "crypto.h"

#include "gui_consent.h"
#include "sign_methods.h"
#include "token_methods.h"
#include "verify_method.h"

namespace zorva::plugin::module {

Crypto::Crypto() : consent_(std::make_unique<crypto::GuiConsent>()) {
    methods_["algorithms"] = [this](const format::MessagePtr& message) {
        return crypto::algorithms(registry(), message->method.data);
    };
    methods_["status"] = [this](const format::MessagePtr&) { return crypto::status(registry()); };
    methods_["certificates"] = [this](const format::MessagePtr& message) {
        return crypto::certificates(registry(), message->method.data);
    };
    methods_["signHash"] = [this](const format::MessagePtr& message) {
        return crypto::signHash(registry(), *consent_, *message);
    };
    methods_["sign"] = [this](const format::MessagePtr& message) {
        return crypto::signDocuments(registry(), *consent_, *message);
    };
    methods_["verify"] = [this](const format::MessagePtr& message) {
        return crypto::verifySignature(message->method.data, metaData("trustStore"));
    };
}

Crypto::~Crypto() = default;

IHandler* Crypto::handler() { return this; }

std::string Crypto::name() const { return config() ? config()->format.type : std::string(); }

cryptoki::ProviderRegistry& Crypto::registry() {
    std::call_once(registryCreated_, [this] {
        std::vector<std::string> configured;
        if (config())
            for (const auto& entry : config()->meta)
                if (entry.format.category == "pkcs11") configured.push_back(entry.data);
        registry_ = std::make_unique<cryptoki::ProviderRegistry>(std::move(configured));
    });
    return *registry_;
}

std::string Crypto::metaData(const std::string& category) const {
    if (config())
        for (const auto& entry : config()->meta)
            if (entry.format.category == category) return entry.data;
    return {};
}

}  // namespace zorva::plugin::module
