#pragma once

// What a case run by isolated_main.cpp needs to lay out its private install
// before the first use of the path registry: the program directory holds the
// default configuration, the default style and the modules directory; the
// data directory (configuration, style and chunk store) is the same directory.

#include "temp_dir.h"

#include <boost/dll/runtime_symbol_info.hpp>
#include <boost/filesystem.hpp>

#include <string>

inline boost::filesystem::path programDir() { return boost::dll::program_location().parent_path(); }

// Copies a module library into the modules directory; returns the copy.
inline boost::filesystem::path installModule(const boost::filesystem::path& library) {
    const auto modules = programDir() / "modules";
    boost::filesystem::create_directories(modules);
    const auto target = modules / library.filename();
    boost::filesystem::copy_file(library, target);
    return target;
}

inline void installDefaults(const std::string& category, const std::string& style) {
    writeFile(programDir() / "config.json",
              R"({"format":{"type":"core","version":"1","category":")" + category + R"("}})");
    writeFile(programDir() / "style.css", style);
}
