#pragma once

#include <cstdint>
#include <string>

namespace zorva::plugin::module {

// Where the WebSocket server listens, read from an address such as
// "ws://localhost:9000". A port of 0 or an empty host means "no endpoint".
struct Endpoint {
    std::uint16_t port = 0;
    std::string host;
    std::string scheme;

    // The whole text must match scheme://host:port; anything else gives the
    // empty endpoint. "localhost" becomes 127.0.0.1, other names are not
    // resolved. A port beyond the integer range raises std::out_of_range;
    // within it, the port keeps its low 16 bits.
    static Endpoint parse(const std::string& address);
};

}  // namespace zorva::plugin::module
