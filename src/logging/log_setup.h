#pragma once

#include <cstdint>

#include <boost/filesystem/path.hpp>
#include <boost/log/trivial.hpp>

namespace zorva::plugin::log {

struct LogSettings {
    std::uint32_t rotationSize = 10 * 1024 * 1024;
    std::uint32_t maxFiles = 50;
    std::int32_t minSeverity = boost::log::trivial::info;
    bool console = true;
};

// Configures the process-wide logging core: one sink that writes each record
// as a line on standard error and as a line of a rotating file in the log
// directory. Modules never call this; they write through the same core,
// which lives in the shared Boost.Log library.
void setupLogging(const boost::filesystem::path& logDirectory, LogSettings settings);

// Console lines alone, for the records written before the log directory is
// known. Without any sink Boost.Log prints on standard output, which belongs
// to the browser when the host speaks native messaging.
void setupConsoleLogging();

}  // namespace zorva::plugin::log
