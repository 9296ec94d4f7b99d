#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zorva::plugin::platform {
class StandardStreams;
}

// The browsers' native-messaging framing: a 32-bit length in native byte
// order, then that many bytes of UTF-8 JSON.
namespace zorva::plugin::module::native_frame {

// Browsers send at most 64 MiB in one message; a longer length is no frame a
// browser wrote.
constexpr std::uint32_t maxInputSize = 64 * 1024 * 1024;

// The text of the next frame. None when input ends or is interrupted, and
// when a frame is too long or cut short; those two are logged.
std::optional<std::string> read(platform::StandardStreams& streams);

void write(platform::StandardStreams& streams, const std::string& text);

}  // namespace zorva::plugin::module::native_frame
