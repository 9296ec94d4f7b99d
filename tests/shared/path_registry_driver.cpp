// Runs path registry operations in a fresh process and prints one line per
// step: "<step>\tok\t<value>" or "<step>\terror\t<what>". The registry keeps
// its values per process, so every scenario of the tests needs a process of
// its own, started from a program file of the scenario's name and place.
//
// A step "mkdir:<path>" creates a directory between two queries. Log
// records go to standard error.

#include "path_registry.h"

#include <boost/filesystem/operations.hpp>
#include <boost/log/utility/setup/console.hpp>

#include <functional>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace {

namespace paths = zorva::plugin::path_registry;

using Query = std::function<std::string()>;

template <class Result>
Query query(Result (*operation)()) {
    return [operation] {
        if constexpr (std::is_same_v<Result, std::string>)
            return operation();
        else
            return operation().string();
    };
}

const std::map<std::string, Query>& queries() {
    static const std::map<std::string, Query> table = {
        {"programLocation", query(paths::programLocation)},
        {"thisDir", query(paths::thisDir)},
        {"userAppDataDir", query(paths::userAppDataDir)},
        {"commonAppDataDir", query(paths::commonAppDataDir)},
        {"dataDirName", query(paths::dataDirName)},
        {"dataDir", query(paths::dataDir)},
        {"logDir", query(paths::logDir)},
        {"tempDir", query(paths::tempDir)},
        {"dumpDir", query(paths::dumpDir)},
        {"cacheDir", query(paths::cacheDir)},
        {"modulesDir", query(paths::modulesDir)},
        {"userConfigFile", query(paths::userConfigFile)},
        {"defaultConfigFile", query(paths::defaultConfigFile)},
        {"currentConfigFile", query(paths::currentConfigFile)},
        {"userStyleFile", query(paths::userStyleFile)},
        {"defaultStyleFile", query(paths::defaultStyleFile)},
        {"currentStyleFile", query(paths::currentStyleFile)},
        {"devLocalizationFile", query(paths::devLocalizationFile)},
        {"devTokensDir", query(paths::devTokensDir)},
        {"rutokenResourceDir", query(paths::rutokenResourceDir)},
        {"jacartaResourceDir", query(paths::jacartaResourceDir)},
        {"esmartResourceDir", query(paths::esmartResourceDir)},
        {"currentConfigCategory", query(paths::currentConfigCategory)},
    };
    return table;
}

std::string run(const std::string& step) {
    const std::string mkdir = "mkdir:";
    if (step.compare(0, mkdir.size(), mkdir) == 0) {
        boost::filesystem::create_directories(step.substr(mkdir.size()));
        return {};
    }
    const auto found = queries().find(step);
    if (found == queries().end()) throw std::invalid_argument("unknown step");
    return found->second();
}

}  // namespace

int main(int argc, char** argv) {
    // Log records go to standard error, apart from the step results.
    boost::log::add_console_log(std::clog);
    for (int i = 1; i < argc; ++i) {
        std::cout << argv[i] << '\t';
        try {
            const std::string value = run(argv[i]);
            std::cout << "ok\t" << value << '\n';
        } catch (const std::exception& error) {
            std::cout << "error\t" << error.what() << '\n';
        }
    }
    return 0;
}
