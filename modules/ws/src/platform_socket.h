#pragma once

#include <boost/system/error_code.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

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

// Who holds the other end of a connected TCP socket on this machine: the user
// that the system's table of connections records for the peer's socket (on
// Linux the socket diagnostics of the kernel; on Windows the owning process
// of the TCP row, and that process's user). No id when the peer is not found
// there: it is on another machine, or it has closed its end already.
struct SocketPeer {
    std::optional<std::uint32_t> userId;
    // Whether that is the user this process runs as; false without an id.
    bool isThisUser = false;
};
SocketPeer socketPeer(int socketHandle);

}  // namespace zorva::plugin::platform
