#pragma once

#include "process_env.h"

#include <map>
#include <optional>
#include <string>

// Sets or unsets process environment variables for one test and puts the
// values they had before back when it goes out of scope.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) apply(name, value);
    }

    // An empty optional unsets the variable.
    void set(const std::string& name, const std::optional<std::string>& value) {
        saved_.emplace(name, zorva::plugin::process_env::get(name));
        apply(name, value);
    }

private:
    static void apply(const std::string& name, const std::optional<std::string>& value) {
        if (value)
            zorva::plugin::process_env::set(name, *value);
        else
            zorva::plugin::process_env::unset(name);
    }

    std::map<std::string, std::optional<std::string>> saved_;
};
