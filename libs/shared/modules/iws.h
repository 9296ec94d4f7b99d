#pragma once

#include <QtPlugin>

namespace zorva::plugin::module {

// Marks the WebSocket module.
class IWs {
public:
    virtual ~IWs() = default;
};

}  // namespace zorva::plugin::module

Q_DECLARE_INTERFACE(zorva::plugin::module::IWs, "plugin.IWs")
