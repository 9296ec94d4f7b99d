#include "base64_stream_decoder.h"

#include "base64.h"

#include <algorithm>
#include <cstring>

namespace zorva::plugin::base64 {

namespace {

constexpr std::size_t groupSize = 4;

}  // namespace

void StreamDecoder::write(const char* text, std::size_t length) {
    if (stopped_ || length == 0) return;
    if (const void* stop = std::memchr(text, '=', length)) {
        length = static_cast<const char*>(stop) - text;
        stopped_ = true;
    }
    if (!carry_.empty()) {
        const std::size_t taken = std::min(groupSize - carry_.size(), length);
        carry_.append(text, taken);
        text += taken;
        length -= taken;
        if (carry_.size() < groupSize) return;
        decodeToOutput(carry_.data(), carry_.size());
        carry_.clear();
    }
    const std::size_t whole = length - length % groupSize;
    decodeToOutput(text, whole);
    carry_.assign(text + whole, length - whole);
}

void StreamDecoder::writeDecoded(const char* bytes, std::size_t length) {
    if (stopped_ || length == 0) return;
    if (!carry_.empty()) {
        std::string text;
        encodeTo(bytes, length, text);
        write(text.data(), text.size());
        return;
    }
    out_.write(bytes, static_cast<std::streamsize>(length));
    written_ += length;
}

void StreamDecoder::finish() {
    decodeToOutput(carry_.data(), carry_.size());
    carry_.clear();
}

void StreamDecoder::decodeToOutput(const char* text, std::size_t length) {
    decodeTo(text, length, bytes_);
    out_.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    written_ += bytes_.size();
}

}  // namespace zorva::plugin::base64
