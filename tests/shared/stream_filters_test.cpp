#include "stream_filters.h"

#include "base64.h"
#include "ucs2le.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <boost/ref.hpp>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

namespace fs = boost::filesystem;
namespace io = boost::iostreams;
using zorva::plugin::iostream::filter::CharRemover;
using zorva::plugin::iostream::filter::StreamInterrupter;
using zorva::plugin::iostreams::Filter;

namespace {

using Base64DecodeFilter = Filter<zorva::plugin::base64::converter::Decoder>;
using Ucs2leEncodeFilter = Filter<zorva::plugin::ucs2le::converter::Encoder>;

std::string readAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reverses its input, so only a conversion of the whole content gives the
// whole content reversed. Records its calls; filters are copied when pushed, so the
// record is shared.
struct Calls {
    int count = 0;
    std::string lastInput;
};

struct RecordingConverter {
    std::shared_ptr<Calls> calls = std::make_shared<Calls>();
    std::string convert(const char* bytes, std::size_t length) const {
        ++calls->count;
        calls->lastInput.assign(bytes, length);
        return std::string(calls->lastInput.rbegin(), calls->lastInput.rend());
    }
};

// A temporary directory that the test removes.
class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / fs::unique_path("stream-filters-%%%%-%%%%")) {
        fs::create_directories(path_);
    }
    ~TempDir() {
        boost::system::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace

TEST(Filter, DecodesBase64FromAStringStream) {
    std::istringstream source("Zm9vYmFy");
    io::filtering_istream in;
    in.push(Base64DecodeFilter());
    in.push(source);

    EXPECT_EQ(readAll(in), "foobar");
}

TEST(Filter, DecodesBase64FromAFileStream) {
    TempDir dir;
    const fs::path file = dir.path() / "payload.b64";
    // Larger than many upstream blocks, and not a multiple of one: a conversion
    // must never see a block boundary.
    std::string bytes;
    for (int i = 0; i < 100000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 256));
    {
        std::ofstream out(file.string(), std::ios::binary);
        out << zorva::plugin::base64::encode(bytes);
    }
    std::ifstream source(file.string(), std::ios::binary);
    io::filtering_istream in;
    in.push(Base64DecodeFilter());
    in.push(source);

    EXPECT_EQ(readAll(in), bytes);
}

TEST(Filter, EncodesUtf8AsUcs2le) {
    std::istringstream source("A\xD0\x96");
    io::filtering_istream in;
    in.push(Ucs2leEncodeFilter());
    in.push(source);

    EXPECT_EQ(readAll(in), std::string("\x41\x00\x16\x04", 4));
}

TEST(Filter, EmptyStreamDeliversNothingAndConvertsOnce) {
    RecordingConverter converter;
    std::istringstream source("");
    io::filtering_istream in;
    in.push(Filter<RecordingConverter>(converter));
    in.push(source);

    char c;
    EXPECT_FALSE(in.get(c));
    EXPECT_EQ(converter.calls->count, 1);
    EXPECT_EQ(converter.calls->lastInput, "");
}

TEST(Filter, ConvertsTheWholeContentInOneCall) {
    RecordingConverter converter;
    std::string content;
    for (int i = 0; i < 10000; ++i) content.push_back(static_cast<char>('a' + i % 26));
    std::istringstream source(content);
    io::filtering_istream in;
    in.push(Filter<RecordingConverter>(converter));
    in.push(source);

    // Small reads: the filter hands out its output piece by piece.
    std::string out;
    char buffer[7];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) out.append(buffer, in.gcount());

    EXPECT_EQ(converter.calls->count, 1);
    EXPECT_EQ(out, std::string(content.rbegin(), content.rend()));
}

TEST(Filter, DecodingErrorReachesTheReader) {
    // Through the stream buffer, and through istream::read with badbit in the
    // exception mask (set after the chain is complete: an incomplete chain is bad).
    std::istringstream source("Zm9v\nYmFy");
    io::filtering_istream in;
    in.push(Base64DecodeFilter());
    in.push(source);
    EXPECT_THROW(readAll(in), zorva::plugin::base64::DecodeError);

    std::istringstream again("Zm9v\nYmFy");
    io::filtering_istream checked;
    checked.push(Base64DecodeFilter());
    checked.push(again);
    checked.exceptions(std::ios::badbit);
    char buffer[16];
    EXPECT_THROW(checked.read(buffer, sizeof buffer), zorva::plugin::base64::DecodeError);
}

TEST(CharRemover, DropsEveryCharacterInTheSet) {
    std::istringstream source("Zm9v\r\nYm\rFy\n");
    io::filtering_istream in;
    in.push(CharRemover("\r\n"));
    in.push(source);

    EXPECT_EQ(readAll(in), "Zm9vYmFy");
}

TEST(CharRemover, ABlockOfRemovedCharactersIsNotTheEnd) {
    // Far more than one buffer of removed characters before the content.
    std::istringstream source(std::string(100000, '\n') + "tail");
    io::filtering_istream in;
    in.push(CharRemover("\n"));
    in.push(source);

    EXPECT_EQ(readAll(in), "tail");
}

TEST(StreamInterrupter, EndsTheStreamAtTheFirstStopCharacter) {
    struct Case {
        std::string input;
        std::string output;
        bool interrupted;
    };
    const Case cases[] = {
        {"QUI=QUJD", "QUI", true},
        {"=QUJD", "", true},
        {"QUJD", "QUJD", false},
        {"", "", false},
        {std::string(100000, 'A') + "=B", std::string(100000, 'A'), true},
    };
    for (const auto& c : cases) {
        StreamInterrupter interrupter("=");
        std::istringstream source(c.input);
        {
            io::filtering_istream in;
            in.push(boost::ref(interrupter));
            in.push(source);
            EXPECT_EQ(readAll(in), c.output) << c.input.substr(0, 20);
        }
        EXPECT_EQ(interrupter.interrupted(), c.interrupted) << c.input.substr(0, 20);
    }
}

TEST(StreamInterrupter, StopStateBelongsToOneStreamUntilReset) {
    StreamInterrupter interrupter("=");
    std::istringstream first("QUI=");
    std::istringstream second("QUJD");
    {
        io::filtering_istream in;
        in.push(boost::ref(interrupter));
        in.push(first);
        EXPECT_EQ(readAll(in), "QUI");
    }
    {
        // Still interrupted: a reused interrupter ends the next stream at once.
        io::filtering_istream in;
        in.push(boost::ref(interrupter));
        in.push(second);
        EXPECT_EQ(readAll(in), "");
    }
    interrupter.reset();
    second.clear();
    second.seekg(0);
    io::filtering_istream in;
    in.push(boost::ref(interrupter));
    in.push(second);
    EXPECT_EQ(readAll(in), "QUJD");
}

TEST(StreamFilters, DecodingPipelineOfTheDescription) {
    // Reader <- interrupter("=") <- remover(extra) <- text, then the decoder filter.
    std::istringstream source("Zm9v\r\nYg==\r\nQUJD");
    io::filtering_istream in;
    in.push(Base64DecodeFilter());
    in.push(StreamInterrupter("="));
    in.push(CharRemover("\r\n"));
    in.push(source);

    EXPECT_EQ(readAll(in), "foob");
}
