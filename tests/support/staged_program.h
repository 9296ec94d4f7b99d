#pragma once

#include "platform.h"
#include "temp_dir.h"

#include <boost/filesystem.hpp>
#include <boost/process.hpp>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

// The path registry puts its data next to the running program and reads the
// user's folders once per process, so test processes started side by side
// from the build tree would share one data directory. A test program calls
// runStaged from main: it runs the program again from a private tree (the
// program, hard-linked or copied, with the given files beside it; HOME and
// the XDG folders inside the tree), and removes the tree when the run ends.
namespace staged_program {

constexpr const char* treeVariable = "ZORVA_TEST_TREE";

// The private tree of the staged run; empty in the run that stages it.
inline boost::filesystem::path tree() {
    const char* value = std::getenv(treeVariable);
    return value ? boost::filesystem::path(value) : boost::filesystem::path();
}

inline int runStaged(int argc, char** argv, const std::map<std::string, std::string>& files) {
    namespace fs = boost::filesystem;
    namespace bp = boost::process;
    TempDir dir;
    // The program reports its own path with links resolved.
    const fs::path root = fs::canonical(dir.path());
    const fs::path self = zorva::plugin::platform::programLocation();
    const fs::path program = root / "bin" / self.filename();
    fs::create_directories(program.parent_path());
    fs::create_directories(root / "home/.local/share");
    fs::create_directories(root / "common");
    boost::system::error_code error;
    fs::create_hard_link(self, program, error);
    if (error) fs::copy_file(self, program);
    for (const auto& [name, text] : files) writeFile(program.parent_path() / name, text);

    bp::environment environment = boost::this_process::environment();
    environment[treeVariable] = root.string();
    environment["HOME"] = (root / "home").string();
    environment["XDG_DATA_HOME"] = (root / "home/.local/share").string();
    environment["XDG_DATA_DIRS"] = (root / "common").string();
    bp::child run(program, bp::args(std::vector<std::string>(argv + 1, argv + argc)), environment);
    run.wait();
    return run.exit_code();
}

}  // namespace staged_program
