#pragma once

#include "config.h"

#include <QCommandLineParser>
#include <QStringList>

#include <boost/filesystem/path.hpp>

#include <string>

// The host configuration a start asks for: from the options, or from the
// arguments a browser starts the host with.
namespace zorva::plugin::host_config {

// The configuration in the file; none when the file does not exist. Read
// and parse errors propagate.
format::ConfigPtr loadConfig(const boost::filesystem::path& path);

// Names the protocol module the session is to use, replacing an earlier
// protocol entry. Does nothing without a configuration.
void setProtocolMeta(const format::ConfigPtr& config, const std::string& moduleType);

// The current configuration when the arguments look like a browser start:
// one argument holding an extension origin, or two arguments. None otherwise.
format::ConfigPtr browserConfig(const QStringList& arguments);

// The configuration of a host start from a processed command line; none when
// the command line asks for no host.
format::ConfigPtr fromCommandLine(const QCommandLineParser& parser);

}  // namespace zorva::plugin::host_config
