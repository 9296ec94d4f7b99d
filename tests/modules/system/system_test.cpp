#include <gtest/gtest.h>

#include "chunk_store.h"
#include "exception.h"
#include "ihandler.h"
#include "private_install.h"
#include "session.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>

#include <boost/make_shared.hpp>

#include <set>
#include <string>

// The module is loaded by a real session from a private install; every case
// runs in a process of its own (isolated_main.cpp).
namespace {

namespace fs = boost::filesystem;
namespace exception = zorva::plugin::exception;
using zorva::plugin::ChunkStore;
using zorva::plugin::Session;
using zorva::plugin::format::Config;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;
using zorva::plugin::module::IHandler;

const std::string abcMd5 = "900150983cd24fb0d6963f7d28e17f72";
const std::string abcSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string hexHash(const std::string& bytes, QCryptographicHash::Algorithm algorithm) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), algorithm)
        .toHex()
        .toStdString();
}

std::string digestOf(const std::string& name, const std::string& bytes) {
    return R"({"name":")" + name + R"(","size":")" + std::to_string(bytes.size()) + R"(","md5":")" +
           hexHash(bytes, QCryptographicHash::Md5) + R"(","sha256":")" +
           hexHash(bytes, QCryptographicHash::Sha256) + R"("})";
}

std::string joinedFile(const fs::path& path) {
    return R"({"files":[{"name":"joined","contentEncoding":"temp","path":")" + path.string() +
           R"("}]})";
}

class SystemModule : public testing::Test {
protected:
    void SetUp() override {
        installDefaults("zorva.plugin", "");
        installModule(SYSTEM_MODULE);
        installModule(PROTOCOL_MODULE);
        session_ = Session::instance();
        session_->init(boost::make_shared<Config>(json_dto::from_json<Config>(
            R"({"dependencies":[{"format":{"type":"nmh"}},{"format":{"type":"system"}}]})")));
        for (IHandler* handler : session_->handlers())
            if (handler->name() == "system") system_ = handler;
        ASSERT_NE(system_, nullptr);
    }

    std::string run(const std::string& method, const std::string& data = "") {
        auto message = boost::make_shared<Message>();
        message->module.type = "system";
        message->method.type = method;
        message->method.data = data;
        system_->handle(message);
        return message->method.result;
    }

    int failureCode(const std::string& method, const std::string& data) {
        try {
            run(method, data);
        } catch (const exception::ApplicationException& error) {
            return error.code().value();
        }
        return 0;
    }

    boost::shared_ptr<Session> session_;
    IHandler* system_ = nullptr;
};

TEST(SystemModuleMetadata, NamesTheModuleItsVersionAndItsMethods) {
    const QJsonObject metaData = QPluginLoader(SYSTEM_MODULE).metaData();
    const QJsonObject config = metaData.value("MetaData").toObject();

    std::set<std::string> methods;
    for (const auto& method : config.value("methods").toArray())
        methods.insert(method.toObject().value("type").toString().toStdString());

    EXPECT_EQ(metaData.value("IID").toString(), "plugin");
    EXPECT_EQ(metaData.value("className").toString(), "System");
    EXPECT_EQ(config.value("format").toObject().value("type").toString(), "system");
    EXPECT_EQ(config.value("format").toObject().value("version").toString(), ZORVA_PLUGIN_VERSION);
    EXPECT_EQ(methods, (std::set<std::string>{"digest", "echo", "lastError", "version"}));
}

TEST_F(SystemModule, VersionListsTheHostAndTheLoadedModules) {
    EXPECT_EQ(run("version"), std::string(R"({"host":")") + ZORVA_PLUGIN_VERSION +
                                  R"(","modules":[{"type":"nmh","version":"1.0"},)"
                                  R"({"type":"system","version":")" +
                                  ZORVA_PLUGIN_VERSION + R"("}]})");
}

TEST_F(SystemModule, DigestOfInlineContentListsEveryFileInOrder) {
    const std::string result =
        run("digest", R"({"files":[{"name":"plain","content":"abc"},)"
                      R"({"name":"encoded","content":"YWJj","contentEncoding":"base64"}]})");

    EXPECT_EQ(result, R"([{"name":"plain","size":"3","md5":")" + abcMd5 + R"(","sha256":")" +
                          abcSha256 + R"("},{"name":"encoded","size":"3","md5":")" + abcMd5 +
                          R"(","sha256":")" + abcSha256 + R"("}])");
}

TEST_F(SystemModule, DigestReadsAFileJoinedInsideTheChunkStore) {
    const fs::path catalog = ChunkStore::root() / "transfer";
    fs::create_directories(catalog);
    std::string bytes;
    for (int i = 0; i < 300000; ++i) bytes += char(i * 31 % 251);
    writeFile(catalog / "joined", bytes);

    const std::string direct = run("digest", joinedFile(catalog / "joined"));
    const std::string roundabout = run("digest", joinedFile(catalog / ".." / "transfer/joined"));

    EXPECT_EQ(direct, "[" + digestOf("joined", bytes) + "]");
    EXPECT_EQ(roundabout, direct);
}

TEST_F(SystemModule, DigestRefusesEveryOtherFileWith20015AndReportsFileErrors) {
    TempDir outside;
    writeFile(outside / "secret", "secret");
    const fs::path root = ChunkStore::root();
    fs::create_directories(root / "transfer");
    writeFile(root / "transfer" / "plain", "plain");
    writeFile(root.parent_path() / "beside", "beside");
    fs::create_symlink(outside / "secret", root / "transfer" / "link");
    const std::string secret = (outside / "secret").string();
    struct Case {
        const char* name;
        std::string data;
        int code;
    };
    const Case cases[] = {
        {"outside", joinedFile(outside / "secret"), 20015},
        {"missing outside", joinedFile("/no/such/file"), 20015},
        {"dot-dot", joinedFile(root / ".." / "beside"), 20015},
        {"link", joinedFile(root / "transfer" / "link"), 20015},
        {"root itself", joinedFile(root), 20015},
        {"missing inside", joinedFile(root / "transfer" / "missing"), 20015},
        {"not temp", R"({"files":[{"path":")" + (root / "transfer/plain").string() + R"("}]})",
         20015},
        {"content and path",
         R"({"files":[{"content":"abc","contentEncoding":"temp","path":")" + secret + R"("}]})",
         20015},
        {"no files", "{}", 20015},
        {"files not an array", R"({"files":{}})", 20015},
        {"not an object", "[]", 20015},
        {"no content", R"({"files":[{"name":"empty"}]})", 20006},
        {"bad base64", R"({"files":[{"content":"%%%%","contentEncoding":"base64"}]})", 20022},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);

        EXPECT_EQ(failureCode("digest", testCase.data), testCase.code);
    }
}

}  // namespace
