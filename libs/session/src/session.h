#pragma once

#include <memory>
#include <set>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include "config.h"
#include "file_description.h"
#include "message.h"

namespace zorva::plugin {

class ModuleLoader;
class OriginApprovals;

namespace module {
class IHandler;
class IProtocol;
}  // namespace module

// The process-wide object that ties the host together: it owns the module
// loader and the host configuration, binds the modules and selects the
// protocol. Modules reach it only through its virtual operations (the table
// lives in the program), so a module links nothing of the program.
class Session : public boost::enable_shared_from_this<Session> {
public:
    using ProtocolSet = std::set<module::IProtocol*>;
    using HandlerSet = std::set<module::IHandler*>;

    // The session of this process, created on first use. Only the program
    // calls this; modules receive a weak reference when they are bound.
    static boost::shared_ptr<Session> instance();

    virtual ~Session();

    virtual void init(const format::ConfigPtr& config);
    virtual void setStyle(const FileInfoPtr& style);
    virtual module::IProtocol* protocolModule();
    virtual ProtocolSet protocols() const;
    virtual HandlerSet handlers() const;
    // The module table, for the tray's process information.
    virtual const ModuleLoader& moduleLoader() const;

    // Raises SiteNotApproved unless the request's origin may use the host. A program
    // (no origin) always may; a browser origin once the user or the
    // administrator approved it, or only to read the version, so that a page
    // can tell that the host runs. Asks the user about an origin met for the
    // first time, holding only the calling connection.
    virtual void admit(const format::Message& request);
    // Whether a browser origin has the user's or the administrator's
    // approval; an empty origin (a program) always has.
    virtual bool isApproved(const std::string& origin);
    // Valid once the session is initialised.
    virtual OriginApprovals& approvals();

protected:
    Session();

private:
    void bindModules();
    void announceProtocol();
    module::IProtocol* selectProtocol() const;

    std::unique_ptr<ModuleLoader> loader_;
    std::unique_ptr<OriginApprovals> approvals_;
    FileInfo style_;
    format::ConfigPtr config_;
};

}  // namespace zorva::plugin
