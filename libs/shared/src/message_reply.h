#pragma once

#include "message.h"

namespace zorva::plugin::format {

// A provisional reply to a request: its identity, routing and echoed meta,
// code "0", this host's identity and a route through this host.
MessagePtr replyFrom(const Message& request);

}  // namespace zorva::plugin::format
