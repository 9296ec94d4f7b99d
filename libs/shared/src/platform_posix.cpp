#include "platform.h"

#include "process_env.h"

#include <boost/dll/runtime_symbol_info.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include <malloc.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace zorva::plugin::platform {
namespace fs = boost::filesystem;

namespace {

// Folder paths from the environment are compared component by component with
// the program's path, so "/usr/share/" must become "/usr/share".
fs::path normalised(const fs::path& path) {
    fs::path result = path.lexically_normal();
    if (result.filename_is_dot()) result = result.parent_path();
    return result;
}

// A relative folder in an XDG variable is invalid and must be ignored.
std::optional<fs::path> absoluteFolder(const std::string& text) {
    if (text.empty() || text.front() != '/') return std::nullopt;
    return normalised(text);
}

std::optional<passwd> accountEntry(std::vector<char>& buffer) {
    const long sizeHint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    buffer.resize(sizeHint > 0 ? static_cast<std::size_t>(sizeHint) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return entry;
}

fs::path homeDir() {
    if (const auto home = process_env::get("HOME"); home && !home->empty()) return *home;
    std::vector<char> buffer;
    const auto entry = accountEntry(buffer);
    return entry && entry->pw_dir ? fs::path(entry->pw_dir) : fs::path();
}

std::optional<std::uint64_t> processIdOf(const fs::path& procEntry) {
    const std::string name = procEntry.filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoull(name);
}

// The ids of all processes, each with its parent id, from /proc/*/stat.
std::map<pid_t, pid_t> parentsByProcess() {
    std::map<pid_t, pid_t> parents;
    boost::system::error_code error;
    for (fs::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        const auto id = processIdOf(entry->path());
        if (!id) continue;
        std::ifstream stat((entry->path() / "stat").string());
        std::string line;
        if (!std::getline(stat, line)) continue;  // the process has ended meanwhile
        // The program name in parentheses may itself hold blanks and parentheses.
        const auto nameEnd = line.rfind(')');
        if (nameEnd == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + nameEnd + 1, " %c %d", &state, &parent) == 2)
            parents[static_cast<pid_t>(*id)] = static_cast<pid_t>(parent);
    }
    return parents;
}

std::set<pid_t> descendantsOf(pid_t root) {
    const auto parents = parentsByProcess();
    std::set<pid_t> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [child, parent] : parents)
            if (tree.count(parent) && tree.insert(child).second) grew = true;
    }
    tree.erase(root);
    return tree;
}

}  // namespace

fs::path programLocation() { return boost::dll::program_location(); }

fs::path userDataDir() {
    const auto configured = absoluteFolder(process_env::get("XDG_DATA_HOME").value_or(""));
    const fs::path home = homeDir();
    if (!configured && (home.empty() || !home.is_absolute())) return {};
    const fs::path dir = configured ? *configured : normalised(home / ".local" / "share");
    boost::system::error_code ignored;
    fs::create_directories(dir, ignored);
    return dir;
}

// Desktops and sandboxes may list folders that do not exist, even first.
fs::path commonDataDir() {
    std::istringstream dirs(process_env::get("XDG_DATA_DIRS").value_or(""));
    for (std::string entry; std::getline(dirs, entry, ':');) {
        const auto folder = absoluteFolder(entry);
        boost::system::error_code error;
        if (folder && fs::is_directory(*folder, error)) return *folder;
    }
    return "/usr/local/share";
}

bool isWritableDirectory(const fs::path& directory) {
    boost::system::error_code error;
    return fs::is_directory(directory, error) && !error &&
           ::access(directory.c_str(), W_OK | X_OK) == 0;
}

std::string userName() {
    if (auto name = process_env::get("USERNAME")) return *name;
    std::vector<char> buffer;
    const auto entry = accountEntry(buffer);
    return entry && entry->pw_name ? std::string(entry->pw_name) : std::string();
}

std::string computerName() {
    if (auto name = process_env::get("COMPUTERNAME")) return *name;
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
}

std::string userDomain() {
    if (auto domain = process_env::get("USERDOMAIN")) return *domain;
    char buffer[256] = {};
    if (::getdomainname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
}

std::uint64_t processId() {
    static const std::uint64_t id = static_cast<std::uint64_t>(::getpid());
    return id;
}

void releaseFreeMemory() { ::malloc_trim(0); }

void stopListening(int socketHandle) { ::shutdown(socketHandle, SHUT_RDWR); }

void killProcessTreeAndExit() {
    // Stop the whole tree before killing any of it: a killed parent's children
    // would be re-parented away from this process and escape the search.
    const pid_t self = ::getpid();
    std::set<pid_t> stopped;
    for (bool grew = true; grew;) {
        grew = false;
        for (const pid_t id : descendantsOf(self)) {
            if (!stopped.insert(id).second) continue;
            ::kill(id, SIGSTOP);
            grew = true;
        }
    }
    for (const pid_t id : stopped) ::kill(id, SIGKILL);
    ::_exit(0);
}

}  // namespace zorva::plugin::platform
