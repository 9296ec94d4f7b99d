#include <gtest/gtest.h>

#include "endpoint.h"

#include <stdexcept>
#include <string>

namespace {

using zorva::plugin::module::Endpoint;

struct Case {
    std::string address;
    std::string host;
    unsigned port;
    std::string scheme;
};

TEST(Endpoint, ParsesWholeAddressesAndRefusesAnythingElse) {
    const Case cases[] = {
        {"ws://localhost:9000", "127.0.0.1", 9000, "ws"},
        {"ws://0.0.0.0:9001", "0.0.0.0", 9001, "ws"},
        {"wss://example.org:443", "example.org", 443, "wss"},  // names are not resolved
        {"ws://LOCALHOST:9000", "LOCALHOST", 9000, "ws"},      // only the exact word maps
        {"ws://localhost:70000", "127.0.0.1", 4464, "ws"},     // low 16 bits
        {"ws://localhost:65536", "127.0.0.1", 0, "ws"},        // wraps to "no port"
        {"ws://localhost:9000/path", "", 0, ""},
        {" ws://localhost:9000", "", 0, ""},
        {"ws://localhost", "", 0, ""},
        {"ws://[::1]:9000", "", 0, ""},
        {"localhost:9000", "", 0, ""},
        {"", "", 0, ""},
    };
    for (const auto& c : cases) {
        const Endpoint endpoint = Endpoint::parse(c.address);
        EXPECT_EQ(endpoint.host, c.host) << c.address;
        EXPECT_EQ(endpoint.port, c.port) << c.address;
        EXPECT_EQ(endpoint.scheme, c.scheme) << c.address;
    }
}

TEST(Endpoint, PortBeyondTheIntegerRangeRaisesOutOfRange) {
    EXPECT_THROW(Endpoint::parse("ws://localhost:99999999999"), std::out_of_range);
}

}  // namespace
