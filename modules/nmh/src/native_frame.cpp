#include "native_frame.h"

#include "json_binding.h"
#include "logging.h"
#include "platform_stdio.h"

#include <cstring>

namespace zorva::plugin::module::native_frame {
namespace {

// A count of whole input bytes; none when input ended or was interrupted
// first, which is logged unless the host asked for it.
std::optional<std::uint32_t> readLength(platform::StandardStreams& streams) {
    char bytes[sizeof(std::uint32_t)];
    const std::size_t count = streams.read(bytes, sizeof bytes);
    if (count == 0) {
        if (!streams.interrupted()) PLUGIN_LOG(info) << "nmh: end of input";
        return std::nullopt;
    }
    if (count < sizeof bytes) {
        PLUGIN_LOG(warning) << "nmh: input ends inside a frame length, after " << count
                            << " of 4 bytes";
        return std::nullopt;
    }
    std::uint32_t length;
    std::memcpy(&length, bytes, sizeof length);
    return length;
}

}  // namespace

std::optional<std::string> read(platform::StandardStreams& streams) {
    const auto length = readLength(streams);
    if (!length) return std::nullopt;
    if (*length > maxInputSize) {
        PLUGIN_LOG(warning) << "nmh: frame of " << *length << " bytes exceeds the limit of "
                            << maxInputSize << " bytes";
        return std::nullopt;
    }
    std::string text;
    text.reserve(*length + json_dto::scan_room);
    text.resize(*length);
    const std::size_t count = streams.read(text.data(), text.size());
    if (count < text.size()) {
        PLUGIN_LOG(warning) << "nmh: input ends inside a frame, after " << count << " of "
                            << *length << " bytes";
        return std::nullopt;
    }
    return text;
}

void write(platform::StandardStreams& streams, const std::string& text) {
    const auto length = static_cast<std::uint32_t>(text.size());
    char bytes[sizeof length];
    std::memcpy(bytes, &length, sizeof length);
    streams.write(bytes, sizeof bytes);
    streams.write(text.data(), text.size());
}

}  // namespace zorva::plugin::module::native_frame
