#include <gtest/gtest.h>

#include "exception.h"
#include "ihandler.h"
#include "iprotocol.h"
#include "log_capture.h"
#include "module.h"
#include "module_loader.h"
#include "modules_dir.h"

#include <QLibrary>
#include <QPointer>

#include <boost/exception/get_error_info.hpp>
#include <boost/make_shared.hpp>

#include <memory>
#include <string>

namespace {

using zorva::plugin::ModuleLoader;
using zorva::plugin::format::Config;
using zorva::plugin::format::ConfigPtr;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;
using zorva::plugin::module::IHandler;
using zorva::plugin::module::Module;
namespace exception = zorva::plugin::exception;

ConfigPtr configFrom(const std::string& json) {
    return boost::make_shared<Config>(json_dto::from_json<Config>(json));
}

const std::string wsConfig =
    R"({"format":{"type":"ws"},"meta":[{"format":{"type":"ws","category":"protocol"},)"
    R"("data":"ws://localhost:9000"}]})";

MessagePtr request(const std::string& module, const std::string& method) {
    auto message = boost::make_shared<Message>();
    message->module.type = module;
    message->method.type = method;
    message->method.data = "payload";
    return message;
}

TEST(ModuleContract, InitLogsStartAndMetaAndASecondInitReplacesTheConfiguration) {
    Module module;
    LogCapture log;

    module.init({}, configFrom(R"({"format":{"type":"ws"}})"));
    const auto replacement = configFrom(wsConfig);
    module.init({}, replacement);

    EXPECT_EQ(module.config(), replacement);
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "ws start ", "ws meta []", "ws start ",
                  R"(ws meta [{"format":{"type":"ws","version":"","category":"protocol",)"
                  R"("description":""},"data":"ws://localhost:9000"}])"}));
}

TEST(ModuleContract, FinishIsLoggedOnlyForABoundModule) {
    LogCapture log;
    { Module unbound; }
    EXPECT_TRUE(log.texts().empty());

    {
        Module bound;
        bound.init({}, configFrom(wsConfig));
    }
    EXPECT_EQ(log.texts().back(), "ws finish ");
}

// A module loaded from a real plug-in: its objects and exceptions cross the
// library boundary the way they do in the host.
class PluginModule : public testing::Test {
protected:
    void SetUp() override {
        modules_.place("ws19");
        loader_ = std::make_unique<ModuleLoader>("plugin", modules_.qpath(), 0);
        loader_->load(configFrom(R"({"format":{"type":"ws"}})"));
        module_ = dynamic_cast<Module*>(loader_->table().at("ws").loader->instance());
        ASSERT_NE(module_, nullptr);
        module_->init({}, loader_->table().at("ws").config);
    }

    ModulesDir modules_;
    std::unique_ptr<ModuleLoader> loader_;
    Module* module_ = nullptr;
};

TEST_F(PluginModule, EntryPointReturnsOneInstanceAndRecreatesItAfterDeletion) {
    QLibrary library(QString::fromStdString((modules_.path() / pluginFile("ws19")).string()));
    using Instance = QObject* (*)();
    const auto instance = reinterpret_cast<Instance>(library.resolve("qt_plugin_instance"));
    ASSERT_NE(instance, nullptr);

    QObject* first = instance();
    QObject* second = instance();
    EXPECT_EQ(first, module_);
    EXPECT_EQ(second, first);

    delete first;
    QPointer<QObject> recreated = instance();
    EXPECT_NE(recreated, nullptr);
    delete recreated.data();
}

TEST_F(PluginModule, HandlerOfThePluginRunsItsMethodsForTheHost) {
    IHandler* handler = module_->handler();
    ASSERT_NE(handler, nullptr);
    auto message = request("ws", "echo");
    message->method.result = "previous";

    EXPECT_TRUE(handler->handle(message));

    EXPECT_EQ(message->method.result, "payload");
    EXPECT_EQ(handler->name(), "ws");
    EXPECT_EQ(module_->protocol()->name(), "ws");
    // Raised inside the plug-in, caught by its type in the host.
    EXPECT_THROW(handler->handle(request("ws", "fail")), exception::ApplicationException);
}

TEST_F(PluginModule, UnknownMethodRaisesNotFoundWithModuleAndMethod) {
    try {
        module_->handler()->handle(request("ws", "sign"));
        FAIL() << "no exception";
    } catch (const exception::ApplicationException& error) {
        EXPECT_EQ(error.code().value(), 20005);
        ASSERT_NE(boost::get_error_info<exception::Module_>(error), nullptr);
        EXPECT_EQ(*boost::get_error_info<exception::Module_>(error), "ws");
        ASSERT_NE(boost::get_error_info<exception::Method_>(error), nullptr);
        EXPECT_EQ(*boost::get_error_info<exception::Method_>(error), "sign");
        EXPECT_STREQ(*boost::get_error_info<boost::throw_function>(error), "handle");
    }
}

TEST_F(PluginModule, UnloadDestroysTheModuleWhichLogsFinish) {
    QPointer<QObject> module(module_);
    LogCapture log;

    loader_.reset();

    EXPECT_TRUE(module.isNull());
    EXPECT_EQ(log.texts(), std::vector<std::string>{"ws finish "});
}

}  // namespace
