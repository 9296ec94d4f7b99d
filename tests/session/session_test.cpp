#include <gtest/gtest.h>

#include "exception.h"
#include "host_install.h"
#include "iprotocol.h"
#include "log_capture.h"
#include "module.h"
#include "module_loader.h"
#include "path_registry.h"
#include "session.h"

#include <QApplication>

#include <boost/make_shared.hpp>

#include <string>
#include <typeinfo>
#include <vector>

// Every case runs in a process and an install of its own (isolated_main.cpp):
// the session and the selected protocol are one per process.
namespace {

using zorva::plugin::FileInfo;
using zorva::plugin::Session;
using Severity = LogCapture::Severity;
namespace exception = zorva::plugin::exception;
namespace paths = zorva::plugin::path_registry;

std::vector<std::string> withSeverity(const LogCapture& log, Severity severity) {
    std::vector<std::string> texts;
    for (const auto& [recordSeverity, text] : log.records())
        if (recordSeverity == severity) texts.push_back(text);
    return texts;
}

std::string dependingOn(const std::string& dependencies, const std::string& meta = "[]") {
    return R"({"format":{"type":"core","category":"plugin"},"dependencies":)" + dependencies +
           R"(,"meta":)" + meta + "}";
}

const std::string wantsNmh = R"([{"format":{"type":"nmh","category":"protocol"}}])";

TEST(Session, WantedProtocolThatIsNotLoadedIsLoggedAsEmptyAndSelectsNone) {
    installHost({"ws20"});
    const auto session = Session::instance();
    LogCapture log;

    session->init(hostConfig(dependingOn(R"([{"format":{"type":"ws"}}])", wantsNmh)));

    EXPECT_EQ(
        log.texts("session: "),
        (std::vector<std::string>{R"(session: parse meta: [{"format":{"type":"nmh","version":"",)"
                                  R"("category":"protocol","description":""},"data":""}])",
                                  "session: set meta protocol: nmh", "session: set protocol: []",
                                  "session: set style"}));
    EXPECT_EQ(session->protocolModule(), nullptr);
    EXPECT_EQ(session->protocols().size(), 1u);
}

TEST(Session, WantedProtocolIsSelectedAmongSeveral) {
    installHost({"ws20", "nmh"});
    const auto session = Session::instance();
    LogCapture log;

    session->init(hostConfig(
        dependingOn(R"([{"format":{"type":"ws"}},{"format":{"type":"nmh"}}])", wantsNmh)));

    ASSERT_NE(session->protocolModule(), nullptr);
    EXPECT_EQ(session->protocolModule()->name(), "nmh");
    EXPECT_EQ(withSeverity(log, Severity::warning),
              (std::vector<std::string>{"session: multi protocols found, set default: nmh"}));
}

TEST(Session, TwoProtocolsWithoutAWantedOneWarnOnceAndTakeTheFirstOfTheList) {
    installHost({"ws20", "nmh"});
    const auto session = Session::instance();
    LogCapture log;

    session->init(
        hostConfig(dependingOn(R"([{"format":{"type":"ws"}},{"format":{"type":"nmh"}}])")));

    const auto protocols = session->protocols();
    ASSERT_EQ(protocols.size(), 2u);
    EXPECT_EQ(session->protocolModule(), *protocols.begin());
    EXPECT_EQ(withSeverity(log, Severity::warning),
              (std::vector<std::string>{"session: multi protocols found, set default: " +
                                        (*protocols.begin())->name()}));
}

TEST(Session, NoHandlerFailsInitAfterTheProtocolLine) {
    installHost({"nmh"});
    LogCapture log;

    try {
        Session::instance()->init(hostConfig(dependingOn(R"([{"format":{"type":"nmh"}}])")));
        FAIL() << "init succeeded";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "session: no handler found");
    }

    EXPECT_EQ(log.texts("session: set protocol: "),
              (std::vector<std::string>{"session: set protocol: nmh"}));
}

TEST(Session, NoProtocolFailsInit) {
    installHost({"probe"});

    try {
        Session::instance()->init(hostConfig(dependingOn(R"([{"format":{"type":"probe"}}])")));
        FAIL() << "init succeeded";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "session: no protocol found");
    }
}

TEST(Session, RootObjectThatIsNoModuleFailsInitWithBadCast) {
    installHost({"ws20", "notmodule"});

    EXPECT_THROW(Session::instance()->init(hostConfig(
                     dependingOn(R"([{"format":{"type":"ws"}},{"format":{"type":"notmodule"}}])"))),
                 std::bad_cast);
}

TEST(Session, DependencyEntryHandsItsMetaToTheModuleAndAnEntryWithoutMetaEmptiesIt) {
    installHost({"ws20", "gamma"});
    const auto session = Session::instance();
    const std::string wsMeta =
        R"([{"format":{"type":"ws","version":"","category":"protocol","description":""},)"
        R"("data":"ws://127.0.0.1:9555"}])";

    session->init(hostConfig(dependingOn(R"([{"format":{"type":"ws"},"meta":)" + wsMeta +
                                         R"(},{"format":{"type":"gamma"}}])")));

    const auto& table = session->moduleLoader().table();
    ASSERT_NE(table.at("ws").module, nullptr);
    EXPECT_EQ(json_dto::to_json(table.at("ws").module->config()->meta), wsMeta);
    EXPECT_EQ(json_dto::to_json(table.at("gamma").module->config()->meta), "[]");
    EXPECT_EQ(table.at("ws").module->session().lock(), session);
}

TEST(Session, ModuleVersionsNameTheLoadedModulesOnly) {
    installHost({"ws20", "gamma"});
    const auto session = Session::instance();

    session->init(hostConfig(dependingOn(R"([{"format":{"type":"ws"}}])")));

    EXPECT_EQ(session->moduleVersions(), (Session::ModuleVersions{{"ws", "1.3.20.0"}}));
}

TEST(Session, InitWithoutConfigurationLoadsNothing) {
    installHost({"ws20"});
    const auto session = Session::instance();

    session->init({});

    EXPECT_EQ(session->protocolModule(), nullptr);
    EXPECT_TRUE(session->protocols().empty());
    EXPECT_TRUE(session->handlers().empty());
    EXPECT_FALSE(session->moduleLoader().table().at("ws").loader->isLoaded());
}

TEST(Session, StyleRecordsAreCheckedBeforeTheyAreTaken) {
    installHost({});
    struct Case {
        const char* path;
        const char* content;
        int code;  // 0: taken
    };
    const std::string existing = (programDir() / "style.css").string();
    const Case cases[] = {
        {"/no/such/style.css", "", 20009},
        {"", "", 20009},
        {"", "QLabel {}", 20007},
        {existing.c_str(), "", 0},
        {"/no/such/style.css", "QLabel {}", 0},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(std::string(testCase.path) + " | " + testCase.content);
        auto style = boost::make_shared<FileInfo>();
        style->path = testCase.path;
        style->content = testCase.content;
        int code = 0;
        try {
            Session::instance()->setStyle(style);
        } catch (const exception::ApplicationException& error) {
            code = error.code().value();
        }
        EXPECT_EQ(code, testCase.code);
    }
}

TEST(Session, StyleSheetReachesTheApplication) {
    installHost({"ws20"}, "QLabel { color: red; }");
    // Outside ctest too: there is no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "session_test";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    const auto session = Session::instance();
    LogCapture log;

    session->init(hostConfig(dependingOn(R"([{"format":{"type":"ws"}}])")));
    const QString fromFile = application.styleSheet();
    auto inline_ = boost::make_shared<FileInfo>();
    inline_->path = "inline";
    inline_->content = "QLabel { color: blue; }";
    session->setStyle(inline_);
    const QString fromContent = application.styleSheet();
    session->setStyle({});

    EXPECT_EQ(fromFile, "QLabel { color: red; }");
    EXPECT_EQ(fromContent, "QLabel { color: blue; }");
    EXPECT_EQ(application.styleSheet(), "QLabel { color: red; }");
    EXPECT_TRUE(log.contains(
        Severity::info, "session: reset user style file: " + paths::userStyleFile().string() +
                            " from default style file: " + paths::defaultStyleFile().string()));
}

}  // namespace
