#pragma once

#include "provider.h"

#include <memory>
#include <string>
#include <vector>

namespace zorva::plugin::cryptoki {

// The PKCS#11 modules of this user: those the system registers with p11-kit
// (OpenSC, SoftHSM2, ...) and those the host configuration names, loaded and
// initialised on construction and finalised on destruction. A module name
// from a request is only ever looked up here, never loaded: a page could
// upload a library through the chunk store.
class ProviderRegistry {
public:
    // Module names or paths from the host configuration, which only the user
    // writes.
    explicit ProviderRegistry(std::vector<std::string> configured);

    const std::vector<std::unique_ptr<Provider>>& providers() const { return providers_; }

private:
    void load(const std::vector<std::string>& configured);

    std::vector<std::unique_ptr<Provider>> providers_;
};

}  // namespace zorva::plugin::cryptoki
