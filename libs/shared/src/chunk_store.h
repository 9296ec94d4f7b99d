#pragma once

#include <boost/filesystem/path.hpp>

#include <set>

#include "message.h"

namespace zorva::plugin {

// Keeps the chunks of chunked requests on disk, verifies the running checksum
// of embedded files and joins the chunks into one message when the last one
// arrives. Embedded file contents are written to files of their own.
class ChunkStore {
public:
    ChunkStore();
    ~ChunkStore();
    ChunkStore(const ChunkStore&) = delete;
    ChunkStore& operator=(const ChunkStore&) = delete;

    // The message itself when it is not chunked, nothing while more chunks
    // are expected, the joined message when the last chunk completes it.
    format::MessagePtr join(const format::MessagePtr& message);

    // Removes the message's catalog in the background.
    void removeCatalog(const format::MessagePtr& message);

    // The directory all catalogs live in.
    static const boost::filesystem::path& root();

private:
    void checkFreeSpace();
    // The whole root when no other store of the process is live, else only
    // the catalogs of this store; `closing` when this store ends.
    void removeFiles(bool closing);

    std::set<boost::filesystem::path> catalogs_;
};

}  // namespace zorva::plugin
