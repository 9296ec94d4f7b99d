#pragma once

#include "message.h"

#include <string>

namespace zorva::plugin::crypto {

// The web origin the transport recorded for a request ("meta"."data"
// "origin"); empty for a request from the command line.
std::string requestOrigin(const format::Message& request);

}  // namespace zorva::plugin::crypto
