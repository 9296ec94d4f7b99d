#pragma once

#include <boost/system/error_code.hpp>

#include <chrono>
#include <cstddef>

// The connected-socket section of the platform layer: blocking transfers
// whose waits the kernel bounds, so a server thread never polls per read.
namespace zorva::plugin::platform {

struct SocketBuffer {
    void* data;
    std::size_t size;
};

struct ConstSocketBuffer {
    const void* data;
    std::size_t size;
};

// Bounds every later blocking receive and send on the socket to the given
// time (at least a millisecond: the system reads zero as "wait for ever").
// Errors are ignored; the next transfer reports them.
void setSocketWaitLimit(int socketHandle, std::chrono::milliseconds limit);

// One receive into the buffers, in order; blocks until some bytes came, the
// peer ended the stream (0 bytes, no error) or the wait limit ran out (the
// error is would_block). Errors are the system's codes.
std::size_t receiveSome(int socketHandle, const SocketBuffer* buffers, std::size_t count,
                        boost::system::error_code& error);

// One send of the buffers, in order, as one call: a frame's header and payload
// leave together. Never raises a signal for a peer that went away.
std::size_t sendSome(int socketHandle, const ConstSocketBuffer* buffers, std::size_t count,
                     boost::system::error_code& error);

}  // namespace zorva::plugin::platform
