#pragma once

#include <boost/filesystem/path.hpp>

// Where the chunk stores of this process keep their files. Every host
// process of the user (one per browser tab, a request run, the WebSocket
// host) shares the root: each process works in a directory of its own,
// marked by a lock file held while the process lives, and each store in a
// directory of its own inside it, so no process or connection removes or
// reads what another one still needs.
namespace zorva::plugin::chunk_area {

// The shared root: the temporary directory joined with the configuration's
// category.
const boost::filesystem::path& root();

// A new directory for one store, named so that no page can guess it. The
// first call of the process makes the process's directory and removes the
// directories of processes that are no longer alive. Raises
// ApplicationCode::RequestFormat when a directory on the way is not the user's
// own.
boost::filesystem::path newStoreDirectory();

// Raises ApplicationCode::RequestFormat, and logs it, unless the directory is the
// user's own: made now, or a real directory (not a link) owned by this user.
void requirePrivateDirectory(const boost::filesystem::path& directory, const char* operation);

}  // namespace zorva::plugin::chunk_area
