#include "ucs2le.h"

#include <QString>

#include <climits>
#include <stdexcept>

namespace zorva::plugin::ucs2le {

std::string encode(const char* bytes, std::size_t length) {
    // Qt 5 counts in int; payloads are capped far below this by the protocol.
    if (length > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("ucs2le::encode: input longer than 2 GiB");
    }
    const QString text = QString::fromUtf8(bytes, static_cast<int>(length));
    std::string out;
    out.resize(static_cast<std::size_t>(text.size()) * 2);
    // Written byte by byte, not copied from utf16(): the output is little-endian
    // whatever the host's byte order.
    char* o = out.data();
    for (const QChar c : text) {
        const ushort unit = c.unicode();
        *o++ = static_cast<char>(unit & 0xFF);
        *o++ = static_cast<char>(unit >> 8);
    }
    return out;
}

std::string encode(const std::string& bytes) { return encode(bytes.data(), bytes.size()); }

namespace converter {

std::string Encoder::convert(const char* bytes, std::size_t length) const {
    return encode(bytes, length);
}

}  // namespace converter

}  // namespace zorva::plugin::ucs2le
