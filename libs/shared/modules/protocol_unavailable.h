#pragma once

#include <boost/system/system_error.hpp>

namespace zorva::plugin::module {

// Raised by a protocol's run when it cannot serve at all, for instance when
// its port is taken: pages would talk to whoever holds it, so the host ends
// as a failure rather than as a protocol that went away. Crosses the plug-in
// boundary, so it keeps default visibility.
class ProtocolUnavailable : public boost::system::system_error {
public:
    explicit ProtocolUnavailable(const boost::system::system_error& cause)
        : boost::system::system_error(cause) {}
};

}  // namespace zorva::plugin::module
