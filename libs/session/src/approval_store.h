#pragma once

#include <boost/filesystem/path.hpp>

#include <map>
#include <string>

namespace zorva::plugin::approval_store {

// The user's answer per browser origin: true allows, false denies.
using Answers = std::map<std::string, bool>;

// The answers kept in the file; none when there is no file. A file that
// cannot be read or parsed raises, so that a fault never passes for "no
// answers" and gets overwritten.
Answers load(const boost::filesystem::path& file);

// Replaces the file as a whole (a temporary file renamed over it), readable
// and writable by the user alone: another local user must neither read which
// sites the user works with nor approve one.
void save(const boost::filesystem::path& file, const Answers& answers);

}  // namespace zorva::plugin::approval_store
