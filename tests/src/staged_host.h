#pragma once

// A private copy of the staged program directory, run as a user would run
// it: HOME and the XDG folders lie in the same private tree, the platform is
// headless. The tree is removed with the object.
//
// The program directory lies three levels below the tree's root, where a
// development tree keeps the token resources ("zorva_plugin/modules/tokens").

#include "temp_dir.h"

#include <boost/filesystem.hpp>
#include <boost/process.hpp>

#include <chrono>
#include <map>
#include <string>
#include <vector>

class StagedHost {
public:
    struct Run {
        int exitCode = -1;
        std::string out;  // standard output
        std::string log;  // standard error, where the console log goes

        bool logs(const std::string& text) const { return log.find(text) != std::string::npos; }
    };

    StagedHost() {
        namespace fs = boost::filesystem;
        for (const char* dir : {"home/.local/share", "common", "runtime", "opt/zorva"})
            fs::create_directories(root_ / dir);
        fs::permissions(root_ / "runtime", fs::owner_all);
        fs::create_directories(programDir() / "modules");
        const fs::path stage(STAGE_DIR);
        // Binaries are never written by the host: links save copying them.
        for (const char* binary :
             {"plugin", "libzorvaenv.so", "libzorvaprompt.so", "modules/libsystemmodule.so"})
            fs::create_hard_link(stage / binary, programDir() / binary);
        fs::create_hard_link(FAKE_NMH_LIBRARY, programDir() / "modules/libfakenmh.so");
        for (const char* file : {"config.json", "style.css", "localization.qm"})
            fs::copy_file(stage / file, programDir() / file);
    }

    const boost::filesystem::path& root() const { return root_; }
    boost::filesystem::path programDir() const { return root_ / "opt/zorva/host"; }
    // The data directory of a program directory without a branded name is
    // the program directory itself.
    boost::filesystem::path dataDir() const { return programDir(); }
    boost::filesystem::path tokenResourceDir(const std::string& token) const {
        return root_ / "zorva_plugin/modules/tokens" / token / "resource/windows/X86_32";
    }

    // `unset` names variables the program must not inherit, the platform's too.
    Run run(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& environment = {},
            const std::vector<std::string>& unset = {}) const {
        namespace bp = boost::process;
        const auto out = root_ / "stdout.txt";
        const auto err = root_ / "stderr.txt";
        bp::child child(programDir() / "plugin", bp::args(arguments),
                        this->environment(environment, unset), bp::start_dir(root_.string()),
                        bp::std_in<bp::null, bp::std_out> out.string(), bp::std_err > err.string());
        Run run;
        if (!child.wait_for(std::chrono::seconds(60))) {
            child.terminate();
            run.log = "the host did not end within 60 seconds\n";
        }
        run.exitCode = child.exit_code();
        run.out = readFile(out);
        run.log += readFile(err);
        return run;
    }

private:
    boost::process::environment environment(const std::map<std::string, std::string>& extra,
                                            const std::vector<std::string>& unset) const {
        auto environment = boost::this_process::environment();
        environment["HOME"] = (root_ / "home").string();
        environment["XDG_DATA_HOME"] = (root_ / "home/.local/share").string();
        environment["XDG_DATA_DIRS"] = (root_ / "common").string();
        environment["XDG_RUNTIME_DIR"] = (root_ / "runtime").string();
        environment["QT_QPA_PLATFORM"] = "offscreen";
        for (const auto& [name, value] : extra) environment[name] = value;
        for (const auto& name : unset) environment.erase(name);
        return environment;
    }

    TempDir dir_;
    // The program reports its own path with links resolved.
    boost::filesystem::path root_ = boost::filesystem::canonical(dir_.path());
};
