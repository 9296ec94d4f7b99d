// The host's log path under load: many serving threads write records, which
// a sink queues and a writer thread puts into one log file. Compares the
// host's set-up (its lingering queue feeding its line writer) with Boost.Log's
// own asynchronous sink on a bounded FIFO queue that blocks on overflow, and
// crosses the two queues with the two line writers: the host's, and Boost.Log's
// text file backend with a formatter that writes the same file line. Run
// through bench/run_log_queue.sh.
//
// Each run: a fresh log directory, `threads` writers started together, each
// writing its share of the records, then a flush; the run ends when every
// line is in the file (the lines are counted). Printed per sink and thread
// count: the best of the runs' records per second of wall time, and the
// median processor time a writing thread spends per record.
#include "log_lines.h"
#include "log_queue.h"
#include "log_setup.h"
#include "logging.h"
#include "temp_dir.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/attributes/clock.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/core.hpp>
#include <boost/log/detail/default_attribute_names.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/async_frontend.hpp>
#include <boost/log/sinks/block_on_overflow.hpp>
#include <boost/log/sinks/bounded_fifo_queue.hpp>
#include <boost/log/sinks/text_file_backend.hpp>
#include <boost/log/support/date_time.hpp>
#include <boost/log/utility/exception_handler.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <time.h>

namespace {

namespace logging = boost::log;
namespace sinks = boost::log::sinks;
namespace expr = boost::log::expressions;
namespace keywords = boost::log::keywords;
namespace names = boost::log::aux::default_attribute_names;
namespace fs = boost::filesystem;
namespace zlog = zorva::plugin::log;

// The host's queue bounds, for the Boost.Log queue as well.
constexpr std::size_t queuedRecords = 4096;
using BoostQueue = sinks::bounded_fifo_queue<queuedRecords, sinks::block_on_overflow>;
using HostQueue = zlog::LingeringQueue<queuedRecords, 8 * 1024 * 1024>;

// The log file never rotates: within one second the host's file names
// repeat, and each record after a second rotation in the same second opens
// the file again.
boost::shared_ptr<sinks::text_file_backend> fileBackend(const fs::path& directory) {
    return boost::make_shared<sinks::text_file_backend>(
        keywords::file_name = directory / "%Y-%m-%d_%H%M%S.log",
        keywords::rotation_size = std::numeric_limits<std::uint32_t>::max(),
        keywords::open_mode = std::ios_base::out | std::ios_base::app,
        keywords::auto_newline_mode = sinks::insert_if_missing);
}

// A sink under test, set up in the core for one run and taken out after it.
class BenchSink {
public:
    virtual ~BenchSink() = default;
    virtual void setUp(const fs::path& directory) = 0;
    virtual void tearDown() = 0;
};

// As the host sets up its log, without the console.
class HostSink : public BenchSink {
public:
    void setUp(const fs::path& directory) override {
        zlog::LogSettings settings;
        settings.rotationSize = std::numeric_limits<std::uint32_t>::max();
        settings.console = false;
        zlog::setupLogging(directory, settings);
    }
    // The next set-up writes out and replaces the sink.
    void tearDown() override {}
};

// The line "[%TimeStamp%] {%ThreadID%}: %Message%" of the host's log file, as
// a Boost.Log formatter.
template <class Sink>
void setBoostFormatter(Sink& sink) {
    sink.set_formatter(expr::stream
                       << '['
                       << expr::format_date_time<boost::posix_time::ptime>(names::timestamp(),
                                                                           "%Y-%m-%d %H:%M:%S.%f")
                       << "] {"
                       << expr::attr<logging::attributes::current_thread_id::value_type>(
                              names::thread_id())
                       << "}: " << expr::smessage);
}

// The host's line writer, or Boost.Log's file backend with the formatter.
boost::shared_ptr<zlog::LogLines> hostLines(const fs::path& directory) {
    return boost::make_shared<zlog::LogLines>(nullptr, fileBackend(directory));
}

// An asynchronous sink on either queue: Boost.Log's is fed by the sink's own
// thread, the host's by a thread that writes batches as the host's set-up does.
template <class Backend, class Queue>
class CoreSink : public BenchSink {
public:
    void setUp(const fs::path& directory) override {
        // The host's set-up adds the time stamp and thread id attributes the
        // lines show, and its sink is replaced here.
        zlog::setupConsoleLogging();
        logging::core::get()->remove_all_sinks();
        if constexpr (std::is_same_v<Backend, zlog::LogLines>) {
            sink_ = boost::make_shared<Sink>(hostLines(directory), !lingers);
        } else {
            sink_ = boost::make_shared<Sink>(fileBackend(directory), !lingers);
            setBoostFormatter(*sink_);
        }
        sink_->set_exception_handler(logging::make_exception_suppressor());
        logging::core::get()->add_sink(sink_);
        if constexpr (lingers) {
            writer_ = std::thread([sink = sink_] {
                while (sink->waitForBatch(std::chrono::milliseconds(2))) {
                    sink->feed_records();
                    sink->locked_backend()->flush();
                }
            });
        }
    }
    void tearDown() override {
        logging::core::get()->remove_sink(sink_);
        if constexpr (lingers) {
            sink_->stopWaiting();
            writer_.join();
        } else {
            sink_->stop();
        }
        sink_->flush();
        sink_.reset();
    }

private:
    static constexpr bool lingers = !std::is_same_v<Queue, BoostQueue>;
    using Sink = sinks::asynchronous_sink<Backend, Queue>;
    boost::shared_ptr<Sink> sink_;
    std::thread writer_;
};

std::int64_t threadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::size_t linesIn(const fs::path& directory) {
    std::size_t lines = 0;
    for (fs::directory_iterator entry(directory), end; entry != end; ++entry) {
        std::ifstream file(entry->path().string());
        lines += std::count(std::istreambuf_iterator<char>(file), {}, '\n');
    }
    return lines;
}

struct RunFigures {
    double recordsPerSecond;
    double cpuNanosecondsPerRecord;
};

RunFigures runOnce(BenchSink& sink, int threads, std::size_t records) {
    const TempDir directory;
    sink.setUp(directory.path());
    const std::size_t share = records / threads;
    std::vector<std::int64_t> cpu(threads, 0);
    std::promise<void> start;
    const std::shared_future<void> started = start.get_future().share();
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            const std::string id = "rtt" + std::to_string(t);
            started.wait();
            const std::int64_t begin = threadCpuNanoseconds();
            for (std::size_t i = 0; i < share; ++i) {
                PLUGIN_LOG(info) << "session: handle message: id: " << id
                                 << ", module: system, method: echo, chunk: " << i << ", chunks: ";
            }
            cpu[t] = threadCpuNanoseconds() - begin;
        });
    }
    const auto began = std::chrono::steady_clock::now();
    start.set_value();
    for (auto& writer : writers) writer.join();
    zlog::flush();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
    sink.tearDown();
    const std::size_t written = share * threads;
    if (linesIn(directory.path()) < written) {
        std::fprintf(stderr, "log_queue_bench: lines are missing from the file\n");
        std::exit(EXIT_FAILURE);
    }
    std::int64_t cpuTotal = 0;
    for (const auto nanoseconds : cpu) cpuTotal += nanoseconds;
    return {written / wall.count(), double(cpuTotal) / written};
}

void report(const char* name, BenchSink& sink, int threads, std::size_t records, int runs) {
    std::vector<RunFigures> figures;
    for (int run = 0; run < runs; ++run) figures.push_back(runOnce(sink, threads, records));
    double best = 0;
    std::vector<double> cpu;
    for (const auto& figure : figures) {
        best = std::max(best, figure.recordsPerSecond);
        cpu.push_back(figure.cpuNanosecondsPerRecord);
    }
    std::nth_element(cpu.begin(), cpu.begin() + cpu.size() / 2, cpu.end());
    std::printf("  %-28s %2d threads  %9.0f records/s  %6.0f ns processor time per record\n", name,
                threads, best, cpu[cpu.size() / 2]);
    std::fflush(stdout);
}

}  // namespace

// log_queue_bench [records per run] [runs]
int main(int argc, char** argv) {
    const std::size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    HostSink host;
    CoreSink<sinks::text_file_backend, HostQueue> hostQueueBoostLines;
    CoreSink<zlog::LogLines, BoostQueue> boostQueueHostLines;
    CoreSink<sinks::text_file_backend, BoostQueue> boostQueueBoostLines;
    for (const int threads : {1, 4, 16}) {
        report("host queue + host lines", host, threads, records, runs);
        report("host queue + Boost formatter", hostQueueBoostLines, threads, records, runs);
        report("Boost FIFO + host lines", boostQueueHostLines, threads, records, runs);
        report("Boost FIFO + Boost formatter", boostQueueBoostLines, threads, records, runs);
    }
    zlog::setupConsoleLogging();
    return EXIT_SUCCESS;
}
