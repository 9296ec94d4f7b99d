#include "certificate.h"

#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using zorva::plugin::X509Ptr;
using zorva::plugin::crypto::describe;
using zorva::plugin::crypto::describeCommonNameFirst;

using Entries = std::vector<std::pair<const char*, const char*>>;

// A certificate that is only a name, in the order of the entries given.
X509Ptr certificateNamed(const Entries& subject) {
    X509Ptr certificate(X509_new());
    X509_NAME* name = X509_get_subject_name(certificate.get());
    for (const auto& [field, value] : subject)
        X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(value), -1, -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
    return certificate;
}

TEST(CertificateText, ThePeoplesViewLeadsWithTheCommonNameWhateverTheOrder) {
    struct Case {
        Entries subject;
        std::string asKept, forPeople;
    };
    const Case cases[] = {
        {{{"C", "RU"}, {"O", "Org"}, {"CN", "Ivan"}}, "CN=Ivan,O=Org,C=RU", "CN=Ivan,O=Org,C=RU"},
        {{{"CN", "Ivan"}, {"O", "Org"}, {"C", "RU"}}, "C=RU,O=Org,CN=Ivan", "CN=Ivan,C=RU,O=Org"},
        {{{"O", "Org"}, {"CN", "Ivan"}, {"OU", "Dept"}},
         "OU=Dept,CN=Ivan,O=Org",
         "CN=Ivan,OU=Dept,O=Org"},
        {{{"O", "Org"}}, "O=Org", "O=Org"},
    };
    for (const Case& c : cases) {
        const X509Ptr certificate = certificateNamed(c.subject);
        EXPECT_EQ(describe(*certificate).subject, c.asKept) << "what the page reads stays";
        EXPECT_EQ(describeCommonNameFirst(*certificate).subject, c.forPeople);
        EXPECT_EQ(describeCommonNameFirst(*certificate).issuer, c.forPeople);
    }
}

}  // namespace
