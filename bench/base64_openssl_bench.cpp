// Our base64 codec against OpenSSL's on the sizes of the paths that use it.
// Run through bench/run_base64.sh, which builds in Release and prints MB/s.
// The OpenSSL side does what ours would have to do to keep our behaviour:
// stop at the first "=", refuse every character outside the alphabet (also
// the blanks OpenSSL trims at both ends) and drop leftover bits, so the
// comparison is between two implementations of the same function. Rates are
// over CPU time: the machines this runs on are shared, and wall-clock time
// there measures the neighbours.
#include "base64.h"

#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

namespace base64 = zorva::plugin::base64;

namespace {

constexpr std::int64_t KiB = 1 << 10;
constexpr std::int64_t MiB = 1 << 20;
// A certificate, a signature without its document, one chunk the message
// handler decodes, a reply of the largest size it sends.
constexpr std::int64_t certificateSize = 1536;
constexpr std::int64_t signatureSize = 8 * KiB;
constexpr std::int64_t chunkSize = 1 * MiB;
constexpr std::int64_t replySize = 10 * MiB;
constexpr int mimeLineLength = 76;

const std::string& plainBytes() {
    static const std::string bytes = [] {
        std::mt19937_64 random(42);
        std::string b(static_cast<std::size_t>(replySize), '\0');
        for (char& c : b) c = static_cast<char>(random());
        return b;
    }();
    return bytes;
}

std::size_t size(const benchmark::State& state) { return static_cast<std::size_t>(state.range(0)); }

// The text of the first `length` bytes, padded as a whole payload ends.
std::string textOf(std::size_t length) { return base64::encode(plainBytes().data(), length); }

// The same text in lines of 76 characters ending in CR LF, as mail and PEM
// writers wrap it.
std::string wrappedTextOf(std::size_t length) {
    const std::string text = textOf(length);
    std::string wrapped;
    for (std::size_t at = 0; at < text.size(); at += mimeLineLength)
        wrapped.append(text, at, mimeLineLength).append("\r\n");
    return wrapped;
}

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void opensslEncodeTo(const char* bytes, std::size_t length, std::string& out) {
    // EVP_EncodeBlock writes a terminating NUL after the text.
    out.resize((length + 2) / 3 * 4 + 1);
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes), static_cast<int>(length));
    out.resize(static_cast<std::size_t>(written));
}

bool isTrimmedByOpenssl(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '-';
}

// Our decoding on top of EVP_DecodeBlock: the whole groups go to OpenSSL, the
// one to three characters of a last group go through it padded with "A"s.
void opensslDecodeTo(const char* text, std::size_t length, std::string& out) {
    const void* stop = length != 0 ? std::memchr(text, '=', length) : nullptr;
    const std::size_t used = stop ? static_cast<const char*>(stop) - text : length;
    const std::size_t whole = used - used % 4;
    if (whole != 0 && (isTrimmedByOpenssl(text[0]) || isTrimmedByOpenssl(text[whole - 1])))
        throw std::invalid_argument("not base64");
    static constexpr std::size_t tailBytes[4] = {0, 0, 1, 2};
    out.resize(whole / 4 * 3 + 3);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    if (EVP_DecodeBlock(o, in, static_cast<int>(whole)) < 0)
        throw std::invalid_argument("not base64");
    if (used != whole) {
        unsigned char group[4] = {'A', 'A', 'A', 'A'};
        std::memcpy(group, in + whole, used - whole);
        if (EVP_DecodeBlock(o + whole / 4 * 3, group, 4) < 0)
            throw std::invalid_argument("not base64");
    }
    out.resize(whole / 4 * 3 + tailBytes[used - whole]);
}

// EVP_DecodeUpdate skips line breaks itself; it is the function OpenSSL
// offers for wrapped text.
void opensslDecodeWrappedTo(const char* text, std::size_t length, std::string& out) {
    const std::unique_ptr<EVP_ENCODE_CTX, decltype(&EVP_ENCODE_CTX_free)> context(
        EVP_ENCODE_CTX_new(), &EVP_ENCODE_CTX_free);
    EVP_DecodeInit(context.get());
    out.resize(length / 4 * 3 + 3);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    int written = 0;
    if (EVP_DecodeUpdate(context.get(), o, &written, reinterpret_cast<const unsigned char*>(text),
                         static_cast<int>(length)) < 0)
        throw std::invalid_argument("not base64");
    int last = 0;
    if (EVP_DecodeFinal(context.get(), o + written, &last) < 0)
        throw std::invalid_argument("not base64");
    out.resize(static_cast<std::size_t>(written + last));
}

template <void (*encodeTo)(const char*, std::size_t, std::string&)>
void BM_Encode(benchmark::State& state) {
    const char* bytes = plainBytes().data();
    std::string text;
    for (auto _ : state) {
        encodeTo(bytes, size(state), text);
        benchmark::DoNotOptimize(text.data());
    }
    setBytes(state);
}

void ourDecodeTo(const char* text, std::size_t length, std::string& out) {
    base64::decodeTo(text, length, out);
}

void ourDecodeWrappedTo(const char* text, std::size_t length, std::string& out) {
    base64::decodeTo(text, length, out, "\r\n");
}

// The argument is the size of the bytes the text stands for.
template <void (*decodeTo)(const char*, std::size_t, std::string&), bool wrapped>
void BM_Decode(benchmark::State& state) {
    const std::string text = wrapped ? wrappedTextOf(size(state)) : textOf(size(state));
    std::string bytes;
    for (auto _ : state) {
        decodeTo(text.data(), text.size(), bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    if (bytes != plainBytes().substr(0, size(state))) state.SkipWithError("decoded wrongly");
    setBytes(state);
}

void paths(benchmark::internal::Benchmark* b) {
    b->Arg(certificateSize)->Arg(signatureSize)->Arg(chunkSize)->Arg(replySize);
    b->MinTime(0.5);
}

void linePaths(benchmark::internal::Benchmark* b) { b->Arg(chunkSize)->MinTime(0.5); }

}  // namespace

BENCHMARK_TEMPLATE(BM_Encode, base64::encodeTo)->Name("BM_EncodeOurs")->Apply(paths);
BENCHMARK_TEMPLATE(BM_Encode, opensslEncodeTo)->Name("BM_EncodeOpenssl")->Apply(paths);
BENCHMARK_TEMPLATE(BM_Decode, ourDecodeTo, false)->Name("BM_DecodeOurs")->Apply(paths);
BENCHMARK_TEMPLATE(BM_Decode, opensslDecodeTo, false)->Name("BM_DecodeOpenssl")->Apply(paths);
BENCHMARK_TEMPLATE(BM_Decode, ourDecodeWrappedTo, true)
    ->Name("BM_DecodeLinesOurs")
    ->Apply(linePaths);
BENCHMARK_TEMPLATE(BM_Decode, opensslDecodeWrappedTo, true)
    ->Name("BM_DecodeLinesOpenssl")
    ->Apply(linePaths);

BENCHMARK_MAIN();
