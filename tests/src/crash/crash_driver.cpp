// Installs the crash dumper and then ends the way its first argument says:
// "exit" normally, "wait" normally after a line on standard input, or by a
// fault: "null-read", "null-write", "divide", "uncaught", or a stack overflow
// on a thread of its own, "thread-overflow".
//
// Without further arguments it installs as the host does. Arguments
// "key=value" initialise explicitly instead: dir, mode, caption, template,
// source, remove=1, and again=1 to initialise a second time. Each
// initialisation prints "init <code>". "records=<count>" first writes that
// many log records to a log directory "logs" beside the program.

#include "crash_dumper.h"
#include "log_setup.h"
#include "logging.h"
#include "path_registry.h"
#include "platform_crash.h"

#include <functional>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>

#include <sys/resource.h>

namespace {

using zorva::plugin::CrashDumper;
using Options = std::map<std::string, std::string>;

int* volatile nowhere = nullptr;

// Each level keeps a frame of its own: no tail call, no loop.
int recurse(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return recurse(depth + 1) + frame[0];
}

void overflowOnAThread() {
    std::thread([] {
        zorva::plugin::platform::crash::prepareThread();
        std::cout << recurse(0);
    }).join();
}

const std::map<std::string, std::function<void()>>& endings() {
    static const std::map<std::string, std::function<void()>> table = {
        {"exit", [] {}},
        {"wait",
         [] {
             std::string line;
             std::getline(std::cin, line);
         }},
        {"null-read", [] { std::cout << *nowhere; }},
        {"null-write", [] { *nowhere = 1; }},
        {"divide",
         [] {
             // Both unknown, or the division becomes a comparison.
             volatile int dividend = 1;
             volatile int zero = 0;
             std::cout << dividend / zero;
         }},
        {"uncaught", [] { throw std::runtime_error("nobody catches this"); }},
        {"thread-overflow", overflowOnAThread},
    };
    return table;
}

CrashDumper::InitResult initialise(const Options& options) {
    if (!options.count("dir")) return CrashDumper::install();
    const auto value = [&options](const char* key) {
        const auto found = options.find(key);
        return found == options.end() ? std::string() : found->second;
    };
    CrashDumper& dumper = CrashDumper::instance();
    if (options.count("caption")) dumper.setCaption(value("caption"));
    dumper.setEventSource(value("source"));
    return dumper.init("plugin", value("dir"), value("template"),
                       static_cast<CrashDumper::Notification>(std::stoi(value("mode"))),
                       value("remove") == "1");
}

// Enough records that the last ones are still queued when the process ends.
void writeRecords(int count) {
    zorva::plugin::log::LogSettings settings;
    settings.console = false;
    zorva::plugin::log::setupLogging(
        zorva::plugin::path_registry::programLocation().parent_path() / "logs", settings);
    for (int i = 0; i < count; ++i) PLUGIN_LOG(info) << "driver: record " << i;
}

void report(CrashDumper::InitResult result) {
    std::cout << "init " << static_cast<int>(result) << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    // The tests want the signal, not a core file.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    Options options;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto equals = argument.find('=');
        options[argument.substr(0, equals)] = argument.substr(equals + 1);
    }
    report(initialise(options));
    if (options.count("again")) report(initialise(options));
    if (options.count("records")) writeRecords(std::stoi(options["records"]));
    endings().at(argc > 1 ? argv[1] : "exit")();
    return 0;
}
