#include "crypto.h"

#include "augment_method.h"
#include "gui_consent.h"
#include "sign_methods.h"
#include "token_methods.h"
#include "verify_method.h"

namespace zorva::plugin::module {

Crypto::Crypto() : consent_(std::make_unique<ui::GuiConsent>()) {
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
        return crypto::signDocuments(registry(), *consent_, *message, longTermSettings());
    };
    methods_["augment"] = [this](const format::MessagePtr& message) {
        return crypto::augmentSignature(message->method.data, longTermSettings());
    };
    methods_["verify"] = [this](const format::MessagePtr& message) {
        return crypto::verifySignature(message->method.data, longTermSettings());
    };
}

Crypto::~Crypto() = default;

IHandler* Crypto::handler() { return this; }

std::string Crypto::name() const { return config() ? config()->format.type : std::string(); }

cryptoki::ProviderRegistry& Crypto::registry() {
    // A static made on first use, after the PKCS#11 modules' own statics: at
    // exit it goes before them. Finalised later, from the session's static,
    // SoftHSM2 would crash in C_Finalize on its destroyed state.
    static cryptoki::ProviderRegistry registry(configuredModules());
    return registry;
}

std::vector<std::string> Crypto::configuredModules() const {
    std::vector<std::string> configured;
    if (config())
        for (const auto& entry : config()->meta)
            if (entry.format.category == "pkcs11") configured.push_back(entry.data);
    return configured;
}

crypto::LongTermSettings Crypto::longTermSettings() const {
    std::vector<std::pair<std::string, std::string>> entries;
    if (config())
        for (const auto& entry : config()->meta)
            entries.emplace_back(entry.format.category, entry.data);
    return crypto::longTermSettings(entries);
}

}  // namespace zorva::plugin::module
