#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "background_job.h"
#include "evp_digest.h"

namespace zorva::plugin {

// The MD5 of the content of each embedded file as it travels in chunks, kept
// one chunk behind: the chunk fed last is held back, because the last chunk
// of a file carries the closing of its JSON description, not content. Each
// chunk store has its own table, so a transfer that never ends costs memory
// only until its store drops it, and no page can feed another page's file.
//
// A text held back is added on a thread of the table's own while its owner
// stores the next chunk: hashing a megabyte takes longer than receiving it.
class RunningChecksums {
public:
    // The first text fed for a uuid (the opening of the file's description)
    // only creates its entry; every later one adds the text held back before.
    // The content of a file whose opening names no "hash" is not added up:
    // pages that send the file's SHA-256 instead send none, and adding up
    // their content cost a third of the host's time per byte. Its closing may
    // still name one: then the join adds up the content from its chunks.
    void feed(const std::string& uuid, const std::string& text);

    // The lowercase hexadecimal MD5 of what was added for the uuid, the empty
    // text when nothing was fed for it, or none when its content was not
    // added up; forgets the uuid.
    std::optional<std::string> take(const std::string& uuid);

    void forget(const std::string& uuid);

    // The size of the texts held back or being added, which stay in memory.
    std::uintmax_t pendingBytes() const { return pendingBytes_; }

private:
    struct Entry {
        Entry();

        std::string pending;
        EvpDigest md5;
        bool adding = false;
    };

    // Returns once the text in hand is added, and gives back its share.
    void finishAdding();

    std::map<std::string, Entry> entries_;
    // The text being added; touched only by the background job meanwhile.
    std::string adding_;
    std::uintmax_t pendingBytes_ = 0;
    std::uintmax_t addingBytes_ = 0;
    // Declared last, so that it ends before the entries its job reads.
    BackgroundJob job_;
};

}  // namespace zorva::plugin
