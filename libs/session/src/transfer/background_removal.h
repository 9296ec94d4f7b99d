#pragma once

#include <boost/filesystem/path.hpp>

// Removes directories on detached threads of their own. A removal may still
// run when new work wants the same place, so that work waits for it first:
// otherwise a removal started earlier could delete what is written later.
namespace zorva::plugin::background_removal {

// Starts removing the path recursively when it exists; errors are ignored and
// the caller does not wait.
void start(const boost::filesystem::path& path);

// Returns once no removal of the path or of a directory above it is running.
void waitFor(const boost::filesystem::path& path);

}  // namespace zorva::plugin::background_removal
