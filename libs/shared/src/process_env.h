#pragma once

#include <map>
#include <optional>
#include <string>

// Access to the process environment under one process-wide lock.
//
// glibc does not serialise getenv against setenv, and the program and each
// plug-in carry their own copy of the shared code, so the lock lives in this
// small shared library that every copy links: there is one per process.
// Variables whose names begin with "__ex_" (the last-error slot) live in this
// library rather than in the environment, so that their replaced values are
// freed; they read and write the same way.
namespace zorva::plugin::process_env {

std::optional<std::string> get(const std::string& name);
void set(const std::string& name, const std::string& value);
void unset(const std::string& name);
// Makes the last-error slot hold exactly these variables, in one step.
void replaceSlot(const std::map<std::string, std::string>& variables);

}  // namespace zorva::plugin::process_env
