#include "certificate.h"
#include "crypto_exception.h"
#include "der.h"
#include "software_signer.h"
#include "utc_time.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

namespace {

using zorva::plugin::crypto::Bytes;
using zorva::plugin::crypto::Certificate;
using zorva::plugin::crypto::exception::CryptoException;

Bytes derOf(X509& certificate) {
    return zorva::plugin::crypto::der(i2d_X509, &certificate, "test");
}

TEST(Certificate, ParsedOnceItsCopiesOutliveTheOriginalAndKeepItsBytes) {
    const SoftwareSigner signer(EVP_EC_gen("P-256"));
    const Bytes der = derOf(*signer.certificate);
    std::optional<Certificate> original(Certificate{der});
    const Certificate copy = *original;
    Certificate assigned{der};
    assigned = copy;
    EXPECT_EQ(&copy.x509(), &original->x509()) << "a copy shares the parsed object";

    original.reset();
    for (const Certificate* kept : std::initializer_list<const Certificate*>{&copy, &assigned}) {
        EXPECT_EQ(kept->der(), der);
        EXPECT_EQ(X509_cmp(&kept->x509(), signer.certificate.get()), 0);
    }
}

TEST(Certificate, BytesThatAreNoCertificateRaiseCryptoException) {
    const SoftwareSigner signer(EVP_EC_gen("P-256"));
    const Bytes der = derOf(*signer.certificate);
    const Bytes cases[] = {
        {}, {0x30, 0x03, 0x02, 0x01, 0x01}, Bytes(der.begin(), der.end() - 1), Bytes(64, 0xff)};
    for (const Bytes& bytes : cases)
        EXPECT_THROW(Certificate{bytes}, CryptoException) << bytes.size() << " bytes";
}

TEST(UtcText, UtcAndGeneralizedTimesReadAlikeAndAnUnreadableOneIsEmpty) {
    struct Case {
        int type;
        const char* value;
        std::string text;
    };
    const Case cases[] = {
        {V_ASN1_UTCTIME, "491231235959Z", "2049-12-31 23:59:59"},
        {V_ASN1_UTCTIME, "500101000000Z", "1950-01-01 00:00:00"},
        {V_ASN1_GENERALIZEDTIME, "20500101120000Z", "2050-01-01 12:00:00"},
        {V_ASN1_GENERALIZEDTIME, "2050-01-01", ""},
        {V_ASN1_UTCTIME, "", ""},
    };
    for (const Case& c : cases) {
        ASN1_TIME* time = ASN1_TIME_new();
        ASN1_STRING_set(time, c.value, -1);
        time->type = c.type;
        EXPECT_EQ(zorva::plugin::crypto::utcText(time), c.text) << c.value;
        ASN1_TIME_free(time);
    }
    EXPECT_EQ(zorva::plugin::crypto::utcText(nullptr), "");
}

}  // namespace
