#include "revocation_values.h"

#include "exception.h"

#include <algorithm>
#include <cstddef>

namespace zorva::plugin::crypto {
namespace {

// id-ri-ocsp-response, 1.3.6.1.5.5.7.16.2, as a DER OBJECT IDENTIFIER.
const Bytes ocspFormat{0x06, 0x08, 0x2b, 0x06, 0x01, 0x05, 0x05, 0x07, 0x10, 0x02};
constexpr unsigned char crlsTag = 0xa1;  // [1] IMPLICIT, constructed
constexpr unsigned char otherTag = 0xa1;

[[noreturn]] void malformed() {
    PLUGIN_THROW(plugin::exception::ApplicationException(20015)
                     << plugin::exception::Message_("the signature is not a CMS SignedData in DER"),
                 "revocationValues");
}

// One DER element inside bytes[begin, end).
struct Element {
    std::size_t start = 0, contents = 0, end = 0;
    unsigned char tag = 0;
};

Element elementAt(const Bytes& bytes, std::size_t position, std::size_t limit) {
    if (position + 2 > limit) malformed();
    Element element{position, position + 2, 0, bytes[position]};
    std::size_t length = bytes[position + 1];
    if (length & 0x80) {
        const std::size_t count = length & 0x7f;
        if (count == 0 || count > 4 || element.contents + count > limit) malformed();
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = length << 8 | bytes[element.contents + i];
        element.contents += count;
    }
    if (length > limit - element.contents) malformed();
    element.end = element.contents + length;
    return element;
}

std::vector<Element> elementsOf(const Bytes& bytes, const Element& outer) {
    std::vector<Element> inner;
    for (std::size_t position = outer.contents; position < outer.end;)
        position = inner.emplace_back(elementAt(bytes, position, outer.end)).end;
    return inner;
}

Bytes wrapped(unsigned char tag, const Bytes& contents) {
    Bytes out{tag};
    std::size_t length = contents.size();
    if (length < 0x80) {
        out.push_back(static_cast<unsigned char>(length));
    } else {
        Bytes digits;
        for (; length; length >>= 8) digits.insert(digits.begin(), length & 0xff);
        out.push_back(static_cast<unsigned char>(0x80 | digits.size()));
        out.insert(out.end(), digits.begin(), digits.end());
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + from, bytes.begin() + to);
}

// ContentInfo { contentType, [0] EXPLICIT SignedData }: the SignedData.
struct Layout {
    Element contentInfo, explicitTag, signedData;
};

Layout layoutOf(const Bytes& signature) {
    Layout layout;
    layout.contentInfo = elementAt(signature, 0, signature.size());
    const auto parts = elementsOf(signature, layout.contentInfo);
    if (layout.contentInfo.tag != 0x30 || parts.size() != 2 || parts[1].tag != 0xa0) malformed();
    layout.explicitTag = parts[1];
    layout.signedData = elementAt(signature, layout.explicitTag.contents, layout.explicitTag.end);
    if (layout.signedData.tag != 0x30) malformed();
    return layout;
}

}  // namespace

Bytes withOcspResponses(const Bytes& signature, const std::vector<Bytes>& responses) {
    if (responses.empty()) return signature;
    const Layout layout = layoutOf(signature);
    const auto fields = elementsOf(signature, layout.signedData);
    if (fields.size() < 4 || fields.front().tag != 0x02) malformed();
    Bytes added;
    for (const auto& response : responses) {
        Bytes other = ocspFormat;
        other.insert(other.end(), response.begin(), response.end());
        const Bytes choice = wrapped(otherTag, other);
        added.insert(added.end(), choice.begin(), choice.end());
    }
    Bytes contents{0x02, 0x01, 0x05};
    bool placed = false;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const Element& field = fields[i];
        const bool last = i + 1 == fields.size();
        if (field.tag == crlsTag) {
            Bytes crls = slice(signature, field.contents, field.end);
            crls.insert(crls.end(), added.begin(), added.end());
            const Bytes field1 = wrapped(crlsTag, crls);
            contents.insert(contents.end(), field1.begin(), field1.end());
            placed = true;
            continue;
        }
        // The signer infos come last; the revocation choices go just before.
        if (last && !placed) {
            const Bytes field1 = wrapped(crlsTag, added);
            contents.insert(contents.end(), field1.begin(), field1.end());
        }
        contents.insert(contents.end(), signature.begin() + field.start,
                        signature.begin() + field.end);
    }
    Bytes explicitContents = wrapped(0x30, contents);
    Bytes info = slice(signature, layout.contentInfo.contents, layout.explicitTag.start);
    const Bytes explicitTag = wrapped(0xa0, explicitContents);
    info.insert(info.end(), explicitTag.begin(), explicitTag.end());
    return wrapped(0x30, info);
}

std::vector<Bytes> ocspResponses(const Bytes& signature) {
    const Layout layout = layoutOf(signature);
    std::vector<Bytes> responses;
    for (const auto& field : elementsOf(signature, layout.signedData)) {
        if (field.tag != crlsTag) continue;
        for (const auto& choice : elementsOf(signature, field)) {
            if (choice.tag != otherTag) continue;
            const auto parts = elementsOf(signature, choice);
            if (parts.size() == 2 && slice(signature, parts[0].start, parts[0].end) == ocspFormat)
                responses.push_back(slice(signature, parts[1].start, parts[1].end));
        }
    }
    return responses;
}

}  // namespace zorva::plugin::crypto
