#pragma once

#include "config.h"

#include <QObject>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <string>

namespace zorva::plugin::module {

class HostServices;
class IHandler;
class IProtocol;
class IWs;

// The root object of every module plug-in. The host finds it by
// dynamic_cast, so the type keeps default visibility: the program and each
// plug-in must agree on its identity. The accessors' order is part of the
// contract: every module built against it has the same operation table.
//
// No Q_OBJECT here: each concrete module declares its own meta-object.
class Module : public QObject {
public:
    using SessionRef = boost::weak_ptr<HostServices>;

    explicit Module(QObject* parent = nullptr);
    ~Module() override;

    virtual Module* self();
    virtual void* reservedInterfaceA();
    virtual void* reservedInterfaceB();
    virtual IWs* ws();
    virtual void* reservedInterfaceC();
    virtual IProtocol* protocol();
    virtual IHandler* handler();
    virtual void* reservedInterfaceD();
    virtual boost::shared_ptr<void> extension();

    // Binds the module to the host; a later call replaces both references.
    void init(const SessionRef& session, const format::ConfigPtr& config);

    // "<type> <stage name> <data>"; an empty data leaves the trailing blank.
    std::string message(int stage, const std::string& data) const;

    const SessionRef& session() const { return session_; }
    const format::ConfigPtr& config() const { return config_; }

private:
    SessionRef session_;
    format::ConfigPtr config_;
};

}  // namespace zorva::plugin::module
