#pragma once

#include "provider.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorva::plugin::cryptoki {

// The PKCS#11 modules of this user: those the system registers with p11-kit
// (OpenSC, SoftHSM2, ...) and those the host configuration names. Nothing is
// loaded until the first call, so the host starts fast when no token is
// present. A module name from a request is only ever looked up here, never
// loaded: a page could upload a library through the chunk store.
class ProviderRegistry {
public:
    // Module names or paths from the host configuration, which only the user
    // writes.
    explicit ProviderRegistry(std::vector<std::string> configured);

    // Every provider, loaded on the first call.
    const std::vector<std::unique_ptr<Provider>>& providers();

private:
    void load();

    std::vector<std::string> configured_;
    std::once_flag loaded_;
    std::vector<std::unique_ptr<Provider>> providers_;
};

}  // namespace zorva::plugin::cryptoki
