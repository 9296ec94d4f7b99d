#pragma once

#include <cstddef>
#include <istream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

// A small declarative JSON binding over RapidJSON.
//
// A record describes its fields once, in order, in a member template
//
//     template <class Io> void json_io(Io& io) {
//         io & json_dto::mandatory("id", id) & json_dto::optional("node", node);
//     }
//
// and that one description drives both reading and writing. Every field is a
// string, a nested record, an ordered set of records or a string-to-string map;
// no field is nullable. The error texts are part of the protocol: peers and
// logs see them verbatim.
namespace json_dto {

class ex_t : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class presence { mandatory, optional };

template <class Field>
struct binder_t {
    const char* key;
    Field& field;
    presence rule;
};

template <class Field>
binder_t<Field> mandatory(const char* key, Field& field) {
    return {key, field, presence::mandatory};
}

template <class Field>
binder_t<Field> optional(const char* key, Field& field) {
    return {key, field, presence::optional};
}

using writer_t = rapidjson::Writer<rapidjson::StringBuffer>;

// Reading by field kind.
void read_value(const rapidjson::Value& value, std::string& field);
void read_value(const rapidjson::Value& value, std::map<std::string, std::string>& field);

template <class Record>
void read_value(const rapidjson::Value& value, Record& record);

template <class Record, class Compare>
void read_value(const rapidjson::Value& value, std::set<Record, Compare>& field) {
    if (!value.IsArray()) throw ex_t("value can't be deserialized into std::set-like container!");
    field.clear();
    for (const auto& element : value.GetArray()) {
        Record record;
        read_value(element, record);
        field.insert(std::move(record));  // an element equal to an earlier one is dropped
    }
}

template <class Element>
void read_value(const rapidjson::Value& value, std::vector<Element>& field) {
    if (!value.IsArray()) throw ex_t("value can't be deserialized into std::vector!");
    field.clear();
    for (const auto& element : value.GetArray()) read_value(element, field.emplace_back());
}

// Writing by field kind.
void write_value(writer_t& writer, const std::string& field);
void write_value(writer_t& writer, const std::map<std::string, std::string>& field);

template <class Record>
void write_value(writer_t& writer, const Record& record);

template <class Record, class Compare>
void write_value(writer_t& writer, const std::set<Record, Compare>& field) {
    writer.StartArray();
    for (const auto& record : field) write_value(writer, record);
    writer.EndArray();
}

template <class Element>
void write_value(writer_t& writer, const std::vector<Element>& field) {
    writer.StartArray();
    for (const auto& element : field) write_value(writer, element);
    writer.EndArray();
}

// The most characters a value's JSON text can take, without writing it:
// every byte of a string escaped at its longest ("\u00XX").
constexpr std::size_t text_size_bound(std::size_t length) { return length * 6 + 2; }
inline std::size_t size_bound(const std::string& field) { return text_size_bound(field.size()); }
std::size_t size_bound(const std::map<std::string, std::string>& field);

template <class Record>
std::size_t size_bound(const Record& record);

template <class Element>
std::size_t size_bound_of_elements(const Element& elements) {
    std::size_t size = 2;  // the brackets
    for (const auto& element : elements) size += size_bound(element) + 1;
    return size;
}

template <class Record, class Compare>
std::size_t size_bound(const std::set<Record, Compare>& field) {
    return size_bound_of_elements(field);
}

template <class Element>
std::size_t size_bound(const std::vector<Element>& field) {
    return size_bound_of_elements(field);
}

[[noreturn]] void throw_framed(const char* frame, const char* key, const std::exception& cause);
[[noreturn]] void throw_not_object(const char* key);

// Reads the fields of one JSON object into a record, field by field.
class json_input_t {
public:
    explicit json_input_t(const rapidjson::Value& object) : object_(object) {}

    template <class Field>
    json_input_t& operator&(binder_t<Field> binder) {
        try {
            if (!object_.IsObject()) throw_not_object(binder.key);
            // FindMember returns the first of duplicate keys: the first one wins.
            const auto member = object_.FindMember(binder.key);
            if (member == object_.MemberEnd()) {
                if (binder.rule == presence::mandatory) throw ex_t("mandatory field doesn't exist");
                return *this;
            }
            if (member->value.IsNull()) throw ex_t("non nullable field is null");
            read_value(member->value, binder.field);
        } catch (const std::exception& cause) {
            throw_framed("error reading field ", binder.key, cause);
        }
        return *this;
    }

private:
    const rapidjson::Value& object_;
};

// Writes every field of a record, in declared order, whatever its value.
class json_output_t {
public:
    explicit json_output_t(writer_t& writer) : writer_(writer) {}

    template <class Field>
    json_output_t& operator&(binder_t<Field> binder) {
        try {
            writer_.Key(binder.key);
            write_value(writer_, static_cast<const Field&>(binder.field));
        } catch (const std::exception& cause) {
            throw_framed("error writing field ", binder.key, cause);
        }
        return *this;
    }

private:
    writer_t& writer_;
};

// Adds up the size bounds of a record's keys and fields.
class json_size_t {
public:
    template <class Field>
    json_size_t& operator&(binder_t<Field> binder) {
        size_ += text_size_bound(std::char_traits<char>::length(binder.key)) +
                 2 +  // the colon and a comma
                 size_bound(static_cast<const Field&>(binder.field));
        return *this;
    }

    std::size_t size() const { return size_; }

private:
    std::size_t size_ = 2;  // the braces
};

// Records nest records (a configuration's dependencies are configurations):
// reading recurses once per level, so a hostile file must not nest without
// end.
class depth_guard {
public:
    static constexpr int max_depth = 64;
    depth_guard();
    ~depth_guard();
    depth_guard(const depth_guard&) = delete;
    depth_guard& operator=(const depth_guard&) = delete;

private:
    static int& current_depth();
};

template <class Record>
void read_value(const rapidjson::Value& value, Record& record) {
    const depth_guard guard;
    json_input_t input(value);
    record.json_io(input);
}

template <class Record>
void write_value(writer_t& writer, const Record& record) {
    json_output_t output(writer);
    writer.StartObject();
    // The description is shared by reading and writing, so it is not const.
    const_cast<Record&>(record).json_io(output);
    writer.EndObject();
}

template <class Record>
std::size_t size_bound(const Record& record) {
    json_size_t size;
    // The description is shared by reading and writing, so it is not const.
    const_cast<Record&>(record).json_io(size);
    return size.size();
}

// Parses one complete JSON document (iteratively, so deep nesting cannot
// exhaust the stack) of valid UTF-8. Raises ex_t with the parser's English
// message.
void parse(const std::string& text, rapidjson::Document& document);

// ASCII text is scanned many bytes at a time only when its string's buffer
// holds this many bytes past its end; other text is read one byte at a time,
// several times slower. Texts of a megabyte are read into strings with room.
constexpr std::size_t scan_room = 16;

bool has_scan_room(const std::string& text);

// What a document's values take of a short text fits in a buffer on the
// stack; a longer text takes the rest from the heap.
constexpr std::size_t parse_buffer_size = 4096;

template <class Value>
void from_json(const std::string& text, Value& value) {
    alignas(std::max_align_t) char buffer[parse_buffer_size];
    rapidjson::MemoryPoolAllocator<> allocator(buffer, sizeof buffer);
    rapidjson::Document document(&allocator);
    parse(text, document);
    read_value(document, value);
}

template <class Value>
Value from_json(const std::string& text) {
    Value value;
    from_json(text, value);
    return value;
}

std::string read_all(std::istream& input);

template <class Value>
void from_stream(std::istream& input, Value& value) {
    from_json(read_all(input), value);
}

void check_complete(const writer_t& writer);

// Into a caller's buffer, replacing what it held and reusing its storage.
template <class Value>
void to_json(const Value& value, rapidjson::StringBuffer& buffer) {
    buffer.Clear();
    writer_t writer(buffer);
    write_value(writer, value);
    check_complete(writer);
}

template <class Value>
std::string to_json(const Value& value) {
    rapidjson::StringBuffer buffer;
    to_json(value, buffer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace json_dto
