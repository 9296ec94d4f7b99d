#include <gtest/gtest.h>

#include "exception.h"
#include "provider_registry.h"
#include "test_token.h"
#include "token_methods.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>
#include <string>

namespace {

namespace crypto = zorva::plugin::crypto;
using zorva::plugin::cryptoki::ProviderRegistry;

QJsonDocument parsed(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text));
}

QJsonArray softhsmTokens(const QJsonArray& tokens) {
    QJsonArray found;
    for (const auto& token : tokens)
        if (token.toObject().value("module").toString() == "softhsm2") found.append(token);
    return found;
}

std::set<std::string> subjects(const std::string& certificates) {
    std::set<std::string> names;
    for (const auto& entry : parsed(certificates).array())
        names.insert(entry.toObject().value("subject").toString().toStdString());
    return names;
}

class TokenMethods : public testing::Test {
protected:
    TestToken token_;
    ProviderRegistry registry_{{}};
};

TEST_F(TokenMethods, StatusListsTheInitialisedTokenOnlyWithItsPinState) {
    const QJsonObject status = parsed(crypto::status(registry_)).object();

    const QJsonArray tokens = softhsmTokens(status.value("tokens").toArray());
    ASSERT_EQ(tokens.size(), 1);
    const QJsonObject token = tokens.first().toObject();
    EXPECT_EQ(token.value("label").toString(), "Test Token");
    EXPECT_EQ(token.value("model").toString(), "SoftHSM v2");
    EXPECT_EQ(token.value("pinPad").toString(), "false");
    EXPECT_EQ(token.value("pinLocked").toString(), "false");
    bool softhsmLoaded = false;
    for (const auto& module : status.value("modules").toArray())
        softhsmLoaded |= module.toObject().value("name").toString() == "softhsm2" &&
                         module.toObject().value("state").toString() == "loaded";
    EXPECT_TRUE(softhsmLoaded);
}

TEST_F(TokenMethods, AlgorithmsOfAProviderListItsTokensMechanisms) {
    for (const std::string provider : {"softhsm2", "Test Token"}) {
        SCOPED_TRACE(provider);

        const QJsonObject result = parsed(crypto::algorithms(registry_, provider)).object();

        const QJsonArray tokens = result.value("tokens").toArray();
        ASSERT_EQ(tokens.size(), 1);
        const auto mechanisms = tokens.first().toObject().value("mechanisms").toArray();
        EXPECT_TRUE(mechanisms.contains("CKM_RSA_PKCS"));
        EXPECT_TRUE(mechanisms.contains("CKM_RSA_PKCS_PSS"));
        EXPECT_TRUE(mechanisms.contains("CKM_ECDSA"));
        EXPECT_TRUE(result.value("digests").toArray().contains("SHA-256"));
    }
    EXPECT_TRUE(parsed(crypto::algorithms(registry_, "no such provider"))
                    .object()
                    .value("tokens")
                    .toArray()
                    .isEmpty());
}

// A page could upload a library through the chunk store and name it here.
TEST_F(TokenMethods, AModulePathInARequestIsRefusedAndNeverLoaded) {
    TempDir dir;
    const std::string marker = (dir / "loaded").string();
    ScopedEnvironment environment;
    environment.set("ZORVA_TEST_MARKER", marker);

    for (const std::string& path :
         {std::string(MARKER_LIBRARY), std::string("libmarker.so"), std::string("..\\x.dll")}) {
        SCOPED_TRACE(path);
        try {
            crypto::algorithms(registry_, path);
            ADD_FAILURE() << "accepted";
        } catch (const zorva::plugin::exception::ApplicationException& error) {
            EXPECT_EQ(error.code().value(), 20015);
        }
    }
    EXPECT_FALSE(boost::filesystem::exists(marker));
}

TEST_F(TokenMethods, CertificatesOffersOnlyThoseWhoseKeyCanSign) {
    const std::string all = crypto::certificates(registry_, "");

    EXPECT_EQ(subjects(all),
              (std::set<std::string>{"CN=Always Signer", "CN=EC Signer", "CN=RSA Signer"}));
    const QJsonObject rsa = parsed(all).array().at(0).toObject();
    EXPECT_EQ(rsa.value("token").toString(), "Test Token");
    EXPECT_EQ(rsa.value("issuer").toString(), "CN=Zorva Test CA");
    EXPECT_FALSE(rsa.value("certificate").toString().isEmpty());
}

TEST_F(TokenMethods, CertificateFiltersNarrowTheListOrRefuseBadFilters) {
    struct Case {
        const char* filter;
        std::set<std::string> subjects;
    };
    const std::set<std::string> signers{"CN=Always Signer", "CN=EC Signer", "CN=RSA Signer"};
    const Case cases[] = {
        {R"({"keyUsage":"nonRepudiation"})", signers},
        {R"({"issuer":"Zorva Test CA","valid":"true"})", signers},
        {R"({"issuer":"Another CA"})", {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.filter);
        EXPECT_EQ(subjects(crypto::certificates(registry_, testCase.filter)), testCase.subjects);
    }
    for (const char* bad : {R"({"keyUsage":"keyEncipherment"})", "[", R"({"issuer":1})"}) {
        SCOPED_TRACE(bad);
        try {
            crypto::certificates(registry_, bad);
            ADD_FAILURE() << "accepted";
        } catch (const zorva::plugin::exception::ApplicationException& error) {
            EXPECT_EQ(error.code().value(), 20015);
        }
    }
}

}  // namespace
