#pragma once

#include <cstdint>
#include <string_view>

namespace zorva::plugin::module {

// Whether a handshake's Host header names this machine's loopback server:
// "localhost", "127.0.0.1" or "[::1]", alone or with the port the server
// listens on. A page on another name that resolves to 127.0.0.1 (DNS
// rebinding) sends that name, and is refused.
bool isLoopbackHost(std::string_view host, std::uint16_t port);

}  // namespace zorva::plugin::module
