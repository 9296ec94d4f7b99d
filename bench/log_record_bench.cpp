// What writing a log record costs the thread that writes it: the log writes
// its lines to the file and the console on a thread of its own, so this is
// what a serving thread pays per record. Run through bench/run_log_record.sh.
//
// BM_Record is a record of the kind a request makes; BM_FilteredRecord one
// below the configured severity, which reaches no line.
#include "log_setup.h"
#include "logging.h"
#include "temp_dir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>

namespace {

// The log is set up as the host sets it up, its file in a directory of its
// own and its console on /dev/null, except that the file never rotates:
// within one second the host's file names repeat, and each record after a
// second rotation in the same second opens the file again.
class BenchLog {
public:
    BenchLog() {
        zorva::plugin::log::LogSettings settings;
        settings.rotationSize = std::numeric_limits<std::uint32_t>::max();
        zorva::plugin::log::setupLogging(directory_.path(), settings);
    }
    ~BenchLog() {
        zorva::plugin::log::flush();
        std::cerr.rdbuf(console_);
    }

private:
    TempDir directory_;
    std::ofstream null_{"/dev/null"};
    std::streambuf* const console_ = std::cerr.rdbuf(null_.rdbuf());
};

// Records are written in short runs, as a serving thread writes them, and
// written out between runs: the log's writer lingers over the first record
// of a run while the rest come, so the figure is that of making and queueing
// records, not of waiting for room or of fighting the writer for the queue.
constexpr int recordsPerRun = 100;

void BM_Record(benchmark::State& state) {
    const std::string id = "rtt0";
    for (auto _ : state) {
        for (int i = 0; i < recordsPerRun; ++i) {
            PLUGIN_LOG(info) << "session: handle message: id: " << id
                             << ", module: system, method: echo, chunk: , chunks: ";
        }
        state.PauseTiming();
        zorva::plugin::log::flush();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * recordsPerRun);
}
BENCHMARK(BM_Record);

void BM_FilteredRecord(benchmark::State& state) {
    const std::string id = "rtt0";
    for (auto _ : state) PLUGIN_LOG(debug) << "session: reply: id: " << id;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FilteredRecord);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const BenchLog log;
    benchmark::RunSpecifiedBenchmarks();
    return EXIT_SUCCESS;
}
