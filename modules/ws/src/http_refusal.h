#pragma once

#include "timed_socket.h"

#include <boost/beast/http/status.hpp>

namespace zorva::plugin::module {

// Answers a WebSocket upgrade request with the status and no upgrade, and
// asks the peer to close.
void refuseUpgrade(TimedSocket& socket, boost::beast::http::status status, unsigned version);

}  // namespace zorva::plugin::module
