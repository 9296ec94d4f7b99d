#include "file_info.h"

#include "exception.h"
#include "log_capture.h"
#include "temp_dir.h"

#include <boost/exception/get_error_info.hpp>

#include <string>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::FileInfo;
using zorva::plugin::fileSize;
using zorva::plugin::rawBytes;
using zorva::plugin::toRaw;
using zorva::plugin::exception::ApplicationException;

constexpr const char* noFile = nullptr;
constexpr const char* decodeWarning = "FileInfo: toRaw: base64 decode error: ";

struct Case {
    const char* name;
    const char* fileContent;  // noFile: no file at the path
    std::string content;
    const char* encoding;
    const char* format;
};

// A case with file content names a file of the test's directory.
FileInfo describe(const TempDir& dir, const Case& c) {
    FileInfo info;
    if (c.fileContent != noFile) {
        info.path = (dir / "file").string();
        writeFile(info.path, c.fileContent);
    }
    info.content = c.content;
    info.contentEncoding = c.encoding;
    info.contentFormat = c.format;
    return info;
}

}  // namespace

TEST(FileInfo, FileSizeComesFromContentElseFromTheFile) {
    TempDir dir;
    writeFile(dir / "five", "12345");

    EXPECT_EQ(fileSize((dir / "five").string(), "abc"), 3u);
    EXPECT_EQ(fileSize((dir / "five").string(), ""), 5u);
    EXPECT_EQ(fileSize((dir / "missing").string(), ""), 0u);
    EXPECT_EQ(fileSize("", ""), 0u);
}

TEST(FileInfo, FileSizeOfAPathThatCannotBeOpenedFails) {
    TempDir dir;
    try {
        fileSize(dir.path().string(), "");
        FAIL() << "no exception";
    } catch (const ApplicationException& error) {
        EXPECT_EQ(error.code().value(), 20003);
        EXPECT_STREQ(*boost::get_error_info<boost::throw_function>(error), "size");
    }
}

TEST(FileInfo, RawBytesFollowTheDescription) {
    const struct {
        Case c;
        std::string expected;
    } cases[] = {
        {{"inline text", noFile, "hello", "", ""}, "hello"},
        {{"inline base64", noFile, "aGVsbG8=", "base64", ""}, "hello"},
        {{"padded base64 of one byte", noFile, "QQ==", "base64", ""}, "A"},
        {{"size from content, bytes from file", "from the file", "x", "", ""}, "from the file"},
        {{"base64 file", "aGVsbG8=", "", "base64", ""}, "hello"},
        {{"ucs2le text", noFile, "AB", "", "ucs2le"}, std::string("A\0B\0", 4)},
        {{"ucs2le cyrillic", noFile, "\xD0\x96", "", "ucs2le"}, "\x16\x04"},
        {{"base64 then ucs2le", noFile, "QUI=", "base64", "ucs2le"}, std::string("A\0B\0", 4)},
        {{"temp file unchanged", "aGVsbG8=", "", "temp", ""}, "aGVsbG8="},
    };
    for (const auto& [c, expected] : cases) {
        TempDir dir;
        const FileInfo info = describe(dir, c);

        EXPECT_EQ(rawBytes(info), expected) << c.name;
    }
}

TEST(FileInfo, FailuresCarryTheirCodesAndOperations) {
    const struct {
        Case c;
        int code;
        const char* operation;
        bool warned;
    } cases[] = {
        {{"no content and no file", noFile, "", "", ""}, 20006, "toRaw", false},
        {{"empty file", "", "", "", ""}, 20006, "toRaw", false},
        {{"three base64 characters", noFile, "QUJ", "base64", ""}, 20022, "toRaw", false},
        {{"blank in the first bytes", noFile, "QUJD QUJD", "base64", ""}, 20022, "toRaw", false},
        {{"line feed passes the look-ahead only", noFile, "\nQUJD", "base64", ""},
         20022,
         "toRaw",
         true},
        {{"line break in a base64 file", "aGVs\r\nbG8=", "", "base64", ""}, 20022, "toRaw", true},
        {{"bad character after the look-ahead", noFile, "QUJDQUJDQUJD*", "base64", ""},
         20022,
         "toRaw",
         true},
    };
    for (const auto& [c, code, operation, warned] : cases) {
        TempDir dir;
        const FileInfo info = describe(dir, c);
        LogCapture log;

        try {
            toRaw(info);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const ApplicationException& error) {
            EXPECT_EQ(error.code().value(), code) << c.name;
            EXPECT_STREQ(*boost::get_error_info<boost::throw_function>(error), operation) << c.name;
        }
        EXPECT_EQ(log.texts(decodeWarning).size(), warned ? 1u : 0u) << c.name;
    }
}

TEST(FileInfo, ContentWithAMissingFileFailsInsteadOfGivingNothing) {
    TempDir dir;
    FileInfo info;
    info.content = "x";
    info.path = (dir / "missing").string();

    try {
        toRaw(info);
        FAIL() << "no exception";
    } catch (const ApplicationException& error) {
        EXPECT_EQ(error.code().value(), 20003);
        EXPECT_STREQ(*boost::get_error_info<boost::throw_function>(error), "toRaw");
    }
}
