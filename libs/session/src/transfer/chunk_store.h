#pragma once

#include <boost/filesystem/path.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "chunk_joiner.h"
#include "chunk_limits.h"
#include "message.h"
#include "running_checksum.h"

namespace zorva::plugin {

// Keeps the chunks of chunked requests on disk, verifies the running checksum
// of embedded files and joins the chunks into one message when the last one
// arrives. Embedded file contents are written to files of their own. Each
// store (one per connection) works in a directory of its own, within the
// limits of the configuration.
class ChunkStore {
public:
    ChunkStore();
    explicit ChunkStore(const ChunkLimits& limits);
    ~ChunkStore();
    ChunkStore(const ChunkStore&) = delete;
    ChunkStore& operator=(const ChunkStore&) = delete;

    // The message itself when it is not chunked, nothing while more chunks
    // are expected, the joined message when the last chunk completes it.
    format::MessagePtr join(const format::MessagePtr& message);

    // Removes the message's catalog in the background.
    void removeCatalog(const format::MessagePtr& message);

    // The directory of this store's catalogs, made on first use.
    const boost::filesystem::path& directory();

    // The directory all stores of all processes of the user live in.
    static const boost::filesystem::path& root();

private:
    using Clock = std::chrono::steady_clock;

    struct Transfer {
        std::map<std::string, chunk_joiner::StoredChunk> chunks;  // by chunk name
        // By uuid: where the file of its packed chunks ends. Packed chunks sent
        // again leave their earlier bytes in that file.
        std::map<std::string, std::uintmax_t> packedEnds;
        std::set<std::string> uuids;
        Clock::time_point lastUse;
    };

    Transfer& openTransfer(const std::string& id, const boost::filesystem::path& catalog);
    // `open` is null for a transfer that this chunk opens.
    void checkLimits(const Transfer* open, const std::string& chunkName,
                     const format::Message& message) const;
    void store(Transfer& transfer, const boost::filesystem::path& catalog,
               const std::string& chunkName, const format::Message& message);
    format::MessagePtr messageFromChunks(const format::MessagePtr& message,
                                         const boost::filesystem::path& catalog,
                                         const Transfer& transfer);
    void checkFreeSpace(bool opening);
    void dropIdleTransfers();
    void drop(const std::string& id);
    void dropAll();

    ChunkLimits limits_;
    boost::filesystem::path directory_;
    std::map<std::string, Transfer> transfers_;
    std::uintmax_t chunks_ = 0;
    std::uintmax_t bytes_ = 0;
    std::uintmax_t uncheckedBytes_ = 0;   // written since the free space was asked
    std::uintmax_t uncheckedBudget_ = 0;  // what may be written before it is asked again
    RunningChecksums checksums_;
};

}  // namespace zorva::plugin
