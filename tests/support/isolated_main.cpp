// The main of test programs whose cases each need a process and an install of
// their own: the session, the selected protocol and the handler table are one
// per process. Every selected case runs in a staged run of its own
// (staged_program.h), also when the program runs outside ctest; the case lays
// out its install with private_install.h.

#include <gtest/gtest.h>

#include "staged_program.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

// GoogleTest's wildcards: "*" any run of characters, "?" one character.
bool matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*')
        return matches(pattern + 1, name) || (*name != '\0' && matches(pattern, name + 1));
    return *name != '\0' && (*pattern == '?' || *pattern == *name) &&
           matches(pattern + 1, name + 1);
}

bool matchesAny(const std::string& patterns, const std::string& name) {
    std::istringstream list(patterns);
    for (std::string pattern; std::getline(list, pattern, ':');)
        if (matches(pattern.c_str(), name.c_str())) return true;
    return false;
}

// "positive:patterns-negative:patterns", as --gtest_filter takes it.
bool selected(const std::string& filter, const std::string& name) {
    const auto dash = filter.find('-');
    const std::string positive = filter.substr(0, dash);
    const std::string negative = dash == std::string::npos ? "" : filter.substr(dash + 1);
    return matchesAny(positive.empty() ? "*" : positive, name) && !matchesAny(negative, name);
}

std::vector<std::string> selectedCases() {
    const std::string filter = GTEST_FLAG_GET(filter);
    const auto& unit = *testing::UnitTest::GetInstance();
    std::vector<std::string> names;
    for (int i = 0; i < unit.total_test_suite_count(); ++i) {
        const auto& suite = *unit.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            const std::string name = std::string(suite.name()) + "." + suite.GetTestInfo(j)->name();
            if (selected(filter, name)) names.push_back(name);
        }
    }
    return names;
}

int runStaged(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    return staged_program::runStaged(static_cast<int>(argv.size()), argv.data(), {});
}

}  // namespace

int main(int argc, char** argv) {
    if (!staged_program::tree().empty()) {
        testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        if (std::string(argv[i]).rfind("--gtest_filter=", 0) != 0) arguments.push_back(argv[i]);
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

    int failed = 0;
    for (const auto& name : selectedCases()) {
        std::vector<std::string> caseArguments = arguments;
        caseArguments.push_back("--gtest_filter=" + name);
        if (runStaged(caseArguments) != 0) ++failed;
    }
    return failed == 0 ? 0 : 1;
}
