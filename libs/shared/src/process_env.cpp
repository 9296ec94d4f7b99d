#include "process_env.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

extern char** environ;

namespace zorva::plugin::process_env {
namespace {

std::mutex& environmentMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::optional<std::string> get(const std::string& name) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

void set(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    if (::setenv(name.c_str(), value.c_str(), 1) != 0)
        throw std::system_error(errno, std::generic_category(), "setenv() failed");
}

void unset(const std::string& name) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    if (::unsetenv(name.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "unsetenv() failed");
}

std::vector<std::string> namesWithPrefix(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    std::vector<std::string> names;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        std::string name = equals ? std::string(*entry, equals - *entry) : std::string(*entry);
        if (name.rfind(prefix, 0) == 0)
            names.push_back(std::move(name));
    }
    return names;
}

}  // namespace zorva::plugin::process_env
