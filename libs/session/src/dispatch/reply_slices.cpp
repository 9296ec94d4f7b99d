#include "reply_slices.h"

#include <algorithm>

namespace zorva::plugin::reply_slices {

namespace {

bool continuesSequence(unsigned char c) { return (c & 0xC0) == 0x80; }

// The end of the longest slice from `start` that keeps both bounds.
std::size_t sliceEnd(const std::string& text, std::size_t start, std::size_t maxBytes,
                     std::size_t maxEncoded) {
    std::size_t end = start;
    std::size_t encoded = 0;
    while (end < text.size() && end - start < maxBytes) {
        const std::size_t size = encodedSize(static_cast<unsigned char>(text[end]));
        if (encoded + size > maxEncoded) break;
        encoded += size;
        ++end;
    }
    std::size_t cut = end;
    while (cut > start && cut < text.size() &&
           continuesSequence(static_cast<unsigned char>(text[cut])))
        --cut;
    // Bounds smaller than one character still move on.
    return cut > start ? cut : std::max(end, start + 1);
}

}  // namespace

std::size_t encodedSize(unsigned char c) {
    switch (c) {
        case '"':
        case '\\':
        case '\b':
        case '\f':
        case '\n':
        case '\r':
        case '\t':
            return 2;
        default:
            return c < 0x20 ? 6 : 1;
    }
}

std::vector<std::string> cut(const std::string& text, std::size_t maxBytes,
                             std::size_t maxEncoded) {
    std::vector<std::string> slices;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = sliceEnd(text, start, maxBytes, maxEncoded);
        slices.push_back(text.substr(start, end - start));
        start = end;
    }
    return slices;
}

}  // namespace zorva::plugin::reply_slices
