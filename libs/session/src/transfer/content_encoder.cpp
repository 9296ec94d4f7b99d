#include "content_encoder.h"

#include "base64.h"

#include <map>

namespace zorva::plugin {

ContentEncoder::~ContentEncoder() = default;

namespace {

class BinaryContentEncoder : public ContentEncoder {
public:
    std::string name() const override { return binaryEncodingName; }
    std::string encode(const char* bytes, std::size_t length) const override {
        return std::string(bytes, length);
    }
    std::string decode(const char* text, std::size_t length) const override {
        return std::string(text, length);
    }
};

class Base64ContentEncoder : public ContentEncoder {
public:
    std::string name() const override { return "base64"; }
    std::string encode(const char* bytes, std::size_t length) const override {
        return base64::encode(bytes, length);
    }
    std::string decode(const char* text, std::size_t length) const override {
        return base64::decode(text, length);
    }
};

using Registry = std::map<std::string, ContentEncoderPtr>;

void add(Registry& registry, ContentEncoderPtr encoder) {
    const std::string name = encoder->name();
    registry.emplace(name, std::move(encoder));
}

// Built once, on first use, under thread-safe static initialisation; read-only
// afterwards. Each copy of the shared code (program, every module) has its own.
const Registry& registry() {
    static const Registry encoders = [] {
        Registry r;
        add(r, boost::make_shared<Base64ContentEncoder>());
        add(r, boost::make_shared<BinaryContentEncoder>());
        return r;
    }();
    return encoders;
}

}  // namespace

ContentEncoderPtr findContentEncoder(const char* name, std::size_t length) {
    if (length == 0) return boost::make_shared<BinaryContentEncoder>();
    const Registry& encoders = registry();
    const auto found = encoders.find(std::string(name, length));
    return found != encoders.end() ? found->second : ContentEncoderPtr();
}

ContentEncoderPtr findContentEncoder(const std::string& name) {
    return findContentEncoder(name.data(), name.size());
}

}  // namespace zorva::plugin
