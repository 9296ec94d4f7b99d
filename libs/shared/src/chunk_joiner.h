#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Joins the chunk files of one request, sorted by chunk number, into its
// payload. A run of three or more chunk files of one file's uuid is a file
// that travelled inside the payload: its first and last chunks hold its
// description, cut at "content", and the chunks between them its content.
// The content goes to a file of its own in the catalog, and the description
// in the payload points to it with the encoding "temp". The payload text is
// built in memory; file contents are streamed, one block at a time. A
// payload that would take more than `maxPayload` bytes of memory is refused
// with ApplicationException 20023 before anything is read: content that
// large belongs in an embedded file. The files named in `packed` hold the
// bytes their base64 text stands for; they join as that text would.
namespace zorva::plugin {
class RunningChecksums;
}

namespace zorva::plugin::chunk_joiner {

std::string join(const boost::filesystem::path& catalog,
                 const std::vector<boost::filesystem::path>& files,
                 const std::set<std::string>& packed, RunningChecksums& checksums,
                 std::uintmax_t maxPayload);

}  // namespace zorva::plugin::chunk_joiner
