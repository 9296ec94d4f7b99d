#pragma once

#include "config.h"
#include "path_registry.h"

#include <boost/filesystem/path.hpp>

namespace zorva::plugin {

// The files the normalizer reads and writes.
struct ConfigFiles {
    // The user's configuration, rewritten when anything changes.
    boost::filesystem::path userFile;
    // The configuration installed next to the program.
    boost::filesystem::path defaultFile;
    // Its birth time dates the installation.
    boost::filesystem::path programDir;

    // The files of this installation, as the path registry places them.
    static ConfigFiles fromPathRegistry() {
        return {path_registry::currentConfigFile(), path_registry::defaultConfigFile(),
                path_registry::thisDir()};
    }
};

// Brings the user's configuration up to date with the installed default at
// every start, before the session is initialised. The constructor decides,
// apply writes, the destructor logs the outcome. Main thread only.
class ConfigNormalizer {
public:
    // Reads the default file (std::logic_error when there is none) and runs
    // the checks on a copy of config; config itself changes only in apply.
    ConfigNormalizer(const format::ConfigPtr& config, ConfigFiles files);
    ~ConfigNormalizer();

    ConfigNormalizer(const ConfigNormalizer&) = delete;
    ConfigNormalizer& operator=(const ConfigNormalizer&) = delete;

    // Writes the normalised configuration into the user file and the caller's
    // configuration; after a failed write both fall back to the default.
    void apply();

private:
    void checkObsoleteFile();
    void checkVersion();
    void checkDependencies();
    void restoreDefault();

    format::ConfigPtr target_;
    format::Config working_;
    format::Config default_;
    bool changed_ = false;
    ConfigFiles files_;
};

}  // namespace zorva::plugin
