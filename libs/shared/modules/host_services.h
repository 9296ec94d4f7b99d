#pragma once

#include "message.h"

#include <map>
#include <set>
#include <string>

namespace zorva::plugin::module {

class IHandler;

// What the host offers the modules it binds. A module reaches the host only
// through this table, which lives in the program, so a module links nothing
// of the program and never sees how the host keeps its modules.
class HostServices {
public:
    using HandlerSet = std::set<IHandler*>;
    // The version of each loaded module, by module type.
    using ModuleVersions = std::map<std::string, std::string>;

    virtual ~HostServices() = default;

    // The handlers of the bound modules.
    virtual HandlerSet handlers() const = 0;
    virtual ModuleVersions moduleVersions() const = 0;

    // Raises SiteNotApproved unless the request's origin may use the host. A program
    // (no origin) always may; a browser origin once the user or the
    // administrator approved it, or only to read the version, so that a page
    // can tell that the host runs. Asks the user about an origin met for the
    // first time, holding only the calling connection.
    virtual void admit(const format::Message& request) = 0;
    // Whether a browser origin has the user's or the administrator's
    // approval; an empty origin (a program) always has.
    virtual bool isApproved(const std::string& origin) = 0;
};

}  // namespace zorva::plugin::module
