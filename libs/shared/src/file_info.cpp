#include "file_info.h"

#include "base64.h"
#include "exception.h"
#include "logging.h"
#include "stream_filters.h"
#include "ucs2le.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <algorithm>
#include <array>
#include <sstream>
#include <utility>
#include <vector>

namespace zorva::plugin {

namespace fs = boost::filesystem;

namespace {

constexpr std::streamsize lookAheadSize = 10;
constexpr std::streamsize minLookAhead = 4;
constexpr std::size_t readBlockSize = 64 * 1024;

// Holds the stream a converting stream reads from; as a base it is destroyed
// after the filter chain that refers to it.
struct SourceHolder {
    std::unique_ptr<std::istream> source;
};

template <class Converter>
class ConvertingStream : private SourceHolder, public boost::iostreams::filtering_istream {
public:
    explicit ConvertingStream(std::unique_ptr<std::istream> upstream)
        : SourceHolder{std::move(upstream)} {
        push(iostreams::Filter<Converter>());
        push(*source);
        // Errors of the conversion reach the reader instead of just ending the
        // stream. Set once the chain is complete: until then the stream is bad.
        exceptions(std::ios::badbit);
    }
};

// Padding counts as base64 too: the base64 text of a file shorter than eight
// bytes ends within the ten bytes looked at, and it is no malformed data.
bool isBase64OrLineBreak(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=' || c == '\r' || c == '\n';
}

// Reads up to ten bytes and puts the source back where it was.
bool startsLikeBase64(std::istream& source) {
    const std::istream::pos_type start = source.tellg();
    std::array<char, lookAheadSize> head;
    source.read(head.data(), lookAheadSize);
    const std::streamsize got = source.gcount();
    source.clear();
    source.seekg(start);
    return got >= minLookAhead &&
           std::all_of(head.begin(), head.begin() + got, isBase64OrLineBreak);
}

std::unique_ptr<std::istream> openSource(const FileInfo& info) {
    if (info.path.empty()) return std::make_unique<std::istringstream>(info.content);
    auto file = std::make_unique<fs::ifstream>(fs::path(info.path), std::ios::binary);
    // Its size may have come from "content": the file itself can still be missing.
    if (!file->is_open())
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::Cancelled),
                     "toRaw");
    file->exceptions(std::ios::badbit);
    return file;
}

// The filter converts everything on its first read: reading one byte ahead
// turns bad base64 into a failure of toRaw instead of one in the caller's read.
std::unique_ptr<std::istream> decodingBase64(std::unique_ptr<std::istream> source) {
    if (!startsLikeBase64(*source)) {
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::MalformedData),
                     "toRaw");
    }
    try {
        auto decoded =
            std::make_unique<ConvertingStream<base64::converter::Decoder>>(std::move(source));
        decoded->peek();
        return decoded;
    } catch (const base64::DecodeError& error) {
        PLUGIN_LOG(warning) << "FileInfo: toRaw: base64 decode error: " << error.what();
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::MalformedData),
                     "toRaw");
    }
}

}  // namespace

std::uint64_t fileSize(const std::string& path, const std::string& content) {
    if (!content.empty()) return content.size();
    const fs::path file(path);
    boost::system::error_code error;
    if (!fs::exists(file, error)) return 0;
    // A directory opens on POSIX, but it is no file: the platform the system
    // was designed on refuses to open it.
    fs::ifstream in;
    if (!fs::is_directory(file, error)) in.open(file, std::ios::binary | std::ios::ate);
    const std::istream::pos_type end = in.is_open() ? in.tellg() : std::istream::pos_type(-1);
    if (end == std::istream::pos_type(-1)) {
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::Cancelled),
                     "size");
    }
    return static_cast<std::uint64_t>(end);
}

std::unique_ptr<std::istream> toRaw(const FileInfo& info) {
    if (fileSize(info.path, info.content) == 0) {
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::DataNotFound),
                     "toRaw");
    }
    std::unique_ptr<std::istream> source = openSource(info);
    if (info.contentEncoding == "base64") source = decodingBase64(std::move(source));
    if (info.contentFormat == "ucs2le") {
        source = std::make_unique<ConvertingStream<ucs2le::converter::Encoder>>(std::move(source));
    }
    return source;
}

std::string rawBytes(const FileInfo& info) {
    const std::unique_ptr<std::istream> stream = toRaw(info);
    // Decoding streams cannot seek, so the size is not known ahead.
    std::string bytes;
    std::vector<char> block(readBlockSize);
    while (stream->read(block.data(), static_cast<std::streamsize>(block.size())) ||
           stream->gcount() > 0) {
        bytes.append(block.data(), static_cast<std::size_t>(stream->gcount()));
    }
    return bytes;
}

}  // namespace zorva::plugin
