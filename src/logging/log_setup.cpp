#include "log_setup.h"

#include "log_lines.h"
#include "log_queue.h"
#include "log_record.h"
#include "logging.h"
#include "platform_crash.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include <boost/log/attributes/clock.hpp>
#include <boost/log/core.hpp>
#include <boost/log/detail/default_attribute_names.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/async_frontend.hpp>
#include <boost/log/sinks/text_file_backend.hpp>
#include <boost/log/utility/exception_handler.hpp>

namespace zorva::plugin::log {
namespace {

namespace logging = boost::log;
namespace sinks = boost::log::sinks;
namespace expr = boost::log::expressions;
namespace keywords = boost::log::keywords;
namespace names = boost::log::aux::default_attribute_names;
using Severity = logging::trivial::severity_level;

// Records are formatted and written in batches on a thread of the sink's
// own, so a serving thread only queues them. A full queue makes writers wait
// rather than lose records; it holds many short records, or a few that carry
// whole requests.
constexpr std::size_t queuedRecords = 4096;
constexpr std::size_t queuedTextBytes = 8 * 1024 * 1024;
// How long the writer waits for more records once one came: long enough to
// gather the records of many requests into one write, short enough that a
// reader of the log sees them at once.
constexpr std::chrono::milliseconds lingerForRecords{2};
using Sink = sinks::asynchronous_sink<LogLines, LingeringQueue<queuedRecords, queuedTextBytes>>;

// The sink in the core and the thread that writes its batches; written out
// and stopped when it goes.
class SinkWriter {
public:
    explicit SinkWriter(boost::shared_ptr<Sink> sink)
        : sink_(std::move(sink)), thread_([sink = sink_] {
              platform::crash::prepareThread();
              // Not the sink's flush, which makes every writer of a record
              // wait until the batch is written.
              while (sink->waitForBatch(lingerForRecords)) {
                  sink->feed_records();
                  sink->locked_backend()->flush();
              }
          }) {}
    ~SinkWriter() {
        sink_->stopWaiting();
        thread_.join();
        sink_->flush();
    }
    SinkWriter(const SinkWriter&) = delete;
    SinkWriter& operator=(const SinkWriter&) = delete;

private:
    boost::shared_ptr<Sink> sink_;
    std::thread thread_;
};

// The writer of the sink in the core; only the program's own copy of this
// library sets it up.
std::unique_ptr<SinkWriter>& writer() {
    static std::unique_ptr<SinkWriter> instance;
    return instance;
}

boost::shared_ptr<sinks::text_file_backend> fileBackend(const boost::filesystem::path& directory,
                                                        const LogSettings& settings) {
    auto backend = boost::make_shared<sinks::text_file_backend>(
        keywords::file_name = directory / "%Y-%m-%d_%H%M%S.log",
        keywords::rotation_size = settings.rotationSize,
        keywords::open_mode = std::ios_base::out | std::ios_base::app,
        keywords::enable_final_rotation = true,
        keywords::auto_newline_mode = sinks::insert_if_missing);
    backend->set_file_collector(sinks::file::make_collector(
        keywords::target = directory, keywords::max_files = settings.maxFiles));
    backend->scan_for_files();
    return backend;
}

// Records at or above the severity reach the lines; records without one
// reach none. A record whose lines cannot be written (the log file cannot be
// opened) is dropped: the writer thread goes on with the next one, where the
// failure would otherwise end the process.
void addSink(boost::shared_ptr<LogLines> lines, std::int32_t minSeverity) {
    auto sink = boost::make_shared<Sink>(std::move(lines), false);
    sink->set_filter(expr::has_attr(logging::trivial::severity) &&
                     logging::trivial::severity >= static_cast<Severity>(minSeverity));
    sink->set_exception_handler(logging::make_exception_suppressor());
    logging::core::get()->add_sink(sink);
    writer() = std::make_unique<SinkWriter>(sink);
}

// The attributes the lines show, and no others: each is made for every record.
void addLineAttributes() {
    const auto core = logging::core::get();
    core->add_global_attribute(names::timestamp(), logging::attributes::local_clock());
    core->add_global_attribute(names::thread_id(), writingThreadId());
}

void flushAtExit() { flush(); }

void resetCore() {
    // What the replaced sinks still queue is written before they go, and so
    // is what they queue when the process exits, however it exits: the
    // sinks drop what is left when the statics go. Registered after the core
    // exists, so it runs before the core's end.
    flush();
    static const bool flushedAtExit = std::atexit(flushAtExit) == 0;
    static_cast<void>(flushedAtExit);
    logging::core::get()->remove_all_sinks();
    writer().reset();
    addLineAttributes();
}

}  // namespace

void setupLogging(const boost::filesystem::path& logDirectory, LogSettings settings) {
    resetCore();
    addSink(boost::make_shared<LogLines>(settings.console ? &std::cerr : nullptr,
                                         fileBackend(logDirectory, settings)),
            settings.minSeverity);
}

void setupConsoleLogging() {
    resetCore();
    addSink(boost::make_shared<LogLines>(&std::cerr, nullptr), LogSettings{}.minSeverity);
}

}  // namespace zorva::plugin::log
