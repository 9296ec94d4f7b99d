#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace zorva::plugin::base64 {

// Decodes base64 text that arrives in pieces exactly as `decode` decodes the
// pieces joined into one text: everything after the first "=" is ignored and
// a character outside the alphabet raises DecodeError. Only one piece and at
// most three characters of an unfinished group are held, so a text of any
// size decodes in constant memory.
class StreamDecoder {
public:
    explicit StreamDecoder(std::ostream& out) : out_(out) {}

    void write(const char* text, std::size_t length);
    // Bytes that stand for whole groups of the text, as if that text came:
    // written as they are between groups. `length` is a multiple of 3.
    void writeDecoded(const char* bytes, std::size_t length);
    // Decodes the characters of the last, unfinished group.
    void finish();
    // The bytes written to the output so far.
    std::uintmax_t written() const { return written_; }

private:
    void decodeToOutput(const char* text, std::size_t length);

    std::ostream& out_;
    std::string carry_;
    std::string bytes_;
    std::uintmax_t written_ = 0;
    bool stopped_ = false;
};

}  // namespace zorva::plugin::base64
