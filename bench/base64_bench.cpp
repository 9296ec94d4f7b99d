// Throughput of the base64 codec. Run through bench/run_base64.sh, which
// builds in Release and prints MB/s. The argument of each benchmark is the
// input size in bytes: 64 MiB everywhere, and 8 MiB (a payload-sized input)
// for the calls that return a new string. Rates are over wall-clock time.
#include "base64.h"
#include "stream_filters.h"

#include <benchmark/benchmark.h>

#include <boost/iostreams/filtering_stream.hpp>

#include <cstddef>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>

namespace base64 = zorva::plugin::base64;

namespace {

constexpr std::int64_t MiB = 1 << 20;
constexpr std::int64_t largest = 64 * MiB;

// Random bytes; a benchmark of size n encodes the first n of them.
const std::string& plainBytes() {
    static const std::string bytes = [] {
        std::mt19937_64 random(42);
        std::string b(static_cast<std::size_t>(largest), '\0');
        for (char& c : b) c = static_cast<char>(random());
        return b;
    }();
    return bytes;
}

// Base64 text; a benchmark of size n decodes its first n characters (n is a
// multiple of 4, so every prefix used is complete text).
const std::string& base64Text() {
    static const std::string text = base64::encode(plainBytes().data(), largest / 4 * 3);
    return text;
}

std::size_t size(const benchmark::State& state) { return static_cast<std::size_t>(state.range(0)); }

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The codec itself: the output string is reused, so its pages are touched for
// the first time only in the first iteration.
void BM_Encode(benchmark::State& state) {
    const char* bytes = plainBytes().data();
    std::string text;
    for (auto _ : state) {
        base64::encodeTo(bytes, size(state), text);
        benchmark::DoNotOptimize(text.data());
    }
    setBytes(state);
}

void BM_Decode(benchmark::State& state) {
    const char* text = base64Text().data();
    std::string bytes;
    for (auto _ : state) {
        base64::decodeTo(text, size(state), bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    setBytes(state);
}

// What a caller of encode()/decode() sees: every call returns a new string.
// Above glibc's largest mmap threshold (32 MiB) that string is always fresh
// memory, and first touches of pages are what this machine does slowest.
void BM_EncodeNewString(benchmark::State& state) {
    const char* bytes = plainBytes().data();
    for (auto _ : state) {
        std::string text = base64::encode(bytes, size(state));
        benchmark::DoNotOptimize(text.data());
    }
    setBytes(state);
}

void BM_DecodeNewString(benchmark::State& state) {
    const char* text = base64Text().data();
    for (auto _ : state) {
        std::string bytes = base64::decode(text, size(state));
        benchmark::DoNotOptimize(bytes.data());
    }
    setBytes(state);
}

// The floor under the NewString figures: a plain copy of the input into a new
// string costs only the allocation and the first touch of its pages.
void BM_CopyToNewString(benchmark::State& state) {
    const char* bytes = plainBytes().data();
    for (auto _ : state) {
        std::string copy(bytes, size(state));
        benchmark::DoNotOptimize(copy.data());
    }
    setBytes(state);
}

// The decoding filter of the chunk store and file-info pipelines, over a
// string stream: the codec plus the stream framework's collecting and copies.
void BM_DecodeThroughFilter(benchmark::State& state) {
    const std::string text = base64Text().substr(0, size(state));
    for (auto _ : state) {
        std::istringstream source(text);
        boost::iostreams::filtering_istream in;
        in.push(zorva::plugin::iostreams::Filter<base64::converter::Decoder>());
        in.push(source);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        benchmark::DoNotOptimize(bytes);
    }
    setBytes(state);
}

void timing(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
}

}  // namespace

BENCHMARK(BM_Encode)->Arg(largest)->Apply(timing);
BENCHMARK(BM_Decode)->Arg(largest)->Apply(timing);
BENCHMARK(BM_EncodeNewString)->Arg(largest)->Arg(8 * MiB)->Apply(timing);
BENCHMARK(BM_DecodeNewString)->Arg(largest)->Arg(8 * MiB)->Apply(timing);
BENCHMARK(BM_CopyToNewString)->Arg(largest)->Arg(8 * MiB)->Apply(timing);
BENCHMARK(BM_DecodeThroughFilter)->Arg(largest)->Apply(timing);

BENCHMARK_MAIN();
