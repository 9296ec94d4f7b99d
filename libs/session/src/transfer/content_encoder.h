#pragma once

#include "message.h"

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <string>
#include <utility>

namespace zorva::plugin {

// A named codec for a transfer encoding. Modules work on plain bytes: the
// message handler decodes a request's payload before a module sees it and
// encodes the module's result back for the reply.
class ContentEncoder {
public:
    virtual ~ContentEncoder();
    virtual std::string name() const = 0;
    virtual std::string encode(const char* bytes, std::size_t length) const = 0;
    // The "base64" encoder raises base64::DecodeError.
    virtual std::string decode(const char* text, std::size_t length) const = 0;
};

using ContentEncoderPtr = boost::shared_ptr<ContentEncoder>;

// The name of the default (pass-through) encoding.
inline constexpr const char* binaryEncodingName = "binary";

// Empty name: a new "binary" encoder. A registered name ("base64", "binary";
// exact, case-sensitive): the registered encoder. Any other name: an empty
// pointer.
ContentEncoderPtr findContentEncoder(const char* name, std::size_t length);
ContentEncoderPtr findContentEncoder(const std::string& name);

// Where a record type keeps the three fields an adapter works on. Specialised
// for each record type that an adapter is instantiated for.
template <class Record>
struct ContentEncoderFields;

template <>
struct ContentEncoderFields<format::Message> {
    // "meta"."content"."transferEncoding"
    static std::string& encoding(format::Message& m) { return m.meta.content.transferEncoding; }
    // "method"."data"
    static std::string& data(format::Message& m) { return m.method.data; }
    // "method"."result"
    static std::string& result(format::Message& m) { return m.method.result; }
};

// Applies one encoder to a record: decodes a request's data to plain bytes,
// encodes a reply's result back into the encoder's encoding.
template <class Record>
class ContentEncoderAdapter {
public:
    using Ptr = boost::shared_ptr<ContentEncoderAdapter>;
    using Fields = ContentEncoderFields<Record>;

    // No encoder of that name gives no adapter (an empty pointer); the message
    // handler reports that as UnsupportedConversion.
    static Ptr create(const std::string& encodingName) {
        ContentEncoderPtr encoder = findContentEncoder(encodingName);
        if (!encoder) return Ptr();
        return boost::make_shared<ContentEncoderAdapter>(std::move(encoder));
    }

    explicit ContentEncoderAdapter(ContentEncoderPtr encoder) : encoder_(std::move(encoder)) {}

    const ContentEncoderPtr& encoder() const { return encoder_; }

    // Before the module runs: data in any encoding but "binary" is decoded by
    // this adapter's encoder and the record is marked "binary".
    void decodeRequest(Record& request) const {
        std::string& encoding = Fields::encoding(request);
        if (encoding == binaryEncodingName) return;
        std::string& data = Fields::data(request);
        data = encoder_->decode(data.data(), data.size());
        encoding = binaryEncodingName;
    }

    // After the module answered without error: the result is encoded into this
    // adapter's encoding unless the reply already says that encoding.
    void encodeReply(Record& reply) const {
        const std::string name = encoder_->name();
        std::string& encoding = Fields::encoding(reply);
        if (encoding == name) return;
        std::string& result = Fields::result(reply);
        result = encoder_->encode(result.data(), result.size());
        encoding = name;
    }

private:
    ContentEncoderPtr encoder_;
};

using MessageContentEncoderAdapter = ContentEncoderAdapter<format::Message>;

}  // namespace zorva::plugin
