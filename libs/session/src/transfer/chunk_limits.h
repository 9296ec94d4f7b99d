#pragma once

#include <chrono>
#include <cstdint>

// What one connection's chunk store may hold. Any page may open connections
// and send chunks that never complete: without bounds one page could fill
// the memory and the disk of the user's machine.
namespace zorva::plugin {

struct ChunkLimits {
    std::uintmax_t transfers = 16;      // catalogs open at once
    std::uintmax_t chunks = 100000;     // chunk files stored at once
    std::uintmax_t bytes = 2147483648;  // bytes of chunk data stored at once
    std::uintmax_t memory = 67108864;   // chunk text held for running checksums
    std::uintmax_t payload = 33554432;  // a joined payload, built in memory
    std::chrono::seconds idle{600};     // a transfer without a chunk this long is dropped
    // What the volume must keep free; not configurable, the same for every
    // connection.
    std::uintmax_t freeSpace = 3221225472;
};

// The limits of the current configuration: entries of its "meta" whose
// format has the type "core" and the category "chunks." followed by the
// limit's name ("chunks.transfers", "chunks.idle" in seconds, ...), with a
// decimal number as data. A limit without an entry keeps its default. Read
// once per process.
const ChunkLimits& configuredChunkLimits();

}  // namespace zorva::plugin
