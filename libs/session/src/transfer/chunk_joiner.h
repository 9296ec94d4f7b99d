#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Joins the stored chunks of one request, sorted by chunk number, into its
// payload. A run of three or more chunks of one file's uuid is a file that
// travelled inside the payload: its first and last chunks hold its
// description, cut at "content", and the chunks between them its content.
// The content goes to a file of its own in the catalog, and the description
// in the payload points to it with the encoding "temp". The payload text is
// built in memory; file contents are streamed, one block at a time. A
// payload that would take more than `maxPayload` bytes of memory is refused
// with ApplicationCode::ReplyTooLarge before anything is read: content that
// large belongs in an embedded file.
namespace zorva::plugin {
class RunningChecksums;
}

namespace zorva::plugin::chunk_joiner {

// Where a chunk's bytes are: a file of its own, or a region of the file that
// gathers the packed chunks of one uuid.
struct StoredChunk {
    std::string name;  // <chunk>.<chunks>.<uuid or "data">
    boost::filesystem::path file;
    std::uintmax_t offset = 0;
    std::uintmax_t size = 0;
    // The bytes the chunk's base64 text stands for; it joins as that text would.
    bool packed = false;
};

std::string join(const boost::filesystem::path& catalog, const std::vector<StoredChunk>& chunks,
                 RunningChecksums& checksums, std::uintmax_t maxPayload);

}  // namespace zorva::plugin::chunk_joiner
