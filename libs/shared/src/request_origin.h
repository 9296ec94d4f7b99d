#pragma once

#include <string>

#include "message.h"

namespace zorva::plugin::format {

// The reserved "meta"."data" entry that names who sent a request: the page's
// origin for a browser, "file://" and the path for a request file, empty for
// a program. Only the receiving side writes it; modules read it from here.
extern const char* const originKey;

// Records the origin of a request, overwriting whatever its sender put there.
void stampOrigin(Message& request, const std::string& origin);

// The recorded origin; empty when none was recorded.
std::string originOf(const Message& request);

// The origin of the connection that the calling thread serves, as its
// protocol recorded it (empty for a program). A thread serves one connection
// at a time, so it outlives no connection it was not recorded for.
void setConnectionOrigin(const std::string& origin);
const std::string& connectionOrigin();

}  // namespace zorva::plugin::format
