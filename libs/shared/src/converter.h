#pragma once

#include <cstddef>
#include <string>

namespace zorva::plugin::converter {

// A conversion of a whole input at once, as the converting stream filter
// applies it: base64 decoding and the UCS-2LE encoding are both one.
class IConverter {
public:
    virtual ~IConverter() = default;
    virtual std::string convert(const char* bytes, std::size_t length) const = 0;
};

}  // namespace zorva::plugin::converter
