// A chunked transfer through the message handler and its chunk store. Each
// line of the input is one piece:
//   id TAB chunk TAB chunks TAB meta id TAB transfer encoding TAB data
// so the fuzzer varies ids, chunk numbers, file ids, embedded descriptions and
// base64 directly. No session is bound: the join, the checks and the clean-up
// run in full and the dispatch that follows fails like a missing module.
#include "fuzz_input.h"
#include "message_handler.h"

#include <boost/dll/runtime_symbol_info.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

using zorva::plugin::MessageHandler;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;

constexpr std::size_t maxPieces = 64;

// The chunk store lives in the data directory beside the program, named by
// the category of the default configuration found there.
void installDefaults() {
    const auto config = boost::dll::program_location().parent_path() / "config.json";
    if (boost::filesystem::exists(config)) return;
    std::ofstream(config.string()) << R"({"format":{"type":"core","category":"fuzz.plugin"}})";
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    return parts;
}

MessagePtr piece(const std::string& line) {
    auto fields = split(line, '\t');
    fields.resize(6);
    auto message = boost::make_shared<Message>();
    message->id = fields[0];
    message->module.type = "system";
    message->method.type = "digest";
    message->meta.chunk = fields[1];
    message->meta.chunks = fields[2];
    message->meta.id = fields[3];
    message->meta.content.transferEncoding = fields[4];
    message->method.data = fields[5];
    return message;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool installed = (installDefaults(), true);
    (void)installed;
    MessageHandler handler({});
    const auto lines = split(inputText(data, size), '\n');
    for (std::size_t i = 0; i < lines.size() && i < maxPieces; ++i) {
        int state = MessageHandler::None;
        const MessagePtr reply = handler.handle(piece(lines[i]), &state);
        // A refused piece is an error reply, never an escaped exception.
        require(state != MessageHandler::Error || (reply && !reply->error.empty()));
    }
    return 0;
}
