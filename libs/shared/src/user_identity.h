#pragma once

#include "json_binding.h"

#include <string>

namespace zorva::plugin {

// Who runs the host and where: sent with every reply as "meta"."userAgent".
struct UserIdentity {
    std::string domain;
    std::string user;
    std::string pc;
    std::string process;

    // Qualifies user and pc by the domain, unless the domain is empty or the
    // platform's "(none)".
    static UserIdentity fromNames(std::string domain, std::string user, std::string pc,
                                  std::string process);
    // The names of this process's user, machine and program file.
    static UserIdentity current();

    // The domain is part of user and pc, so it is not written.
    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("user", user) & json_dto::mandatory("pc", pc) &
            json_dto::mandatory("process", process);
    }
};

// The identity of this process as compact JSON text, built on first use and
// kept for the life of the process.
const std::string& userAgentText();

}  // namespace zorva::plugin
