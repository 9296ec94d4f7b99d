#pragma once

#include <string>

// The MD5 of the content of each embedded file as it travels in chunks, kept
// one chunk behind: the chunk fed last is held back, because the last chunk
// of a file carries the closing of its JSON description, not content. The
// table is one per process and shared by every connection thread.
namespace zorva::plugin::running_checksum {

// The first text fed for a uuid (the opening of the file's description) only
// creates its entry; every later one adds the text held back before it.
void feed(const std::string& uuid, const std::string& text);

// The lowercase hexadecimal MD5 of what was added for the uuid, or the empty
// text when nothing was fed for it; forgets the uuid.
std::string take(const std::string& uuid);

}  // namespace zorva::plugin::running_checksum
