#pragma once

#include <boost/filesystem.hpp>

#include <fstream>
#include <iterator>
#include <string>

// A private directory for one test, removed with everything in it.
class TempDir {
public:
    TempDir()
        : path_(boost::filesystem::temp_directory_path() /
                boost::filesystem::unique_path("zorva-test-%%%%-%%%%-%%%%")) {
        boost::filesystem::create_directories(path_);
    }
    ~TempDir() {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const boost::filesystem::path& path() const { return path_; }
    boost::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    boost::filesystem::path path_;
};

inline std::string readFile(const boost::filesystem::path& path) {
    std::ifstream in(path.string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const boost::filesystem::path& path, const std::string& content) {
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out << content;
}
