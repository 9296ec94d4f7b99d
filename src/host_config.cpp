#include "host_config.h"

#include "command_line.h"
#include "json_binding.h"
#include "logging.h"
#include "path_registry.h"

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include <fstream>

namespace zorva::plugin::host_config {
namespace {

// The native-messaging protocol module, which browsers start the host for.
const char* const nativeMessaging = "nmh";

format::ConfigPtr currentConfig() { return loadConfig(path_registry::currentConfigFile()); }

}  // namespace

format::ConfigPtr loadConfig(const boost::filesystem::path& path) {
    if (!boost::filesystem::exists(path)) return {};
    std::ifstream input(path.string(), std::ios::binary);
    auto config = boost::make_shared<format::Config>();
    json_dto::from_stream(input, *config);
    return config;
}

void setProtocolMeta(const format::ConfigPtr& config, const std::string& moduleType) {
    if (!config) return;
    format::Config::Meta entry;
    entry.format.type = moduleType;
    entry.format.category = "protocol";
    auto& meta = config->meta;
    for (auto it = meta.begin(); it != meta.end(); ++it) {
        if (it->format.category == "protocol") {
            meta.erase(it);
            break;
        }
    }
    meta.insert(entry);
    PLUGIN_LOG(info) << "core: set meta " << json_dto::to_json(entry);
}

format::ConfigPtr browserConfig(const QStringList& arguments) {
    if (arguments.size() == 1 && arguments.front().contains("chrome-extension://"))
        return currentConfig();
    if (arguments.size() == 2) return currentConfig();
    return {};
}

format::ConfigPtr fromCommandLine(const QCommandLineParser& parser) {
    format::ConfigPtr config;
    if (parser.isSet(command_line::parentWindowOption())) {
        config = currentConfig();
        setProtocolMeta(config, nativeMessaging);
    } else if (parser.isSet(command_line::requestOption()) ||
               parser.isSet(command_line::algorithmsOption())) {
        config = currentConfig();
    } else if (!parser.positionalArguments().isEmpty()) {
        config = browserConfig(parser.positionalArguments());
        setProtocolMeta(config, nativeMessaging);
    }
    if (parser.isSet(command_line::protocolOption())) {
        if (!config) config = currentConfig();
        setProtocolMeta(config, parser.value(command_line::protocolOption()).toStdString());
    }
    return config;
}

}  // namespace zorva::plugin::host_config
