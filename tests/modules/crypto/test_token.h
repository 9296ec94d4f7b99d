#pragma once

// A private copy of the SoftHSM2 token that make_token.sh laid out once for
// the whole test run (TOKEN_DIR), so each case starts from the same PIN
// state; SOFTHSM2_CONF points at the copy while the object lives.

#include "evp_digest.h"
#include "scoped_environment.h"
#include "temp_dir.h"

#include <openssl/evp.h>

#include <boost/filesystem.hpp>

#include <string>

class TestToken {
public:
    TestToken() {
        namespace fs = boost::filesystem;
        copyDirectory(fs::path(TOKEN_DIR) / "tokens", dir_ / "tokens");
        writeFile(dir_ / "softhsm2.conf", "directories.tokendir = " + (dir_ / "tokens").string() +
                                              "\nobjectstore.backend = file\nlog.level = ERROR\n");
        environment_.set("SOFTHSM2_CONF", (dir_ / "softhsm2.conf").string());
    }

    // The files make_token.sh wrote: "<name>.pem", "<name>.pub.pem", "ca.pem".
    static boost::filesystem::path file(const std::string& name) {
        return boost::filesystem::path(TOKEN_DIR) / name;
    }

    // The id the module gives the certificate of a key, by its subject name.
    static std::string certificateId(const std::string& name) {
        const std::string der = readFile(file(name + ".der"));
        zorva::plugin::EvpDigest digest(EVP_sha256());
        digest.addData(der.data(), der.size());
        return digest.hexResult();
    }

    const TempDir& dir() const { return dir_; }

private:
    static void copyDirectory(const boost::filesystem::path& from,
                              const boost::filesystem::path& to) {
        namespace fs = boost::filesystem;
        fs::create_directories(to);
        for (const auto& entry : fs::directory_iterator(from)) {
            if (fs::is_directory(entry.path()))
                copyDirectory(entry.path(), to / entry.path().filename());
            else
                fs::copy_file(entry.path(), to / entry.path().filename());
        }
    }

    TempDir dir_;
    ScopedEnvironment environment_;
};
