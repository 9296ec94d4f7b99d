// The configuration reader: user configuration files are read at every start.
#include "config.h"
#include "fuzz_input.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using zorva::plugin::format::Config;
    Config config;
    try {
        json_dto::from_json(inputText(data, size), config);
    } catch (const std::exception&) {
        return 0;
    }
    // The normalizer writes what it read; the next start must read it back.
    const std::string written = json_dto::to_json(config);
    require(json_dto::to_json(json_dto::from_json<Config>(written)) == written);
    return 0;
}
