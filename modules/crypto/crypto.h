#pragma once

#include "consent.h"
#include "ihandler.h"
#include "long_term_settings.h"
#include "module.h"
#include "provider_registry.h"

#include <QObject>
#include <QtPlugin>

#include <memory>
#include <string>
#include <vector>

namespace zorva::plugin::module {

// Lists certificates and signs with keys on the PKCS#11 tokens of the user.
// Every signature needs the user's consent and PIN, asked in the host's own
// dialog, never taken from the page.
//
// Configuration "meta" entries: category "pkcs11" names a PKCS#11 module
// (data: its path or p11-kit name) beyond those the system registers;
// category "trustStore" (data: a PEM file or a certificate directory) is what
// verify checks chains against; "tsa", "tsaTrustStore", "revocationFetch"
// and "networkTimeout" say where timestamps and validation data may come
// from (see LongTermSettings).
class Crypto : public Module, public IHandler {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugin" FILE "crypto.json")

public:
    Crypto();
    ~Crypto() override;

    IHandler* handler() override;
    std::string name() const override;

private:
    // The modules load on first use: the host starts fast without tokens.
    cryptoki::ProviderRegistry& registry();
    std::vector<std::string> configuredModules() const;
    crypto::LongTermSettings longTermSettings() const;

    std::unique_ptr<crypto::IConsent> consent_;
};

}  // namespace zorva::plugin::module
