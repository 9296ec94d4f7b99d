#include "json_binding.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>

#include <rapidjson/error/en.h>

namespace json_dto {

void read_value(const rapidjson::Value& value, std::string& field) {
    if (!value.IsString()) throw ex_t("value is not std::string");
    field.assign(value.GetString());  // a string holding U+0000 is cut there
}

void read_value(const rapidjson::Value& value, std::map<std::string, std::string>& field) {
    if (!value.IsObject()) throw ex_t("value can't be deserialized into std::map-like container!");
    field.clear();
    for (const auto& member : value.GetObject()) {
        std::string text;
        read_value(member.value, text);
        field.emplace(member.name.GetString(), std::move(text));  // the first of a key wins
    }
}

void write_value(writer_t& writer, const std::string& field) {
    writer.String(field.data(), static_cast<rapidjson::SizeType>(field.size()));
}

void write_value(writer_t& writer, const std::map<std::string, std::string>& field) {
    writer.StartObject();
    for (const auto& [key, text] : field) {
        writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
        write_value(writer, text);
    }
    writer.EndObject();
}

std::size_t size_bound(const std::map<std::string, std::string>& field) {
    std::size_t size = 2;
    for (const auto& [key, text] : field) size += size_bound(key) + size_bound(text) + 2;
    return size;
}

void throw_framed(const char* frame, const char* key, const std::exception& cause) {
    std::string text(frame);
    text.append("\"").append(key).append("\": ").append(cause.what());
    throw ex_t(text);
}

void throw_not_object(const char* key) {
    throw ex_t(std::string("unable to extract field \"") + key +
               "\": parent json type must be object");
}

[[noreturn]] void throw_parse_error(const char* reason, std::size_t offset) {
    throw ex_t(std::string("JSON parse error: '") + reason +
               "' (offset: " + std::to_string(offset) + ")");
}

namespace {

bool isAscii(const std::string& text) {
    constexpr std::uint64_t highBits = 0x8080808080808080u;
    std::uint64_t bits = 0;
    std::size_t i = 0;
    for (std::uint64_t word; i + sizeof word <= text.size(); i += sizeof word) {
        std::memcpy(&word, text.data() + i, sizeof word);
        bits |= word;
    }
    for (; i < text.size(); ++i) bits |= static_cast<unsigned char>(text[i]);
    return (bits & highBits) == 0;
}

unsigned hexValue(const char* digits) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = digits[i];
        value = value * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return value;
}

// The parser of this RapidJSON release checks that an escaped high surrogate
// is followed by a low one, but takes a low surrogate alone and stores it as
// three bytes that are no UTF-8: written back, the text could not be read
// again. Looked for in a text the parser accepted, where every backslash
// starts an escape inside a string.
std::optional<std::size_t> loneLowSurrogate(const std::string& text) {
    for (auto at = text.find('\\'); at != std::string::npos; at = text.find('\\', at)) {
        if (text[at + 1] != 'u') {
            at += 2;
            continue;
        }
        const unsigned unit = hexValue(text.data() + at + 2);
        if (unit >= 0xDC00 && unit <= 0xDFFF) return at;
        // A high surrogate's low half follows it, as the parser checked.
        at += unit >= 0xD800 && unit <= 0xDBFF ? 12 : 6;
    }
    return std::nullopt;
}

}  // namespace

// The parser's vector scans of a NUL-terminated text read whole aligned blocks
// up to the one that holds the terminator.
bool has_scan_room(const std::string& text) {
    const auto terminator = reinterpret_cast<std::uintptr_t>(text.data() + text.size());
    const auto bufferEnd = reinterpret_cast<std::uintptr_t>(text.data() + text.capacity());
    return (terminator | (scan_room - 1)) <= bufferEnd;
}

// The parser takes a NUL for the end of the text and a byte order mark for
// part of the value: neither is JSON, and what follows a NUL was never read.
// ASCII text, such as base64 chunks of a megabyte, needs no check of its
// encoding, and the parser scans it many bytes at a time only without one and
// only from a NUL-terminated buffer, whose blocks must then all be its own.
// Every other text is read from a stream that knows where the text ends: the
// check of the encoding takes the bytes a lead byte announces whatever they
// are, a terminator included.
void parse(const std::string& text, rapidjson::Document& document) {
    constexpr auto flags = rapidjson::kParseIterativeFlag;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) throw_parse_error("Byte order mark.", 0);
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        throw_parse_error("NUL character.", nul);
    if (!isAscii(text)) {
        document.Parse<flags | rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
    } else if (has_scan_room(text)) {
        document.Parse<flags>(text.c_str());
    } else {
        document.Parse<flags>(text.data(), text.size());
    }
    if (document.HasParseError()) {
        throw_parse_error(rapidjson::GetParseError_En(document.GetParseError()),
                          document.GetErrorOffset());
    }
    if (const auto at = loneLowSurrogate(text))
        throw_parse_error(
            rapidjson::GetParseError_En(rapidjson::kParseErrorStringUnicodeSurrogateInvalid), *at);
}

depth_guard::depth_guard() {
    if (++current_depth() > max_depth) {
        --current_depth();
        throw ex_t("nesting deeper than " + std::to_string(max_depth) + " records");
    }
}

depth_guard::~depth_guard() { --current_depth(); }

int& depth_guard::current_depth() {
    thread_local int depth = 0;
    return depth;
}

std::string read_all(std::istream& input) {
    return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

void check_complete(const writer_t& writer) {
    if (!writer.IsComplete()) throw ex_t("to_json: output_doc.Accept(writer) returns false");
}

}  // namespace json_dto
