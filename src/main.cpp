#include "command_line.h"
#include "environment.h"
#include "exception.h"
#include "gui_platform.h"
#include "host_config.h"
#include "log_setup.h"
#include "logging.h"
#include "path_registry.h"
#include "platform_files.h"
#include "platform_heap.h"
#include "run_host.h"
#include "user_identity.h"

#include <QApplication>
#include <QCommandLineParser>

#include <boost/exception/diagnostic_information.hpp>

#include <stdexcept>

namespace zorva::plugin {
namespace {

// The defaults: files of 10 MiB, at most 50 kept, info and above, and the
// console on standard error.
void setUpLogging() { log::setupLogging(path_registry::logDir(), log::LogSettings{}); }

// Logged before the parser sees it, so even a rejected command line shows.
void logArguments() {
    PLUGIN_LOG(info) << "core: " << QCoreApplication::arguments().join(' ').toStdString();
}

int runMode(const QCommandLineParser& parser) {
    if (parser.isSet(command_line::agentOption())) {
        PLUGIN_LOG(info) << "user agent: " << userAgentText();
        return 0;
    }
    if (parser.isSet(command_line::configOption())) {
        // The path keeps its case: on a case-sensitive file system a lower-cased
        // path would name another file.
        configureEnvironment(parser.value(command_line::configOption()).toStdString());
        return 0;
    }
    const auto config = host_config::fromCommandLine(parser);
    if (!config) PLUGIN_THROW(std::logic_error("no config specified"), "main");
    return runHost(config);
}

int run(int argc, char** argv) {
    platform::keepFreedMemoryForReuse();
    // Logs, dumps, chunks and configuration are the user's alone, however the
    // host was started.
    platform::restrictNewFileModes();
    // Finding the log directory may already log, and so may a failure before it.
    log::setupConsoleLogging();
    const bool headless = chooseGuiPlatform();
    QApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(ZORVA_PLUGIN_VERSION);
    setUpLogging();
    if (headless) PLUGIN_LOG(info) << "core: no display, running without tray icon and windows";
    QCommandLineParser parser;
    command_line::setUp(parser);
    logArguments();
    // A bad command line makes Qt print its own text and exit: the record of
    // the arguments must come out before it.
    log::flush();
    parser.process(application);
    return runMode(parser);
}

}  // namespace
}  // namespace zorva::plugin

int main(int argc, char** argv) {
    try {
        return zorva::plugin::run(argc, argv);
    } catch (...) {
        PLUGIN_LOG(error) << "exception: " << boost::current_exception_diagnostic_information(true);
        return 1;
    }
}
