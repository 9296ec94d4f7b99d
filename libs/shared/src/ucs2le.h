#pragma once

#include "converter.h"

#include <cstddef>
#include <string>

namespace zorva::plugin::ucs2le {

// UTF-8 text to UTF-16LE code units (2 bytes per character of the basic plane,
// a surrogate pair for others), without a byte-order mark. Each invalid byte
// of the input becomes U+FFFD. This is QString::fromUtf8's decoding, which
// also drops a UTF-8 byte-order mark at the very start of the input, so the
// output never begins with one. (Boost.Locale's utf_to_utf is not used: it
// silently skips invalid sequences, and can lose the valid text after them.)
std::string encode(const char* bytes, std::size_t length);
std::string encode(const std::string& bytes);

namespace converter {

using IConverter = plugin::converter::IConverter;

// convert = UTF-8 to UCS-2LE.
class Encoder : public IConverter {
public:
    std::string convert(const char* bytes, std::size_t length) const override;
};

}  // namespace converter

}  // namespace zorva::plugin::ucs2le
