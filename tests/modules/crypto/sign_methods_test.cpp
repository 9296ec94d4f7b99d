#include <gtest/gtest.h>

#include "base64.h"
#include "chunk_store.h"
#include "evp_digest.h"
#include "exception.h"
#include "openssl_tool.h"
#include "private_install.h"
#include "provider_registry.h"
#include "request_files.h"
#include "scripted_consent.h"
#include "sign_methods.h"
#include "test_token.h"
#include "token_methods.h"
#include "unlocked_key.h"
#include "verify_method.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/evp.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <boost/exception/get_error_info.hpp>

#include <string>

// Every case runs in a process and a private install of its own
// (isolated_main.cpp): the chunk store's root comes from the install.
namespace {

namespace crypto = zorva::plugin::crypto;
namespace fs = boost::filesystem;
using zorva::plugin::cryptoki::ProviderRegistry;
using zorva::plugin::format::Message;

const std::string pin = "123456";

std::string joinedFile(const fs::path& path) {
    return R"({"name":")" + path.filename().string() + R"(","contentEncoding":"temp","path":")" +
           path.string() + R"("})";
}

QJsonValue field(const std::string& json, const char* name) {
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    return document.isArray() ? document.array().at(0).toObject().value(name)
                              : document.object().value(name);
}

crypto::LongTermSettings trusting(const std::string& trustStore) {
    crypto::LongTermSettings settings;
    settings.trustStore = trustStore;
    return settings;
}

std::string decoded(const QJsonValue& value) {
    return zorva::plugin::base64::decode(value.toString().toStdString());
}

class SignMethods : public testing::Test {
protected:
    void SetUp() override { installDefaults("zorva.plugin", ""); }

    Message request(const std::string& data) {
        Message message;
        message.method.data = data;
        message.meta.data["origin"] = "https://portal.example";
        return message;
    }

    std::string signHash(ScriptedConsent& consent, const std::string& data) {
        return crypto::signHash(registry_, consent, request(data));
    }

    std::string sign(ScriptedConsent& consent, const std::string& data) {
        return crypto::signDocuments(registry_, consent, request(data), {});
    }

    template <class Call>
    int failureCode(Call call) {
        try {
            call();
        } catch (const std::system_error& error) {
            return error.code().value();
        }
        return 0;
    }

    fs::path joined(const std::string& name, const std::string& bytes) {
        const fs::path catalog = zorva::plugin::ChunkStore::root() / "transfer";
        fs::create_directories(catalog);
        writeFile(catalog / name, bytes);
        return catalog / name;
    }

    TestToken token_;
    ProviderRegistry registry_{{}};
};

TEST_F(SignMethods, SignHashMakesSignaturesThatOpensslPkeyutlVerifies) {
    struct Case {
        const char* key;
        const char* hashFunction;
        const char* padding;
        const char* digest;
        const char* algorithm;
    };
    const Case cases[] = {
        {"RSA Signer", "SHA-256", "PKCS1.5", "sha256", "RSA/SHA-256/PKCS1.5"},
        {"RSA Signer", "SHA-384", "PSS", "sha384", "RSA/SHA-384/PSS"},
        {"EC Signer", "SHA-256", "", "sha256", "ECC/SHA-256/NONE"},
        {"Always Signer", "SHA-512", "PKCS1.5", "sha512", "RSA/SHA-512/PKCS1.5"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.key + std::string(" ") + testCase.padding);
        const std::string id = TestToken::certificateId(testCase.key);
        std::string hash(EVP_MD_get_size(EVP_get_digestbyname(testCase.digest)), '\x5a');
        ScriptedConsent consent({{id, pin}});

        const std::string result = signHash(
            consent, R"({"certificate":")" + id + R"(","hash":")" +
                         zorva::plugin::base64::encode(hash) + R"(","hashFunction":")" +
                         testCase.hashFunction + R"(","padding":")" + testCase.padding + R"("})");

        EXPECT_EQ(field(result, "algorithm").toString().toStdString(), testCase.algorithm);
        writeFile(token_.dir() / "hash", hash);
        writeFile(token_.dir() / "signature", decoded(field(result, "signature")));
        std::vector<std::string> arguments{
            "pkeyutl",
            "-verify",
            "-pubin",
            "-inkey",
            TestToken::file(std::string(testCase.key) + ".pub.pem").string(),
            "-in",
            (token_.dir() / "hash").string(),
            "-sigfile",
            (token_.dir() / "signature").string(),
            "-pkeyopt",
            std::string("digest:") + testCase.digest};
        if (std::string(testCase.padding) == "PSS")
            arguments.insert(arguments.end(), {"-pkeyopt", "rsa_padding_mode:pss", "-pkeyopt",
                                               "rsa_pss_saltlen:digest"});
        EXPECT_TRUE(opensslAccepts(arguments));
        ASSERT_EQ(consent.asked.size(), 1u);
        EXPECT_EQ(consent.asked[0].origin, "https://portal.example");
        EXPECT_EQ(consent.asked[0].operation, "Sign a hash prepared by the site");
        ASSERT_TRUE(consent.asked[0].hash);
        EXPECT_EQ(consent.asked[0].hash->function, testCase.hashFunction);
        EXPECT_EQ(consent.asked[0].hash->prefix, "5a5a5a5a5a5a5a5a") << "what the window shows";
    }
}

TEST_F(SignMethods, SignHashRefusesBadRequestsBeforeAskingTheUser) {
    const std::string rsa = TestToken::certificateId("RSA Signer");
    const std::string ec = TestToken::certificateId("EC Signer");
    const std::string hash32 = zorva::plugin::base64::encode(std::string(32, 'h'));
    struct Case {
        const char* name;
        std::string data;
        int code;
    };
    const Case cases[] = {
        {"no hash", R"({"certificate":")" + rsa + R"("})", 20006},
        {"no certificate", R"({"hash":")" + hash32 + R"("})", 20006},
        {"hash too short for SHA-384",
         R"({"certificate":")" + rsa + R"(","hashFunction":"SHA-384","hash":")" + hash32 + R"("})",
         20015},
        {"not base64", R"({"certificate":")" + rsa + R"(","hash":"%%%%"})", 20015},
        {"PSS for an EC key",
         R"({"certificate":")" + ec + R"(","padding":"PSS","hash":")" + hash32 + R"("})", 20013},
        {"NONE for an RSA key",
         R"({"certificate":")" + rsa + R"(","padding":"NONE","hash":")" + hash32 + R"("})", 20013},
        {"unknown hash function",
         R"({"certificate":")" + rsa + R"(","hashFunction":"GOST","hash":")" + hash32 + R"("})",
         20013},
        {"certificate on no token", R"({"certificate":"00","hash":")" + hash32 + R"("})", 20015},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ScriptedConsent consent({{rsa, pin}});

        EXPECT_EQ(failureCode([&] { signHash(consent, testCase.data); }), testCase.code);
        EXPECT_TRUE(consent.asked.empty());
    }
}

TEST_F(SignMethods, AWrongPinIsError160AndSetsTheCountLowFlag) {
    const auto certificates = crypto::signingCertificates(registry_);

    const int code = failureCode([&] { crypto::UnlockedKey(certificates.at(0), {"0000", 4}); });

    EXPECT_EQ(code, 160);
    const auto tokens =
        QJsonDocument::fromJson(QByteArray::fromStdString(crypto::status(registry_)))
            .object()
            .value("tokens")
            .toArray();
    bool countLow = false;
    for (const auto& token : tokens)
        countLow |= token.toObject().value("label") == "Test Token" &&
                    token.toObject().value("pinCountLow") == "true";
    EXPECT_TRUE(countLow);
}

TEST_F(SignMethods, WrongPinsAreShownInTheOpenQuestionAndTheNextPinSigns) {
    const std::string id = TestToken::certificateId("EC Signer");
    ScriptedConsent consent({{id, "0000"}, {id, "1111"}, {id, pin}});

    const std::string result =
        signHash(consent, R"({"certificate":")" + id + R"(","hash":")" +
                              zorva::plugin::base64::encode(std::string(32, 'h')) + R"("})");

    EXPECT_FALSE(field(result, "signature").toString().isEmpty());
    EXPECT_EQ(consent.asked.size(), 1u) << "asked once, answered three times";
    ASSERT_EQ(consent.shown.size(), 2u);
    for (const auto& failure : consent.shown) {
        EXPECT_EQ(failure.error, "Wrong PIN. Few attempts left.");
        ASSERT_EQ(failure.tokens.size(), 1u);
        EXPECT_TRUE(failure.tokens[0].pinCountLow);
    }
}

TEST_F(SignMethods, ACancelledConsentEndsWith20003WithoutAskingAgain) {
    const std::string id = TestToken::certificateId("RSA Signer");
    ScriptedConsent consent;

    const int code = failureCode([&] {
        signHash(consent, R"({"certificate":")" + id + R"(","hash":")" +
                              zorva::plugin::base64::encode(std::string(32, 'h')) + R"("})");
    });

    EXPECT_EQ(code, 20003);
    EXPECT_EQ(consent.asked.size(), 1u);
}

TEST_F(SignMethods, SignMakesCadesThatOpensslVerifiesAndAChangedByteBreaks) {
    struct Case {
        const char* key;
        const char* padding;
        bool attached;
        bool chunked;
    };
    const Case cases[] = {
        {"RSA Signer", "", false, true},
        {"EC Signer", "", false, false},
        {"RSA Signer", "PSS", true, false},
        {"Always Signer", "", false, true},
    };
    const std::string document(300000, 'd');
    const fs::path onDisk = joined("document.bin", document);
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.key + std::string(testCase.attached ? " attached" : " detached"));
        const std::string id = TestToken::certificateId(testCase.key);
        ScriptedConsent consent({{id, pin}});
        const std::string file =
            testCase.chunked ? joinedFile(onDisk) : inlineFile("document.bin", document);

        const std::string result =
            sign(consent, R"({"certificate":")" + id + R"(","format":"CAdES-BES","detached":")" +
                              (testCase.attached ? "false" : "true") + R"(","padding":")" +
                              testCase.padding + R"(","sha256":[")" + sha256Hex(document) +
                              R"("],"files":[)" + file + "]}");

        EXPECT_EQ(field(result, "name").toString(), "document.bin");
        const fs::path signature = token_.dir() / "signature.p7s";
        writeFile(signature, decoded(field(result, "signature")));
        writeFile(token_.dir() / "document", document);
        writeFile(token_.dir() / "changed", "e" + document.substr(1));
        const fs::path content = testCase.attached ? fs::path() : token_.dir() / "document";
        const std::string ca = TestToken::file("ca.pem").string();
        EXPECT_TRUE(cmsVerifies(signature, content, ca));
        if (!testCase.attached) EXPECT_FALSE(cmsVerifies(signature, token_.dir() / "changed", ca));
        ASSERT_EQ(consent.asked.size(), 1u);
        ASSERT_EQ(consent.asked[0].documents.size(), 1u);
        EXPECT_EQ(consent.asked[0].documents[0].sha256Prefix, sha256Hex(document).substr(0, 16));
        EXPECT_EQ(consent.asked[0].operation, "Sign 1 document");
    }
}

TEST_F(SignMethods, SignRefusesBadRequestsBeforeAskingTheUser) {
    TempDir outside;
    writeFile(outside / "secret", "secret");
    const std::string id = TestToken::certificateId("RSA Signer");
    const std::string abc = inlineFile("abc", "abc");
    const std::string abcSha = sha256Hex("abc");
    const fs::path large = joined("large.bin", std::string(crypto::attachedLimit + 1, 'x'));
    struct Case {
        const char* name;
        std::string data;
        int code;
    };
    const Case cases[] = {
        {"digest differs", R"({"sha256":[")" + sha256Hex("abd") + R"("],"files":[)" + abc + "]}",
         20020},
        {"format", R"({"format":"XAdES-BES","sha256":[")" + abcSha + R"("],"files":[)" + abc + "]}",
         20013},
        {"hash function",
         R"({"hashFunction":"MD5","sha256":[")" + abcSha + R"("],"files":[)" + abc + "]}", 20013},
        {"no files", R"({"sha256":[],"files":[]})", 20006},
        {"no digest", R"({"files":[)" + abc + "]}", 20015},
        {"outside the chunk store",
         R"({"sha256":[")" + sha256Hex("secret") + R"("],"files":[)" +
             joinedFile(outside / "secret") + "]}",
         20015},
        {"attached too large",
         R"({"detached":"false","sha256":[")" + sha256Hex("") + R"("],"files":[)" +
             joinedFile(large) + "]}",
         20021},
        {"unknown certificate",
         R"({"certificate":"00","sha256":[")" + abcSha + R"("],"files":[)" + abc + "]}", 20015},
        {"not JSON", "{", 20015},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ScriptedConsent consent({{id, pin}});

        EXPECT_EQ(failureCode([&] { sign(consent, testCase.data); }), testCase.code);
        EXPECT_TRUE(consent.asked.empty());
    }
}

// Names are the page's data: any UTF-8 text up to 1,024 characters reaches the
// user unchanged; only an empty name, a longer one or one that is not UTF-8
// (which the JSON reader refuses) is refused, with the reason.
TEST_F(SignMethods, DocumentNamesAreDataRefusedOnlyWhenEmptyNotUtf8OrTooLong) {
    std::string cyrillic;
    for (int i = 0; i < 1024; ++i) cyrillic += "\xD0\x96";
    const std::string notUtf8 = "sign: JSON parse error: 'Invalid encoding in string.'";
    struct Case {
        const char* name;
        std::string document;
        std::string reason;
    };
    const Case cases[] = {
        {"1,024 Cyrillic characters", cyrillic, ""},
        {"line break and tab", "a\nALSO SIGNED: b\tc", ""},
        {"right-to-left override", "invoice_\u202Efdp.exe", ""},
        {"a path", "../../etc/passwd", ""},
        {"empty", "", "sign: the name of document 1 is empty"},
        {"a stray byte", "caf\xE9.pdf", notUtf8},
        {"overlong slash", "a\xC0\xAF", notUtf8},
        {"encoded surrogate", "a\xED\xA0\x80", notUtf8},
        {"cut short", "a\xD0", notUtf8},
        {"1,025 characters", cyrillic + "x",
         "sign: the name of document 1 is longer than 1024 characters"},
    };
    const std::string id = TestToken::certificateId("EC Signer");
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ScriptedConsent consent({{id, pin}});
        rapidjson::StringBuffer name;
        rapidjson::Writer<rapidjson::StringBuffer> writer(name);
        writer.String(testCase.document.data(),
                      static_cast<rapidjson::SizeType>(testCase.document.size()));
        const std::string quoted(name.GetString(), name.GetSize());
        const std::string data = R"({"certificate":")" + id + R"(","sha256":[")" +
                                 sha256Hex("abc") + R"("],"files":[{"name":)" + quoted +
                                 R"(,"content":")" + zorva::plugin::base64::encode("abc") +
                                 R"(","contentEncoding":"base64"}]})";
        std::string reason;
        try {
            sign(consent, data);
        } catch (const zorva::plugin::exception::ApplicationException& error) {
            EXPECT_EQ(error.code().value(), 20015);
            if (const std::string* text =
                    boost::get_error_info<zorva::plugin::exception::Message_>(error))
                reason = *text;
        }
        EXPECT_EQ(reason.substr(0, testCase.reason.size()), testCase.reason);
        EXPECT_EQ(reason.empty(), testCase.reason.empty()) << reason;
        if (testCase.reason.empty()) {
            ASSERT_EQ(consent.asked.size(), 1u);
            EXPECT_EQ(consent.asked[0].documents.at(0).name, testCase.document);
        } else {
            EXPECT_TRUE(consent.asked.empty());
        }
    }
}

TEST_F(SignMethods, VerifyReportsSignerDigestAndChainAndCatchesAChangedDocument) {
    const std::string id = TestToken::certificateId("RSA Signer");
    ScriptedConsent consent({{id, pin}});
    const std::string document = "the document";
    const std::string signature =
        decoded(field(sign(consent, R"({"sha256":[")" + sha256Hex(document) + R"("],"files":[)" +
                                        inlineFile("doc", document) + "]}"),
                      "signature"));
    const std::string ca = TestToken::file("ca.pem").string();

    const std::string good = crypto::verifySignature(
        R"({"files":[)" + inlineFile("sig", signature) + "," + inlineFile("doc", document) + "]}",
        trusting(ca));
    const std::string changed =
        crypto::verifySignature(R"({"files":[)" + inlineFile("sig", signature) + "," +
                                    inlineFile("doc", "the documenT") + "]}",
                                trusting(ca));
    const std::string untrusted = crypto::verifySignature(
        R"({"files":[)" + inlineFile("sig", signature) + "," + inlineFile("doc", document) + "]}",
        trusting(TestToken::file("RSA Signer.pem").string()));

    EXPECT_EQ(field(good, "valid").toString(), "true");
    EXPECT_EQ(field(good, "signer").toString(), "CN=RSA Signer");
    EXPECT_EQ(field(good, "digest").toString().toStdString(), sha256Hex(document));
    EXPECT_EQ(field(good, "digestAlgorithm").toString(), "SHA-256");
    EXPECT_EQ(field(good, "chain").toString(), "valid");
    EXPECT_FALSE(field(good, "signingTime").toString().isEmpty());
    EXPECT_EQ(field(changed, "valid").toString(), "false");
    EXPECT_NE(field(untrusted, "chain").toString(), "valid");
}

}  // namespace
