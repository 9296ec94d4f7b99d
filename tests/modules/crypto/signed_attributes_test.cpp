#include "cades_signature.h"
#include "software_signer.h"

#include <openssl/cms.h>
#include <openssl/evp.h>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::crypto::Bytes;

// OpenSSL signs its own encoding of the attributes with a key in memory: the
// signature verifies over the module's bytes only if they are the same, the
// ones a token signs in place of OpenSSL.
TEST(SignedAttributes, AreTheBytesOpenSslItselfSigns) {
    for (EVP_PKEY* key : {EVP_EC_gen("P-256"), EVP_RSA_gen(1024)}) {
        const SoftwareSigner signer(key);
        const CadesSignerInfo signerInfo(signer);
        const Bytes attributes = zorva::plugin::crypto::signedAttributes(*signerInfo.info);
        ASSERT_EQ(CMS_SignerInfo_sign(signerInfo.info), 1);

        const ASN1_OCTET_STRING* signature = CMS_SignerInfo_get0_signature(signerInfo.info);
        const zorva::plugin::OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free> check(EVP_MD_CTX_new());
        ASSERT_EQ(
            EVP_DigestVerifyInit(check.get(), nullptr, EVP_sha256(), nullptr, signer.key.get()), 1);
        EXPECT_EQ(
            EVP_DigestVerify(check.get(), ASN1_STRING_get0_data(signature),
                             ASN1_STRING_length(signature), attributes.data(), attributes.size()),
            1)
            << EVP_PKEY_get0_type_name(signer.key.get());
        EXPECT_EQ(attributes.front(), 0x31) << "a SET OF";
    }
}

}  // namespace
