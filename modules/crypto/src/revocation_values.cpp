#include "revocation_values.h"

#include "der.h"
#include "exception.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

// id-ri-ocsp-response, 1.3.6.1.5.5.7.16.2, as a DER OBJECT IDENTIFIER.
const Bytes ocspFormat{0x06, 0x08, 0x2b, 0x06, 0x01, 0x05, 0x05, 0x07, 0x10, 0x02};
constexpr unsigned char crlsTag = 0xa1;  // [1] IMPLICIT, constructed
constexpr unsigned char otherTag = 0xa1;

[[noreturn]] void malformed() {
    PLUGIN_THROW(plugin::exception::ApplicationException(ApplicationCode::RequestFormat)
                     << plugin::exception::Message_("the signature is not a CMS SignedData in DER"),
                 "revocationValues");
}

// One DER element inside bytes[begin, end).
struct Element {
    std::size_t start = 0, contents = 0, end = 0;
    unsigned char tag = 0;
};

// Nothing for what is not DER: OpenSSL also reads BER, whose indefinite
// lengths this reader does not follow.
std::optional<Element> elementAt(const Bytes& bytes, std::size_t position, std::size_t limit) {
    if (position + 2 > limit) return std::nullopt;
    Element element{position, position + 2, 0, bytes[position]};
    std::size_t length = bytes[position + 1];
    if (length & 0x80) {
        const std::size_t count = length & 0x7f;
        if (count == 0 || count > 4 || element.contents + count > limit) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = length << 8 | bytes[element.contents + i];
        element.contents += count;
    }
    if (length > limit - element.contents) return std::nullopt;
    element.end = element.contents + length;
    return element;
}

std::optional<std::vector<Element>> elementsOf(const Bytes& bytes, const Element& outer) {
    std::vector<Element> inner;
    for (std::size_t position = outer.contents; position < outer.end;) {
        const auto element = elementAt(bytes, position, outer.end);
        if (!element) return std::nullopt;
        position = inner.emplace_back(*element).end;
    }
    return inner;
}

Bytes wrapped(unsigned char tag, const Bytes& contents) {
    Bytes out{tag};
    appendLength(out, contents.size());
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

std::optional<Layout> layoutOf(const Bytes& signature) {
    const auto contentInfo = elementAt(signature, 0, signature.size());
    const auto parts = contentInfo ? elementsOf(signature, *contentInfo) : std::nullopt;
    if (!parts || contentInfo->tag != 0x30 || parts->size() != 2 || (*parts)[1].tag != 0xa0)
        return std::nullopt;
    const Element explicitTag = (*parts)[1];
    const auto signedData = elementAt(signature, explicitTag.contents, explicitTag.end);
    if (!signedData || signedData->tag != 0x30) return std::nullopt;
    return Layout{*contentInfo, explicitTag, *signedData};
}

}  // namespace

Bytes withOcspResponses(const Bytes& signature, const std::vector<Bytes>& responses) {
    if (responses.empty()) return signature;
    const auto layout = layoutOf(signature);
    const auto found = layout ? elementsOf(signature, layout->signedData) : std::nullopt;
    if (!found || found->size() < 4 || found->front().tag != 0x02) malformed();
    const std::vector<Element>& fields = *found;
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
    Bytes info = slice(signature, layout->contentInfo.contents, layout->explicitTag.start);
    const Bytes explicitTag = wrapped(0xa0, explicitContents);
    info.insert(info.end(), explicitTag.begin(), explicitTag.end());
    return wrapped(0x30, info);
}

std::vector<Bytes> ocspResponses(const Bytes& signature) {
    const auto layout = layoutOf(signature);
    const auto fields = layout ? elementsOf(signature, layout->signedData) : std::nullopt;
    std::vector<Bytes> responses;
    for (const auto& field : fields.value_or(std::vector<Element>{})) {
        const auto choices = field.tag == crlsTag ? elementsOf(signature, field) : std::nullopt;
        for (const auto& choice : choices.value_or(std::vector<Element>{})) {
            const auto parts =
                choice.tag == otherTag ? elementsOf(signature, choice) : std::nullopt;
            if (parts && parts->size() == 2 &&
                slice(signature, (*parts)[0].start, (*parts)[0].end) == ocspFormat)
                responses.push_back(slice(signature, (*parts)[1].start, (*parts)[1].end));
        }
    }
    return responses;
}

}  // namespace zorva::plugin::crypto
