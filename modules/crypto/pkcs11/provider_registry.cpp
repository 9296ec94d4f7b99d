#include "provider_registry.h"

#include <p11-kit/p11-kit.h>

#include <algorithm>
#include <utility>

namespace zorva::plugin::cryptoki {
namespace {

std::string moduleName(CK_FUNCTION_LIST* module) {
    char* name = p11_kit_module_get_name(module);
    std::string text = name ? name : "";
    free(name);
    return text;
}

}  // namespace

ProviderRegistry::ProviderRegistry(std::vector<std::string> configured) { load(configured); }

void ProviderRegistry::load(const std::vector<std::string>& configured) {
    if (CK_FUNCTION_LIST** registered = p11_kit_modules_load(nullptr, 0)) {
        for (CK_FUNCTION_LIST** module = registered; *module; ++module)
            providers_.push_back(std::make_unique<Provider>(moduleName(*module), *module));
        // The array only; each module now belongs to its provider.
        free(registered);
    }
    for (const std::string& name : configured) {
        const bool known =
            std::any_of(providers_.begin(), providers_.end(),
                        [&](const auto& provider) { return provider->name() == name; });
        if (known) continue;
        if (CK_FUNCTION_LIST* module = p11_kit_module_load(name.c_str(), 0))
            providers_.push_back(std::make_unique<Provider>(name, module));
        else
            providers_.push_back(std::make_unique<Provider>(
                name, std::string(p11_kit_message() ? p11_kit_message() : "not loaded")));
    }
}

}  // namespace zorva::plugin::cryptoki
