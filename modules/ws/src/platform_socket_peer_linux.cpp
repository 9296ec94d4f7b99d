#include "platform_socket.h"

#include <array>
#include <cstring>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zorva::plugin::platform {
namespace {

struct Ends {
    sockaddr_storage local{};
    sockaddr_storage peer{};
};

bool endsOf(int socketHandle, Ends& ends) {
    socklen_t localLength = sizeof ends.local;
    socklen_t peerLength = sizeof ends.peer;
    return ::getsockname(socketHandle, reinterpret_cast<sockaddr*>(&ends.local), &localLength) ==
               0 &&
           ::getpeername(socketHandle, reinterpret_cast<sockaddr*>(&ends.peer), &peerLength) == 0 &&
           ends.local.ss_family == ends.peer.ss_family &&
           (ends.local.ss_family == AF_INET || ends.local.ss_family == AF_INET6);
}

// Port and address of one end, as the kernel's table holds them (network order).
void copyEnd(const sockaddr_storage& end, __be16& port, __be32 (&address)[4]) {
    if (end.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(end);
        port = v4.sin_port;
        std::memcpy(address, &v4.sin_addr, sizeof v4.sin_addr);
    } else {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(end);
        port = v6.sin6_port;
        std::memcpy(address, &v6.sin6_addr, sizeof v6.sin6_addr);
    }
}

// The peer's socket is the one whose own end is our socket's far end, and
// whose far end is ours.
inet_diag_sockid peerSocketId(const Ends& ends) {
    inet_diag_sockid id{};
    copyEnd(ends.peer, id.idiag_sport, id.idiag_src);
    copyEnd(ends.local, id.idiag_dport, id.idiag_dst);
    id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    return id;
}

// The kernel's lookup falls back to a listening socket on the port when no
// connection matches; only the exact connection counts.
bool sameConnection(const inet_diag_sockid& asked, const inet_diag_sockid& found) {
    return asked.idiag_sport == found.idiag_sport && asked.idiag_dport == found.idiag_dport &&
           std::memcmp(asked.idiag_src, found.idiag_src, sizeof asked.idiag_src) == 0 &&
           std::memcmp(asked.idiag_dst, found.idiag_dst, sizeof asked.idiag_dst) == 0;
}

class DiagSocket {
public:
    DiagSocket() : handle_(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {}
    ~DiagSocket() {
        if (handle_ >= 0) ::close(handle_);
    }
    DiagSocket(const DiagSocket&) = delete;
    DiagSocket& operator=(const DiagSocket&) = delete;

    // The owner of one TCP socket, looked up by its ends.
    std::optional<std::uint32_t> ownerOf(int family, const inet_diag_sockid& id) {
        if (handle_ < 0 || !ask(family, id)) return std::nullopt;
        alignas(nlmsghdr) std::array<char, 8192> answer;
        const ssize_t received = ::recv(handle_, answer.data(), answer.size(), 0);
        if (received <= 0) return std::nullopt;
        auto length = static_cast<unsigned>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(answer.data()); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
                header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                return std::nullopt;
            const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            if (sameConnection(id, found->id)) return found->idiag_uid;
        }
        return std::nullopt;
    }

private:
    bool ask(int family, const inet_diag_sockid& id) {
        struct {
            nlmsghdr header;
            inet_diag_req_v2 query;
        } request{};
        request.header.nlmsg_len = sizeof request;
        request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        request.header.nlmsg_flags = NLM_F_REQUEST;
        request.query.sdiag_family = static_cast<__u8>(family);
        request.query.sdiag_protocol = IPPROTO_TCP;
        request.query.idiag_states = ~0u;
        request.query.id = id;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        return ::sendto(handle_, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                        sizeof kernel) == static_cast<ssize_t>(sizeof request);
    }

    const int handle_;
};

}  // namespace

SocketPeer socketPeer(int socketHandle) {
    SocketPeer peer;
    Ends ends;
    if (!endsOf(socketHandle, ends)) return peer;
    peer.userId = DiagSocket().ownerOf(ends.local.ss_family, peerSocketId(ends));
    peer.isThisUser = peer.userId && *peer.userId == ::geteuid();
    return peer;
}

}  // namespace zorva::plugin::platform
