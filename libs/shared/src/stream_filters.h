#pragma once

#include "char_set.h"

#include <boost/iostreams/concepts.hpp>
#include <boost/iostreams/operations.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <ios>
#include <string>
#include <utility>

namespace zorva::plugin {

namespace iostreams {

// Turns a stream into the converted form of its whole content: the first read
// collects everything upstream and converts it in one call, so a conversion
// never sees a block boundary. T is a converter with
// convert(const char*, std::size_t) returning std::string (base64::converter::
// Decoder, ucs2le::converter::Encoder). Holds the input and the output in
// memory: for payload-sized data, not for unbounded streams.
template <class T>
class Filter : public boost::iostreams::multichar_input_filter {
public:
    Filter() = default;
    explicit Filter(T converter) : converter_(std::move(converter)) {}

    template <class Source>
    std::streamsize read(Source& source, char* buffer, std::streamsize n) {
        if (!converted_) {
            collect(source);
            output_ = converter_.convert(input_.data(), input_.size());
            input_ = std::string();
            position_ = 0;
            converted_ = true;
        }
        const auto remaining = static_cast<std::streamsize>(output_.size()) - position_;
        if (remaining <= 0) return -1;
        const std::streamsize count = std::min(n, remaining);
        std::memcpy(buffer, output_.data() + position_, static_cast<std::size_t>(count));
        position_ += count;
        return count;
    }

    // The stream closes its filters when it is reset or destroyed; a closed
    // filter starts over on its next read.
    template <class Source>
    void close(Source&) {
        input_ = std::string();
        output_ = std::string();
        position_ = 0;
        converted_ = false;
    }

private:
    static constexpr std::streamsize blockSize = 4096;

    template <class Source>
    void collect(Source& source) {
        std::array<char, blockSize> block;
        for (;;) {
            const std::streamsize got = boost::iostreams::read(source, block.data(), blockSize);
            if (got < 0) break;
            input_.append(block.data(), static_cast<std::size_t>(got));
        }
    }

    std::string input_;
    std::string output_;
    std::int64_t position_ = 0;
    bool converted_ = false;
    T converter_;
};

}  // namespace iostreams

namespace iostream::filter {

// Drops every byte that is in the set.
class CharRemover : public boost::iostreams::multichar_input_filter {
public:
    explicit CharRemover(const std::string& chars) : chars_(chars) {}

    template <class Source>
    std::streamsize read(Source& source, char* buffer, std::streamsize n) {
        // A block made only of removed bytes is not the end: the framework takes
        // a read of 0 for end of data, so read on until something survives.
        for (;;) {
            const std::streamsize got = boost::iostreams::read(source, buffer, n);
            if (got < 0) return -1;
            char* kept =
                std::remove_if(buffer, buffer + got, [this](char c) { return chars_.contains(c); });
            const std::streamsize count = kept - buffer;
            if (count > 0 || got == 0) return count;
        }
    }

private:
    CharSet chars_;
};

// Passes bytes up to the first stop byte and then ends the stream; the stop
// byte and everything after it are never delivered. Push it by reference
// (boost::ref) to look at interrupted() afterwards. The stop state belongs to
// one stream: a new stream needs a new interrupter, or reset().
class StreamInterrupter : public boost::iostreams::multichar_input_filter {
public:
    explicit StreamInterrupter(const std::string& stops) : stops_(stops) {}

    template <class Source>
    std::streamsize read(Source& source, char* buffer, std::streamsize n) {
        if (interrupted_) return -1;
        const std::streamsize got = boost::iostreams::read(source, buffer, n);
        if (got < 0) return -1;
        const char* stop =
            std::find_if(buffer, buffer + got, [this](char c) { return stops_.contains(c); });
        const std::streamsize count = stop - buffer;
        if (count == got) return count;
        interrupted_ = true;
        // Nothing before the stop byte: the end of data, not an empty read.
        return count > 0 ? count : -1;
    }

    bool interrupted() const { return interrupted_; }
    void reset() { interrupted_ = false; }

private:
    CharSet stops_;
    bool interrupted_ = false;
};

}  // namespace iostream::filter

}  // namespace zorva::plugin
