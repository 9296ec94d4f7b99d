#pragma once

#include <boost/log/core.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// What every target shares: libFuzzer's entry points, and a logging core that
// drops records (without a sink Boost.Log prints them all, and the fuzzer would
// spend its time writing).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

inline std::string inputText(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        boost::log::core::get()->set_logging_enabled(false);
        return true;
    }();
    (void)quiet;
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A property that failed: abort so that the fuzzer keeps the input.
inline void require(bool property) {
    if (!property) std::abort();
}
