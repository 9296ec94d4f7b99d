#include "user_identity.h"

#include "path_registry.h"
#include "platform.h"

#include <boost/locale/encoding_utf.hpp>

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

// Every reply carries the identity, and a browser drops a connection whose
// text is not UTF-8: names from the system may hold any bytes.
std::string validUtf8(const std::string& text) {
    return boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip);
}

}  // namespace

UserIdentity UserIdentity::fromNames(std::string domain, std::string user, std::string pc,
                                     std::string process) {
    UserIdentity identity{validUtf8(domain), validUtf8(user), validUtf8(pc), validUtf8(process)};
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
