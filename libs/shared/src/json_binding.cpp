#include "json_binding.h"

#include <iterator>

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

void throw_framed(const char* frame, const char* key, const std::exception& cause) {
    std::string text(frame);
    text.append("\"").append(key).append("\": ").append(cause.what());
    throw ex_t(text);
}

void throw_not_object(const char* key) {
    throw ex_t(std::string("unable to extract field \"") + key +
               "\": parent json type must be object");
}

void parse(const std::string& text, rapidjson::Document& document) {
    document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    if (document.HasParseError()) {
        throw ex_t(std::string("JSON parse error: '") +
                   rapidjson::GetParseError_En(document.GetParseError()) +
                   "' (offset: " + std::to_string(document.GetErrorOffset()) + ")");
    }
}

std::string read_all(std::istream& input) {
    return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

void check_complete(const writer_t& writer) {
    if (!writer.IsComplete()) throw ex_t("to_json: output_doc.Accept(writer) returns false");
}

}  // namespace json_dto
