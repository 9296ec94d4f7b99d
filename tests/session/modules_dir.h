#pragma once

#include "temp_dir.h"

#include <QString>

#include <boost/filesystem.hpp>

#include <string>

// The file name of a test plug-in built by this directory's CMakeLists.txt.
inline std::string pluginFile(const std::string& plugin) { return "libtestmod_" + plugin + ".so"; }

// A temporary modules directory holding copies of the test plug-ins.
class ModulesDir {
public:
    // Copies a test plug-in into subdirectory (created as needed) under its
    // own file name or under fileName; returns the copy's path.
    boost::filesystem::path place(const std::string& plugin, const std::string& subdirectory = "",
                                  const std::string& fileName = "") {
        const auto directory = dir_.path() / subdirectory;
        boost::filesystem::create_directories(directory);
        const auto target = directory / (fileName.empty() ? pluginFile(plugin) : fileName);
        boost::filesystem::copy_file(boost::filesystem::path(TEST_PLUGINS_DIR) / pluginFile(plugin),
                                     target);
        return target.lexically_normal();
    }

    const boost::filesystem::path& path() const { return dir_.path(); }
    QString qpath() const { return QString::fromStdString(dir_.path().string()); }

private:
    TempDir dir_;
};
