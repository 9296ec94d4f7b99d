#pragma once

#include "converter.h"

#include <cstddef>
#include <string>
#include <system_error>

#include <boost/exception/exception.hpp>

namespace zorva::plugin::base64 {

// The condition every decoding failure carries. The description gives it as
// code 42 of the generic category, which is MSVC's value of EILSEQ; glibc
// numbers the same condition 84, so the named constant is used, not the
// number: the meaning ("illegal byte sequence") is what crosses platforms.
inline std::error_code decodeErrorCode() {
    return std::make_error_code(std::errc::illegal_byte_sequence);
}

// Raised by decode for any failure while decoding. The codec's own exception
// (for a character outside the alphabet: std::invalid_argument, "attempt to
// decode a value not in base64 char set") is attached as
// boost::errinfo_nested_exception; the raise location carries the operation
// name "decode".
class DecodeError : public std::system_error, public boost::exception {
public:
    DecodeError() : std::system_error(decodeErrorCode()) {}
};

// Standard alphabet, "=" padding to a multiple of 4 characters, no line breaks.
std::string encode(const char* bytes, std::size_t length);
std::string encode(const std::string& bytes);

// Decodes up to the first "=" (padding and everything after it are ignored).
// Characters in `extra` are removed from the input before anything else looks
// at it. Any other character outside the alphabet raises DecodeError. Leftover
// bits are dropped: a final group of 3 characters gives 2 bytes, of 2
// characters 1 byte, of a single character (6 bits) nothing.
std::string decode(const char* text, std::size_t length, const std::string& extra = {});
std::string decode(const std::string& text, const std::string& extra = {});

// The same two operations into a caller's string, replacing its content and
// reusing its storage: for callers that convert many large payloads in turn.
// After a DecodeError the content of `out` is unspecified.
void encodeTo(const char* bytes, std::size_t length, std::string& out);
void decodeTo(const char* text, std::size_t length, std::string& out,
              const std::string& extra = {});

namespace converter {

using IConverter = plugin::converter::IConverter;

// convert = base64 decode of the whole argument, no extra characters.
class Decoder : public IConverter {
public:
    std::string convert(const char* bytes, std::size_t length) const override;
};

}  // namespace converter

}  // namespace zorva::plugin::base64
