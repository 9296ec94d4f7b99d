// The base64 decoder, fed both hostile text and the encoding of hostile bytes.
#include "base64.h"
#include "fuzz_input.h"

namespace base64 = zorva::plugin::base64;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = inputText(data, size);
    require(base64::decode(base64::encode(input)) == input);
    try {
        const std::string decoded = base64::decode(input, "\r\n");
        std::string reused = "stale";
        base64::decodeTo(input.data(), input.size(), reused, "\r\n");
        require(reused == decoded);
    } catch (const base64::DecodeError&) {
    }
    return 0;
}
