#include <gtest/gtest.h>

#include "host_check.h"

#include <string>

namespace {

using zorva::plugin::module::isLoopbackHost;

struct HostCase {
    std::string host;
    bool served;
};

class HostCheck : public testing::TestWithParam<HostCase> {};

TEST_P(HostCheck, OnlyLoopbackNamesWithTheServersPortOrNoneAreServed) {
    EXPECT_EQ(isLoopbackHost(GetParam().host, 9000), GetParam().served) << GetParam().host;
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, HostCheck,
    testing::Values(HostCase{"localhost", true}, HostCase{"localhost:9000", true},
                    HostCase{"127.0.0.1", true}, HostCase{"127.0.0.1:9000", true},
                    HostCase{"[::1]", true}, HostCase{"[::1]:9000", true},
                    HostCase{"LocalHost:9000", true},
                    // DNS rebinding: another name that resolves to 127.0.0.1
                    HostCase{"attacker.example", false}, HostCase{"attacker.example:9000", false},
                    HostCase{"localhost.attacker.example", false},
                    HostCase{"attacker.localhost", false},
                    // another port: another server's page
                    HostCase{"localhost:9001", false}, HostCase{"127.0.0.1:90000", false},
                    HostCase{"localhost:", false}, HostCase{"127.0.0.2", false},
                    HostCase{"::1", false}, HostCase{"", false}, HostCase{":9000", false}));

}  // namespace
