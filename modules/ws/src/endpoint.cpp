#include "endpoint.h"

#include <regex>

namespace zorva::plugin::module {

Endpoint Endpoint::parse(const std::string& address) {
    static const std::regex pattern(R"((\w+):\/\/([^:\/]+):(\d+))");
    Endpoint endpoint;
    std::smatch match;
    if (!std::regex_match(address, match, pattern)) return endpoint;
    // The scheme is kept but never examined: the connection is always plain.
    endpoint.scheme = match[1];
    endpoint.host = match[2];
    endpoint.port = static_cast<std::uint16_t>(std::stoi(match[3]));
    if (endpoint.host == "localhost") endpoint.host = "127.0.0.1";
    return endpoint;
}

}  // namespace zorva::plugin::module
