#include "built_in_tables.h"

#include <map>

namespace zorva::plugin {
namespace {

format::Config makeCoreConfig() {
    format::Config config;
    config.format.type = "core";
    config.format.version = ZORVA_PLUGIN_VERSION;
    config.format.category = "plugin";
    config.format.description = "provides core functionality for plugin";
    for (const char* type : {"crypto", "system", "nmh", "ws", "rutoken", "jacarta", "esmart"}) {
        format::Config dependency;
        dependency.format.type = type;
        config.dependencies.insert(dependency);
    }
    return config;
}

std::string nameFrom(const std::map<int, std::string>& table, int key) {
    const auto found = table.find(key);
    return found == table.end() ? std::string() : found->second;
}

}  // namespace

const format::Config& builtInCoreConfig() {
    static const format::Config config = makeCoreConfig();
    return config;
}

std::string moduleStateName(int state) {
    static const std::map<int, std::string> names = {
        {NoState, ""},
        {Loaded, "loaded"},
        {LoadFailed, "load failed"},
        {NotFound, "not found"},
        {Conflict, "conflict [ not found dependencies ]"},
        {Disabled, "disabled"},
    };
    return nameFrom(names, state);
}

std::string stageName(int stage) {
    static const std::map<int, std::string> names = {
        {StageStart, "start"}, {StageFinish, "finish"}, {StageMeta, "meta"}};
    return nameFrom(names, stage);
}

}  // namespace zorva::plugin
