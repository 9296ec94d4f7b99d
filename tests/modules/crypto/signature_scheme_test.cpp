#include "signature_scheme.h"
#include "exception.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using zorva::plugin::crypto::hashFunction;
using zorva::plugin::crypto::Padding;
using zorva::plugin::crypto::signatureScheme;
using zorva::plugin::exception::ApplicationCode;
using zorva::plugin::exception::ApplicationException;

int codeOf(void (*call)()) {
    try {
        call();
    } catch (const ApplicationException& error) {
        return error.code().value();
    }
    return 0;
}

TEST(SignatureScheme, NamesFromAPagePickTheHashAndAPaddingTheKeyAllows) {
    struct Case {
        const char* hash;
        const char* padding;
        const char* key;
        int bits;
        Padding expected;
    };
    const Case cases[] = {
        {"", "", "RSA", 256, Padding::Pkcs1},
        {"SHA-384", "", "ECC", 384, Padding::None},
        {"SHA-512", "PSS", "RSA", 512, Padding::Pss},
        {"SHA-256", "PKCS1.5", "RSA", 256, Padding::Pkcs1},
        {"SHA-256", "NONE", "ECC", 256, Padding::None},
    };
    for (const Case& c : cases) {
        const auto scheme = signatureScheme(hashFunction(c.hash), c.padding, c.key);
        EXPECT_EQ(EVP_MD_get_size(scheme.digest) * 8, c.bits) << c.hash << " " << c.padding;
        EXPECT_EQ(scheme.padding, c.expected) << c.hash << " " << c.padding;
    }
}

TEST(SignatureScheme, WhatNoKeyOrHashOffersIsNotImplemented) {
    const int notImplemented = zorva::plugin::exception::value(ApplicationCode::NotImplemented);
    EXPECT_EQ(codeOf([] { hashFunction("MD5"); }), notImplemented);
    EXPECT_EQ(codeOf([] { hashFunction("sha-256"); }), notImplemented);
    EXPECT_EQ(codeOf([] { signatureScheme(EVP_sha256(), "PSS", "ECC"); }), notImplemented);
    EXPECT_EQ(codeOf([] { signatureScheme(EVP_sha256(), "NONE", "RSA"); }), notImplemented);
    EXPECT_EQ(codeOf([] { signatureScheme(EVP_sha256(), "OAEP", "RSA"); }), notImplemented);
}

}  // namespace
