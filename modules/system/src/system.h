#pragma once

#include "ihandler.h"
#include "module.h"

#include <QObject>
#include <QtPlugin>

#include <string>

namespace zorva::plugin::module {

// Answers a page's questions about the host and the workstation: an echo, the
// last error, the versions of the host and its modules, and digests of the
// files the page hands over.
class System : public Module, public IHandler {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugin" FILE "system.json")

public:
    System();

    IHandler* handler() override;
    std::string name() const override;

private:
    std::string versions() const;
};

}  // namespace zorva::plugin::module
