#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

// Where the system finds its program files and keeps its data.
//
// Every value is computed on first use and kept for the life of the process;
// concurrent first calls wait for the one computation. Operations that check
// their path raise std::runtime_error with a fixed text when the check fails,
// and keep failing the same way: the check result is kept as well.
namespace zorva::plugin::path_registry {

using Path = boost::filesystem::path;

// The running program file and the folders the platform provides.
Path programLocation();
Path thisDir();
Path userAppDataDir();
Path commonAppDataDir();

// The system's data: configuration, style, logs, chunks, crash dumps.
Path dataDirName();
Path dataDir();
Path logDir();
Path tempDir();
Path dumpDir();
Path cacheDir();

// Module plug-ins.
Path modulesDir();
std::string modulePattern();

// Configuration. `currentConfigFile` creates the user file from the default
// one on the first start.
Path userConfigFile();
Path defaultConfigFile();
std::string defaultConfigResource();
Path currentConfigFile();

// Style sheet. `currentStyleFile` replaces the user's copy when the default
// one carries another identifier on its first line.
Path userStyleFile();
Path defaultStyleFile();
Path currentStyleFile();

// Localization and the resources of a development build, which an installed
// system has next to the program.
Path localizationFile();
Path devLocalizationFile();
Path devTokensDir();
Path rutokenResourceDir();
Path jacartaResourceDir();
Path esmartResourceDir();

// The format category of the current configuration, which selects the
// branding. Never fails: logs a warning and gives empty text instead.
std::string currentConfigCategory();

// True when the leading components of path are those of base, one by one.
bool isSubPath(const Path& path, const Path& base);

}  // namespace zorva::plugin::path_registry
