#include <gtest/gtest.h>

#include "augment_method.h"
#include "authority_server.h"
#include "base64.h"
#include "evp_digest.h"
#include "exception.h"
#include "openssl_ptr.h"
#include "openssl_tool.h"
#include "private_install.h"
#include "provider_registry.h"
#include "request_files.h"
#include "revocation_values.h"
#include "scoped_environment.h"
#include "scripted_consent.h"
#include "sign_methods.h"
#include "signature_levels.h"
#include "test_token.h"
#include "verify_method.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/cms.h>
#include <openssl/evp.h>

#include <boost/exception/get_error_info.hpp>

#include <string>

// Signatures at levels T and LT against time-stamp authorities and
// responders on 127.0.0.1 that each case starts; every case runs in a
// process and a private install of its own (isolated_main.cpp).
namespace {

namespace crypto = zorva::plugin::crypto;
namespace fs = boost::filesystem;
using zorva::plugin::cryptoki::ProviderRegistry;
using zorva::plugin::format::Message;

const std::string pin = "123456";
const fs::path authorities = AUTHORITY_DIR;

QJsonObject object(const std::string& json) {
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    return document.isArray() ? document.array().at(0).toObject() : document.object();
}

std::string text(const QJsonObject& object, const char* name) {
    return object.value(name).toString().toStdString();
}

std::string decoded(const std::string& json) {
    return zorva::plugin::base64::decode(text(object(json), "signature"));
}

struct Failure {
    int code = 0;
    std::string detail;
};

template <class Call>
Failure failureOf(Call call) {
    try {
        call();
    } catch (const zorva::plugin::exception::Exception& error) {
        const auto* detail = boost::get_error_info<zorva::plugin::exception::Message_>(error);
        return {error.code().value(), detail ? *detail : ""};
    }
    return {};
}

crypto::StampedValue stampOf(const std::string& signature) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(signature.data());
    const zorva::plugin::CmsPtr cms(
        d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(signature.size())));
    return cms ? crypto::signatureTimestamp(*cms) : crypto::StampedValue{};
}

std::size_t countOf(const std::string& signature, const char* what) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(signature.data());
    const zorva::plugin::CmsPtr cms(
        d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(signature.size())));
    if (std::string(what) == "certificates") {
        const zorva::plugin::CertificatesPtr certificates(CMS_get1_certs(cms.get()));
        const int count = sk_X509_num(certificates.get());
        return static_cast<std::size_t>(std::max(count, 0));
    }
    const zorva::plugin::CrlsPtr crls(CMS_get1_crls(cms.get()));
    const int count = sk_X509_CRL_num(crls.get());
    return static_cast<std::size_t>(std::max(count, 0));
}

class LongTerm : public testing::Test {
protected:
    void SetUp() override {
        installDefaults("zorva.plugin", "");
        settings_.trustStore = TestToken::file("ca.pem").string();
        settings_.tsaTrustStore = (authorities / "tsa-ca.pem").string();
        settings_.limits.timeout = std::chrono::seconds(1);
    }

    AuthorityServer tsa(const std::string& mode) {
        return AuthorityServer(TSA_SERVER, {authorities.string(), mode});
    }

    // The authorities of a B-LT signature, on a copy of their files: the
    // TSA's certificate names the server's CRL, and the token's signer now
    // has a certificate whose OCSP responder is the server, answering state.
    std::unique_ptr<AuthorityServer> longTermAuthorities(const std::string& state) {
        const fs::path copy = token_.dir() / "authorities";
        fs::create_directories(copy);
        for (const auto& entry : fs::directory_iterator(authorities))
            fs::copy_file(entry.path(), copy / entry.path().filename());
        auto server = std::make_unique<AuthorityServer>(
            TSA_SERVER, std::vector<std::string>{copy.string(), "good"});
        namespace bp = boost::process;
        EXPECT_EQ(bp::system(bp::search_path("sh"), ISSUE_LONG_TERM, copy.string(),
                             std::to_string(server->port()), TOKEN_DIR, state),
                  0);
        const std::string der = readFile(copy / "signer.der");
        signer_ = sha256Hex(der);
        settings_.tsaUrls = {server->url() + "tsa"};
        settings_.revocationFetch = true;
        return server;
    }

    std::string signRequest(const std::string& document, const std::string& extra) {
        return R"({"certificate":")" + signer_ + R"(",)" + extra + R"("sha256":[")" +
               sha256Hex(document) + R"("],"files":[)" + inlineFile("contract.pdf", document) +
               "]}";
    }

    std::string sign(ScriptedConsent& consent, const std::string& data) {
        Message message;
        message.method.data = data;
        message.meta.data["origin"] = "https://portal.example";
        return crypto::signDocuments(registry_, consent, message, settings_);
    }

    std::string verify(const std::string& signature, const std::string& document) {
        return crypto::verifySignature(R"({"files":[)" + inlineFile("sig", signature) + "," +
                                           inlineFile("doc", document) + "]}",
                                       settings_);
    }

    std::string augment(const std::string& level, const std::string& signature,
                        const std::string& document) {
        const std::string files = inlineFile("contract.p7s", signature) +
                                  (document.empty() ? "" : "," + inlineFile("doc", document));
        return crypto::augmentSignature(R"({"format":")" + level + R"(","files":[)" + files + "]}",
                                        settings_);
    }

    TestToken token_;
    ProviderRegistry registry_{{}};
    crypto::LongTermSettings settings_;
    std::string signer_ = TestToken::certificateId("RSA Signer");
};

TEST_F(LongTerm, LevelTStampsTheSignatureValueAsOpensslCmsAndTsVerifyAccept) {
    const AuthorityServer server = tsa("good");
    settings_.tsaUrls = {server.url()};
    const std::string document = "the contract";
    for (const char* detached : {"true", "false"}) {
        SCOPED_TRACE(detached);
        ScriptedConsent consent({{signer_, pin}});

        const std::string signature =
            decoded(sign(consent, signRequest(document, R"("format":"CAdES-T","detached":")" +
                                                            std::string(detached) + R"(",)")));

        writeFile(token_.dir() / "signature.p7s", signature);
        writeFile(token_.dir() / "document", document);
        EXPECT_TRUE(
            cmsVerifies(token_.dir() / "signature.p7s",
                        detached == std::string("true") ? token_.dir() / "document" : fs::path(),
                        TestToken::file("ca.pem").string()));
        const crypto::StampedValue stamp = stampOf(signature);
        ASSERT_FALSE(stamp.token.empty());
        writeFile(token_.dir() / "token.der", std::string(stamp.token.begin(), stamp.token.end()));
        writeFile(token_.dir() / "value",
                  std::string(stamp.signatureValue.begin(), stamp.signatureValue.end()));
        EXPECT_TRUE(opensslAccepts(
            {"ts", "-verify", "-token_in", "-in", (token_.dir() / "token.der").string(), "-data",
             (token_.dir() / "value").string(), "-CAfile", (authorities / "tsa-ca.pem").string()}));
        ASSERT_EQ(consent.asked.size(), 1u);
        EXPECT_EQ(consent.asked[0].level, "CAdES-T");
        EXPECT_EQ(consent.asked[0].timestampHost, "127.0.0.1");

        const QJsonObject verdict = object(verify(signature, document));
        EXPECT_EQ(text(verdict, "valid"), "true");
        EXPECT_EQ(text(verdict, "level"), "CAdES-T");
        EXPECT_EQ(text(verdict, "timestampValid"), "true");
        EXPECT_EQ(text(verdict, "timestampAuthority"), "CN=Zorva Test tsa");
        EXPECT_EQ(text(verdict, "timestampTime").size(), 19u);
    }
}

TEST_F(LongTerm, EachTsaFailureEndsTheRequestWithItsCodeAndCauseAndNoSignature) {
    struct Case {
        const char* mode;
        // "listed": the server's URL is configured and the request names none;
        // "unlisted": the request names it, the configuration another;
        // "none": no TSA configured; "closed": the listed URL has no server;
        // "untrusted": the TSA's CA is not the TSA trust store.
        const char* setting;
        int code;
        const char* detail;
        bool asked;
    };
    const Case cases[] = {
        {"good", "unlisted", 20015, "is not configured", false},
        {"good", "none", 20013, "no time-stamp authority is configured", false},
        {"good", "closed", 20014, "Couldn't connect", true},
        {"good", "untrusted", 20017, "certificate verify error", true},
        {"rejecting", "listed", 20016, "the stamp was refused: status 2", true},
        {"garbage", "listed", 20018, "no time-stamp response", true},
        {"slow", "listed", 20014, "no answer within 1000 ms", true},
        {"wrong-nonce", "listed", 20017, "nonce mismatch", true},
        {"wrong-imprint", "listed", 20017, "message imprint mismatch", true},
        {"huge", "listed", 20018, "longer than", true},
        {"http-error", "listed", 20018, "HTTP status 500", true},
        {"redirect-file", "listed", 20018, "Unsupported protocol", true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(std::string(testCase.mode) + " " + testCase.setting);
        const AuthorityServer server = tsa(testCase.mode);
        const std::string setting = testCase.setting;
        settings_.tsaUrls = {setting == "closed"     ? AuthorityServer::closedUrl()
                             : setting == "unlisted" ? "https://tsa.example/"
                                                     : server.url()};
        if (setting == "none") settings_.tsaUrls.clear();
        settings_.tsaTrustStore = setting == "untrusted" ? TestToken::file("ca.pem").string()
                                                         : (authorities / "tsa-ca.pem").string();
        const std::string named =
            setting == "unlisted" ? R"("tsa":")" + server.url() + R"(",)" : "";
        ScriptedConsent consent({{signer_, pin}});

        const Failure failure = failureOf(
            [&] { sign(consent, signRequest("the contract", R"("format":"CAdES-T",)" + named)); });

        EXPECT_EQ(failure.code, testCase.code);
        EXPECT_NE(failure.detail.find(testCase.detail), std::string::npos) << failure.detail;
        EXPECT_EQ(consent.asked.size(), testCase.asked ? 1u : 0u);
        if (testCase.asked)
            EXPECT_NE(failure.detail.find("\"contract.pdf\" was signed, its timestamp failed"),
                      std::string::npos);
    }
}

TEST_F(LongTerm, TheTsaIsReachedThroughTheProxyTheEnvironmentNames) {
    const AuthorityServer proxy = tsa("good");
    ScopedEnvironment environment;
    environment.set("http_proxy", proxy.url());
    settings_.tsaUrls = {"http://tsa.invalid/stamp"};
    ScriptedConsent consent({{signer_, pin}});

    const std::string signature =
        decoded(sign(consent, signRequest("the contract", R"("format":"CAdES-T",)")));

    EXPECT_EQ(text(object(verify(signature, "the contract")), "timestampValid"), "true");
}

TEST_F(LongTerm, OcspResponsesGoIntoASignatureWithoutRevocationValuesAndComeBackOut) {
    ScriptedConsent consent({{signer_, pin}});
    const std::string bes = decoded(sign(consent, signRequest("the contract", "")));
    // The smallest OCSPResponse: status "successful" without response bytes.
    const crypto::Bytes response{0x30, 0x03, 0x0a, 0x01, 0x00};

    const crypto::Bytes added =
        crypto::withOcspResponses(crypto::Bytes(bes.begin(), bes.end()), {response, response});

    EXPECT_EQ(crypto::ocspResponses(added), (std::vector<crypto::Bytes>{response, response}));
    writeFile(token_.dir() / "signature.p7s", std::string(added.begin(), added.end()));
    writeFile(token_.dir() / "document", "the contract");
    EXPECT_TRUE(cmsVerifies(token_.dir() / "signature.p7s", token_.dir() / "document",
                            TestToken::file("ca.pem").string()));
    // SignedData version 5, as RFC 5652 asks when "other" revocation data is present.
    namespace bp = boost::process;
    bp::ipstream outline;
    bp::child parse(bp::search_path("openssl"), "asn1parse", "-inform", "DER", "-in",
                    (token_.dir() / "signature.p7s").string(), bp::std_out > outline);
    std::string line, version;
    while (std::getline(outline, line))
        if (version.empty() && line.find("d=3") != std::string::npos &&
            line.find("INTEGER") != std::string::npos)
            version = line.substr(line.rfind(':') + 1);
    parse.wait();
    EXPECT_EQ(version, "05");
}

TEST_F(LongTerm, VerifyOfABesSignatureReportsItsLevelAndNoTimestamp) {
    ScriptedConsent consent({{signer_, pin}});
    const std::string signature = decoded(sign(consent, signRequest("the contract", "")));

    const QJsonObject verdict = object(verify(signature, "the contract"));

    EXPECT_EQ(text(verdict, "valid"), "true");
    EXPECT_EQ(text(verdict, "level"), "CAdES-BES");
    EXPECT_EQ(text(verdict, "timestampValid"), "");
    EXPECT_EQ(consent.asked.at(0).level, "CAdES-BES");
    EXPECT_EQ(consent.asked.at(0).timestampHost, "");
}

TEST_F(LongTerm, LevelLtCarriesBothChainsAndTheirRevocationValuesAndVerifiesOffline) {
    const std::string document = "the contract";
    std::string signature;
    {
        const auto server = longTermAuthorities("good");
        ScriptedConsent consent({{signer_, pin}});

        signature = decoded(sign(consent, signRequest(document, R"("format":"CAdES-LT",)")));

        EXPECT_EQ(consent.asked.at(0).level, "CAdES-LT");
        EXPECT_TRUE(consent.asked.at(0).asksRevocation);
    }

    // The TSA and the responder are gone: what the signature carries must do.
    writeFile(token_.dir() / "signature.p7s", signature);
    writeFile(token_.dir() / "document", document);
    EXPECT_TRUE(cmsVerifies(token_.dir() / "signature.p7s", token_.dir() / "document",
                            TestToken::file("ca.pem").string()));
    // The signer, its CA, the TSA and the TSA's CA; the signer's OCSP
    // response and the CRL of the TSA's CA.
    EXPECT_EQ(countOf(signature, "certificates"), 4u);
    EXPECT_EQ(crypto::ocspResponses(crypto::Bytes(signature.begin(), signature.end())).size(), 1u);
    EXPECT_EQ(countOf(signature, "crls"), 1u);
    const QJsonObject verdict = object(verify(signature, document));
    EXPECT_EQ(text(verdict, "valid"), "true");
    EXPECT_EQ(text(verdict, "chain"), "valid");
    EXPECT_EQ(text(verdict, "level"), "CAdES-LT");
    EXPECT_EQ(text(verdict, "timestampValid"), "true");
    EXPECT_EQ(text(verdict, "revocation"), "complete");
}

TEST_F(LongTerm, LevelLtEndsWithTheResponderVerdictOrWithoutPermissionBeforeAsking) {
    struct Case {
        const char* state;
        bool fetch;
        int code;
        const char* detail;
        bool asked;
    };
    const Case cases[] = {
        {"revoked", true, 20018, "the responder says \"revoked\"", true},
        {"unknown", true, 20018, "the responder says \"unknown\"", true},
        {"good", false, 20013, "allows no OCSP or CRL fetches", false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.state);
        fs::remove_all(token_.dir() / "authorities");
        const auto server = longTermAuthorities(testCase.state);
        settings_.revocationFetch = testCase.fetch;
        ScriptedConsent consent({{signer_, pin}});

        const Failure failure = failureOf(
            [&] { sign(consent, signRequest("the contract", R"("format":"CAdES-LT",)")); });

        EXPECT_EQ(failure.code, testCase.code);
        EXPECT_NE(failure.detail.find(testCase.detail), std::string::npos) << failure.detail;
        EXPECT_EQ(consent.asked.size(), testCase.asked ? 1u : 0u);
        if (testCase.asked)
            EXPECT_NE(failure.detail.find("its validation data failed"), std::string::npos);
    }
}

TEST_F(LongTerm, AugmentBringsASignatureFromBToTToLtWithoutTheTokenOrTheUser) {
    const std::string document = "the contract";
    const auto server = longTermAuthorities("good");
    for (const char* detached : {"true", "false"}) {
        SCOPED_TRACE(detached);
        const std::string content = detached == std::string("true") ? document : "";
        ScriptedConsent consent({{signer_, pin}});
        const std::string bes = decoded(sign(
            consent, signRequest(document, R"("detached":")" + std::string(detached) + R"(",)")));

        const QJsonObject t = object(augment("CAdES-T", bes, content));
        const std::string stamped = zorva::plugin::base64::decode(text(t, "signature"));
        const QJsonObject lt = object(augment("CAdES-LT", stamped, content));
        const std::string longTerm = zorva::plugin::base64::decode(text(lt, "signature"));

        EXPECT_EQ(text(t, "name"), "contract.p7s");
        EXPECT_EQ(text(t, "level"), "CAdES-T");
        EXPECT_EQ(text(lt, "level"), "CAdES-LT");
        EXPECT_EQ(consent.asked.size(), 1u);
        EXPECT_EQ(text(object(verify(stamped, document)), "timestampValid"), "true");
        const QJsonObject verdict = object(verify(longTerm, document));
        EXPECT_EQ(text(verdict, "valid"), "true");
        EXPECT_EQ(text(verdict, "level"), "CAdES-LT");
        EXPECT_EQ(text(verdict, "revocation"), "complete");
        writeFile(token_.dir() / "signature.p7s", longTerm);
        writeFile(token_.dir() / "document", document);
        EXPECT_TRUE(cmsVerifies(token_.dir() / "signature.p7s",
                                content.empty() ? fs::path() : token_.dir() / "document",
                                TestToken::file("ca.pem").string()));
    }
}

TEST_F(LongTerm, AugmentRefusesASignatureThatDoesNotVerifyOrHasTheLevelAlready) {
    const AuthorityServer server = tsa("good");
    settings_.tsaUrls = {server.url()};
    ScriptedConsent consent({{signer_, pin}, {signer_, pin}});
    const std::string bes = decoded(sign(consent, signRequest("the contract", "")));
    const std::string stamped =
        decoded(sign(consent, signRequest("the contract", R"("format":"CAdES-T",)")));
    struct Case {
        const char* name;
        std::string level, signature, document;
        int code;
        const char* detail;
    };
    const Case cases[] = {
        {"another document", "CAdES-T", bes, "the contracT", 20015, "does not verify"},
        {"already T", "CAdES-T", stamped, "the contract", 20015, "already at level CAdES-T"},
        {"to B", "CAdES-BES", bes, "the contract", 20015, "\"CAdES-T\" or \"CAdES-LT\""},
        {"not CMS", "CAdES-T", "no signature", "the contract", 20015, "not a CMS signature"},
        {"LT without fetches", "CAdES-LT", stamped, "the contract", 20013, "no OCSP or CRL"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);

        const Failure failure =
            failureOf([&] { augment(testCase.level, testCase.signature, testCase.document); });

        EXPECT_EQ(failure.code, testCase.code);
        EXPECT_NE(failure.detail.find(testCase.detail), std::string::npos) << failure.detail;
    }
}

}  // namespace
