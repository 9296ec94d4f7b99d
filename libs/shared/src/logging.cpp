#include "logging.h"

#include "log_format.h"
#include "log_queue.h"
#include "log_record.h"
#include "platform_crash.h"

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include <boost/core/null_deleter.hpp>
#include <boost/log/attributes/clock.hpp>
#include <boost/log/core.hpp>
#include <boost/log/detail/default_attribute_names.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/async_frontend.hpp>
#include <boost/log/sinks/text_file_backend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>

namespace zorva::plugin::log {
namespace {

namespace logging = boost::log;
namespace sinks = boost::log::sinks;
namespace expr = boost::log::expressions;
namespace keywords = boost::log::keywords;
namespace names = boost::log::aux::default_attribute_names;
using Severity = logging::trivial::severity_level;

// Records are formatted and written in batches on a thread of each sink's
// own, so a serving thread only queues them. A full queue makes writers wait
// rather than lose records; it holds many short records, or a few that carry
// whole requests.
constexpr std::size_t queuedRecords = 4096;
constexpr std::size_t queuedTextBytes = 8 * 1024 * 1024;
// How long the writer waits for more records once one came: long enough to
// gather the records of many requests into one write, short enough that a
// reader of the log sees them at once.
constexpr std::chrono::milliseconds lingerForRecords{2};
template <class Backend>
using Sink = sinks::asynchronous_sink<Backend, LingeringQueue<queuedRecords, queuedTextBytes>>;

// Collects what the console backend writes and hands it on to the console
// in one write when flushed, once per batch of records.
class BatchBuffer : public std::stringbuf {
public:
    explicit BatchBuffer(std::ostream& target) : target_(target) {}

protected:
    int sync() override {
        const std::string text = str();
        str({});
        target_.write(text.data(), static_cast<std::streamsize>(text.size()));
        target_.flush();
        return target_ ? 0 : -1;
    }

private:
    std::ostream& target_;
};

// Writes what the sink queued. Not the sink's flush, which makes every
// writer of a record wait until it is done.
template <class Backend>
void writeBatch(Sink<Backend>& sink) {
    sink.feed_records();
    sink.locked_backend()->flush();
}

// A sink and the thread that writes its batches; written out and stopped
// when it goes.
class SinkWriter {
public:
    template <class Backend>
    explicit SinkWriter(boost::shared_ptr<Sink<Backend>> sink)
        : sink_(sink), stop_([sink] { sink->stopWaiting(); }), thread_([sink] {
              platform::crash::prepareThread();
              while (sink->waitForBatch(lingerForRecords)) writeBatch(*sink);
          }) {}
    ~SinkWriter() {
        stop_();
        thread_.join();
        sink_->flush();
    }
    SinkWriter(const SinkWriter&) = delete;
    SinkWriter& operator=(const SinkWriter&) = delete;

private:
    boost::shared_ptr<sinks::sink> sink_;
    std::function<void()> stop_;
    std::thread thread_;
};

// The writers of the sinks in the core; only the program's own copy of this
// library sets them up.
std::vector<std::unique_ptr<SinkWriter>>& writers() {
    static std::vector<std::unique_ptr<SinkWriter>> instance;
    return instance;
}

template <class Backend>
void addSink(boost::shared_ptr<Sink<Backend>> sink) {
    logging::core::get()->add_sink(sink);
    writers().push_back(std::make_unique<SinkWriter>(sink));
}

auto severityFilter(std::int32_t minSeverity) {
    return expr::has_attr(logging::trivial::severity) &&
           logging::trivial::severity >= static_cast<Severity>(minSeverity);
}

void addConsoleSink(std::int32_t minSeverity) {
    // Never destroyed: a record may still come while the statics go.
    static auto* const console = new std::ostream(new BatchBuffer(std::cerr));
    auto backend = boost::make_shared<sinks::text_ostream_backend>();
    backend->add_stream(boost::shared_ptr<std::ostream>(console, boost::null_deleter()));
    auto sink = boost::make_shared<Sink<sinks::text_ostream_backend>>(backend, false);
    sink->set_formatter(&formatConsoleLine);
    sink->set_filter(severityFilter(minSeverity));
    addSink(sink);
}

void addFileSink(const boost::filesystem::path& directory, const LogSettings& settings) {
    auto backend = boost::make_shared<sinks::text_file_backend>(
        keywords::file_name = directory / "%Y-%m-%d_%H%M%S.log",
        keywords::rotation_size = settings.rotationSize,
        keywords::open_mode = std::ios_base::out | std::ios_base::app,
        keywords::enable_final_rotation = true,
        keywords::auto_newline_mode = sinks::insert_if_missing);
    backend->set_file_collector(sinks::file::make_collector(
        keywords::target = directory, keywords::max_files = settings.maxFiles));
    backend->scan_for_files();

    auto sink = boost::make_shared<Sink<sinks::text_file_backend>>(backend, false);
    sink->set_formatter(&formatFileLine);
    sink->set_filter(severityFilter(settings.minSeverity));
    addSink(sink);
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
    writers().clear();
    addLineAttributes();
}

}  // namespace

void setupLogging(const boost::filesystem::path& logDirectory, LogSettings settings) {
    resetCore();
    if (settings.console) addConsoleSink(settings.minSeverity);
    addFileSink(logDirectory, settings);
}

void setupConsoleLogging() {
    resetCore();
    addConsoleSink(LogSettings{}.minSeverity);
}

void flush() { logging::core::get()->flush(); }

}  // namespace zorva::plugin::log
