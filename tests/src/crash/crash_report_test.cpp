#include "crash_report.h"

#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace report = zorva::plugin::crash_report;
using zorva::plugin::platform::crash::CodeLocation;
using zorva::plugin::platform::crash::Fault;

std::string format(const Fault& fault, const CodeLocation* location = nullptr) {
    char text[4096];
    return std::string(text, report::format(fault, location, text, sizeof text));
}

TEST(CrashReport, CodeLineCarriesNameAndOnlyAccessViolationItsParameters) {
    const struct {
        std::uint32_t code;
        std::size_t parameterCount;
        const char* line;
    } cases[] = {
        {0xC0000005, 2,
         "\r\nEXCEPTION CODE: 0xC0000005 ACCESS_VIOLATION (READ AT 0x00000000DEADBEEF)\r\n"
         "ADD PARAMETERS: 0x0000000000000000, 0x00000000DEADBEEF\r\n\r\nTHREAD ID: "},
        {0xC0000005, 0, "\r\nEXCEPTION CODE: 0xC0000005 ACCESS_VIOLATION\r\nTHREAD ID: "},
        {0xC0000006, 2, "\r\nEXCEPTION CODE: 0xC0000006 IN_PAGE_ERROR\r\nTHREAD ID: "},
        {0xC0000094, 0, "\r\nEXCEPTION CODE: 0xC0000094 INTEGER_DIVIDE_BY_ZERO\r\nTHREAD ID: "},
        {0x12345678, 0, "\r\nEXCEPTION CODE: 0x12345678 \r\nTHREAD ID: "},
    };
    for (const auto& c : cases) {
        Fault fault{};
        fault.code = c.code;
        fault.parameterCount = c.parameterCount;
        fault.parameters[1] = 0xDEADBEEF;

        const std::string text = format(fault);

        EXPECT_NE(text.find(c.line), std::string::npos) << text;
    }
}

TEST(CrashReport, AccessViolationListsAtMostFifteenParameters) {
    Fault fault{};
    fault.code = 0xC0000005;
    fault.parameterCount = 20;
    std::ostringstream listed;
    listed << "(WRITE TO 0x0000000000000002)\r\nADD PARAMETERS: " << std::hex << std::uppercase
           << std::setfill('0');
    for (std::uint64_t index = 0; index < Fault::maxParameters; ++index) {
        fault.parameters[index] = index + 1;
        listed << (index ? ", 0x" : "0x") << std::setw(16) << index + 1;
    }
    listed << "\r\n\r\nTHREAD ID: ";

    EXPECT_NE(format(fault).find(listed.str()), std::string::npos) << format(fault);
}

TEST(CrashReport, FaultAddressIsFollowedByItsLocationWhenKnown) {
    Fault fault{};
    fault.address = 0x2349;
    CodeLocation location{4, 0x349, "/opt/zorva/plugin"};

    EXPECT_NE(
        format(fault, &location)
            .find("\r\nFAULT ADDRESS : 0x0000000000002349 4:00000349    /opt/zorva/plugin\r\n"),
        std::string::npos);
    EXPECT_NE(format(fault).find("\r\nFAULT ADDRESS : 0x0000000000002349 \r\n"), std::string::npos);
}

TEST(CrashReport, ReportLongerThanTheBufferIsCutAtItsEnd) {
    char text[200];
    std::memset(text, 'x', sizeof text);

    const std::size_t size = report::format(Fault{}, nullptr, text, 100);

    EXPECT_EQ(size, 100u);
    EXPECT_EQ(std::string(text + 100, 100), std::string(100, 'x'));
}

}  // namespace
