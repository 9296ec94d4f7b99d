#include "system.h"

#include "built_in_tables.h"
#include "exception.h"
#include "file_digest.h"
#include "host_services.h"

#include <set>
#include <tuple>

namespace zorva::plugin::module {
namespace {

struct ModuleVersion {
    std::string type;
    std::string version;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("type", type) & json_dto::mandatory("version", version);
    }

    bool operator<(const ModuleVersion& other) const {
        return std::tie(type, version) < std::tie(other.type, other.version);
    }
};

struct Versions {
    std::string host;
    std::set<ModuleVersion> modules;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("host", host) & json_dto::mandatory("modules", modules);
    }
};

}  // namespace

System::System() {
    methods_["echo"] = [](const format::MessagePtr& message) { return message->method.data; };
    methods_["lastError"] = [](const format::MessagePtr&) { return exception::lastErrorText(); };
    methods_["version"] = [this](const format::MessagePtr&) { return versions(); };
    methods_["digest"] = [](const format::MessagePtr& message) {
        return digestFiles(message->method.data);
    };
}

IHandler* System::handler() { return this; }

std::string System::name() const { return config() ? config()->format.type : std::string(); }

std::string System::versions() const {
    // An unbound module raises boost::bad_weak_ptr.
    const boost::shared_ptr<HostServices> host(session());
    // This module is built with the host, from the same version constant.
    Versions versions{builtInCoreConfig().format.version, {}};
    for (const auto& [type, version] : host->moduleVersions())
        versions.modules.insert({type, version});
    return json_dto::to_json(versions);
}

}  // namespace zorva::plugin::module
