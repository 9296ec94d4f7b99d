#include "platform_socket.h"

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>
#include <sys/uio.h>

namespace zorva::plugin::platform {
namespace {

// What one call hands the kernel; a longer sequence goes in several calls.
constexpr std::size_t maxBuffers = 64;

template <class Buffer>
msghdr messageOf(const Buffer* buffers, std::size_t count, iovec (&vectors)[maxBuffers]) {
    msghdr message{};
    message.msg_iovlen = std::min(count, maxBuffers);
    for (std::size_t i = 0; i < message.msg_iovlen; ++i)
        vectors[i] = iovec{const_cast<void*>(buffers[i].data), buffers[i].size};
    message.msg_iov = vectors;
    return message;
}

// A signal that lands during the wait restarts it: the wait limit then runs
// afresh, which only ever lengthens it.
template <class Transfer>
std::size_t retryingInterrupts(boost::system::error_code& error, Transfer transfer) {
    for (;;) {
        const ssize_t done = transfer();
        if (done >= 0) {
            error = {};
            return static_cast<std::size_t>(done);
        }
        if (errno != EINTR) {
            error.assign(errno, boost::system::system_category());
            return 0;
        }
    }
}

}  // namespace

void setSocketWaitLimit(int socketHandle, std::chrono::milliseconds limit) {
    const long long milliseconds = std::max<long long>(limit.count(), 1);
    const timeval wait{static_cast<time_t>(milliseconds / 1000),
                       static_cast<suseconds_t>(milliseconds % 1000 * 1000)};
    ::setsockopt(socketHandle, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(socketHandle, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
}

std::size_t receiveSome(int socketHandle, const SocketBuffer* buffers, std::size_t count,
                        boost::system::error_code& error) {
    iovec vectors[maxBuffers];
    msghdr message = messageOf(buffers, count, vectors);
    return retryingInterrupts(error, [&] { return ::recvmsg(socketHandle, &message, 0); });
}

std::size_t sendSome(int socketHandle, const ConstSocketBuffer* buffers, std::size_t count,
                     boost::system::error_code& error) {
    iovec vectors[maxBuffers];
    const msghdr message = messageOf(buffers, count, vectors);
    return retryingInterrupts(error,
                              [&] { return ::sendmsg(socketHandle, &message, MSG_NOSIGNAL); });
}

}  // namespace zorva::plugin::platform
