#include "process_env.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <system_error>

namespace zorva::plugin::process_env {
namespace {

constexpr const char* slotPrefix = "__ex_";

std::mutex& environmentMutex() {
    static std::mutex mutex;
    return mutex;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// glibc never frees a value that setenv replaces, and the slot changes with
// every failed request: its variables are kept here, where a replaced value
// is freed.
bool inSlot(const std::string& name) { return startsWith(name, slotPrefix); }

std::map<std::string, std::string>& slot() {
    static std::map<std::string, std::string> variables;
    return variables;
}

}  // namespace

std::optional<std::string> get(const std::string& name) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    if (inSlot(name)) {
        const auto found = slot().find(name);
        return found == slot().end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

void set(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    if (inSlot(name)) {
        slot()[name] = value;
        return;
    }
    if (::setenv(name.c_str(), value.c_str(), 1) != 0)
        throw std::system_error(errno, std::generic_category(), "setenv() failed");
}

void unset(const std::string& name) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    if (inSlot(name)) {
        slot().erase(name);
        return;
    }
    if (::unsetenv(name.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "unsetenv() failed");
}

void replaceSlot(const std::map<std::string, std::string>& variables) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    // Most requests follow one that succeeded: nothing changes then.
    if (slot() != variables) slot() = variables;
}

}  // namespace zorva::plugin::process_env
