#include "site_name.h"

#include <gtest/gtest.h>

namespace {

using zorva::plugin::siteOf;

TEST(SiteName, OriginsOfOneRegisteredDomainShareTheirSite) {
    struct Case {
        const char* origin;
        const char* site;
    };
    const Case cases[] = {
        {"https://sign.example.org", "example.org"},
        {"https://a.b.example.co.uk:8443", "example.co.uk"},
        {"https://example.co.uk", "example.co.uk"},
        {"HTTPS://Fresh-123.Evil.COM", "evil.com"},
        {"https://evil.github.io", "evil.github.io"},
        {"https://github.io", "github.io"},
        {"http://localhost:8000", "localhost"},
        {"http://127.0.0.1:9000", "127.0.0.1"},
        {"http://[::1]:9000", "[::1]"},
        {"https://[::1", "https://[::1"},
        {"https://", "https://"},
        {"file:///home/user/request.json", "file:///home/user/request.json"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(siteOf(c.origin), c.site) << c.origin;
}

}  // namespace
