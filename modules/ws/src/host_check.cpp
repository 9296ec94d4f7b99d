#include "host_check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace zorva::plugin::module {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool isLoopbackHost(std::string_view host, std::uint16_t port) {
    static constexpr std::array<std::string_view, 3> names{"localhost", "127.0.0.1", "[::1]"};
    const std::string withPort = ":" + std::to_string(port);
    if (host.size() > withPort.size() && host.substr(host.size() - withPort.size()) == withPort)
        host.remove_suffix(withPort.size());
    return std::any_of(names.begin(), names.end(),
                       [&](std::string_view name) { return equalIgnoringCase(host, name); });
}

}  // namespace zorva::plugin::module
