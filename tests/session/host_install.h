#pragma once

// A host install for one case of a program run by isolated_main.cpp: the
// default configuration and style, and the named test plug-ins (see
// CMakeLists.txt) in the modules directory.

#include "config.h"
#include "modules_dir.h"
#include "private_install.h"

#include <boost/make_shared.hpp>

#include <initializer_list>
#include <string>

inline void installHost(std::initializer_list<std::string> plugins,
                        const std::string& style = "QLabel { color: red; }") {
    installDefaults("zorva.plugin", style);
    boost::filesystem::create_directories(programDir() / "modules");
    for (const auto& plugin : plugins)
        installModule(boost::filesystem::path(TEST_PLUGINS_DIR) / pluginFile(plugin));
}

inline zorva::plugin::format::ConfigPtr hostConfig(const std::string& json) {
    using zorva::plugin::format::Config;
    return boost::make_shared<Config>(json_dto::from_json<Config>(json));
}
