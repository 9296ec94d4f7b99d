#include "protocol_module.h"

#include "logging.h"

#include <cstring>

namespace zorva::plugin::module {

IProtocol* ProtocolModule::protocol() { return this; }

std::string ProtocolModule::name() { return config() ? config()->format.type : std::string(); }

void ProtocolModule::interrupt() {
    if (stopped_.exchange(true)) return;
    PLUGIN_LOG(warning) << name() << ": interrupt";
    wake();
}

void* ProtocolModule::qt_metacast(const char* className) {
    if (className && std::strcmp(className, "IProtocol") == 0) return static_cast<IProtocol*>(this);
    return Module::qt_metacast(className);
}

format::MessagePtr ProtocolModule::refuseReceive(const std::string& reason) {
    PLUGIN_LOG(warning) << name() << ": " << reason << ", in rejected";
    return {};
}

void ProtocolModule::refuseSend(const std::string& reason) {
    PLUGIN_LOG(warning) << name() << ": " << reason << ", out rejected";
}

}  // namespace zorva::plugin::module
