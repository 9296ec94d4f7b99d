#pragma once

#include <memory>
#include <set>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include "config.h"
#include "file_description.h"
#include "host_services.h"
#include "message.h"

namespace zorva::plugin {

class ModuleLoader;
class OriginApprovals;

namespace module {
class IProtocol;
}  // namespace module

// The process-wide object that ties the host together: it owns the module
// loader and the host configuration, binds the modules and selects the
// protocol. Modules see it only as the host services they are bound to.
class Session : public module::HostServices, public boost::enable_shared_from_this<Session> {
public:
    using ProtocolSet = std::set<module::IProtocol*>;

    // The session of this process, created on first use. Only the program
    // calls this; modules receive a weak reference when they are bound.
    static boost::shared_ptr<Session> instance();

    ~Session() override;

    void init(const format::ConfigPtr& config);
    void setStyle(const FileInfoPtr& style);
    module::IProtocol* protocolModule();
    ProtocolSet protocols() const;
    // The module table, for the tray's process information.
    const ModuleLoader& moduleLoader() const;
    // Valid once the session is initialised.
    OriginApprovals& approvals();

    HandlerSet handlers() const override;
    ModuleVersions moduleVersions() const override;
    void admit(const format::Message& request) override;
    bool isApproved(const std::string& origin) override;

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
