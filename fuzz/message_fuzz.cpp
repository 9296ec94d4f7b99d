// The message reader: every WebSocket text a page sends goes through it.
#include "fuzz_input.h"
#include "message.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorva::plugin::format::Message message;
    try {
        json_dto::from_json(inputText(data, size), message);
    } catch (const std::exception&) {
        return 0;
    }
    // What the host writes back it must be able to read again, unchanged.
    const std::string written = json_dto::to_json(message);
    require(json_dto::to_json(json_dto::from_json<zorva::plugin::format::Message>(written)) ==
            written);
    return 0;
}
