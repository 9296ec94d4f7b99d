#pragma once

namespace zorva::plugin {

// The number of worker threads the host's global pool and the WebSocket
// module's connection pool use: always 4, whatever the hardware offers. The
// first call in each copy of the shared code logs both figures.
int threadCountHint();

}  // namespace zorva::plugin
