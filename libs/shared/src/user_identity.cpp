#include "user_identity.h"

#include "path_registry.h"
#include "platform.h"

#include <utility>

namespace zorva::plugin {
namespace {

// Character by character in the classic locale, whatever the process locale
// is: bytes of multi-byte characters pass unchanged.
std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

UserIdentity UserIdentity::fromNames(std::string domain, std::string user, std::string pc,
                                     std::string process) {
    UserIdentity identity{std::move(domain), std::move(user), std::move(pc), std::move(process)};
    if (!identity.domain.empty() && identity.domain != "(none)") {
        identity.user = identity.domain + "\\" + identity.user;
        identity.pc = identity.pc + "." + asciiLower(identity.domain);
    }
    return identity;
}

UserIdentity UserIdentity::current() {
    return fromNames(platform::userDomain(), platform::userName(), platform::computerName(),
                     path_registry::programLocation().filename().string());
}

const std::string& userAgentText() {
    static const std::string text = json_dto::to_json(UserIdentity::current());
    return text;
}

}  // namespace zorva::plugin
