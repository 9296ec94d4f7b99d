#include "module.h"

#include "built_in_tables.h"
#include "exception.h"
#include "logging.h"

#include <stdexcept>

namespace zorva::plugin::module {

Module::Module(QObject* parent) : QObject(parent) {}

Module::~Module() {
    // A module that was never bound has no type to report.
    if (config_) PLUGIN_LOG(info) << message(StageFinish, std::string());
}

Module* Module::self() { return this; }

void* Module::reservedInterfaceA() { return nullptr; }

void* Module::reservedInterfaceB() { return nullptr; }

IWs* Module::ws() { return nullptr; }

void* Module::reservedInterfaceC() { return nullptr; }

IProtocol* Module::protocol() { return nullptr; }

IHandler* Module::handler() { return nullptr; }

void* Module::reservedInterfaceD() { return nullptr; }

boost::shared_ptr<void> Module::extension() { return {}; }

void Module::init(const SessionRef& session, const format::ConfigPtr& config) {
    // Every record and the finish record rely on a bound configuration.
    if (!config) PLUGIN_THROW(std::invalid_argument("module: no configuration to bind"), "init");
    session_ = session;
    config_ = config;
    PLUGIN_LOG(info) << message(StageStart, std::string());
    PLUGIN_LOG(info) << message(StageMeta, json_dto::to_json(config_->meta));
}

std::string Module::message(int stage, const std::string& data) const {
    const std::string type = config_ ? config_->format.type : std::string();
    return type + " " + stageName(stage) + " " + data;
}

}  // namespace zorva::plugin::module
