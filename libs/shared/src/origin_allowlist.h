#pragma once

#include "config.h"

#include <optional>
#include <string>
#include <vector>

namespace zorva::plugin::module {

// The page origins allowed to open a connection, from the "ws" dependency's
// meta entry {"type": "ws", "category": "protocol.origins"} whose "data" lists
// origins separated by blanks or commas: exact origins such as
// "https://sign.example.org", or "http://localhost:*" for any port.
//
// Meta entries are held in set order and the address is the first of them;
// "protocol.origins" sorts after "protocol", so even a module that takes the
// first entry blindly still finds the address of a shipped configuration.
class OriginAllowlist {
public:
    static const format::Format& entryFormat();
    static bool isEntry(const format::Config::Meta& meta);

    // None when the meta holds no allowlist entry: then any page may connect.
    static std::optional<OriginAllowlist> fromMeta(const format::MetaSet& meta);

    explicit OriginAllowlist(const std::string& data);

    // Scheme and host compare without regard to case, as browsers lowercase them.
    bool allows(const std::string& origin) const;
    std::string text() const;

private:
    std::vector<std::string> origins_;
};

}  // namespace zorva::plugin::module
