#pragma once

#include "gui_registry.h"
#include "module_loader.h"
#include "tray_icon_lock.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

namespace zorva::plugin {

class Session;

namespace module {
class IProtocol;
}

// The host's icon in the notification area: names the product, the process
// and the protocol, and offers About and Exit. When several hosts of one user
// run, only the one holding the icon lock shows its icon; the others look
// again now and then and take over once it is free.
class SystemTray : public QSystemTrayIcon {
    Q_OBJECT

public:
    SystemTray(const boost::shared_ptr<Session>& session, const ui::GuiRegistry::Impl& branding,
               QObject* parent = nullptr);
    ~SystemTray() override;

    // Tooltip, icon and menu, then shows the icon until the application quits.
    void setUp();

    // Tells the user, where a notification area shows the icon, why the host
    // ends; true when the notice is shown.
    bool noticeFailure(const std::string& reason);
    // How long a notice stays.
    static constexpr int noticeMs = 8000;

    // The three tooltip lines: product, process id and protocol.
    static QString processInfoText(const std::string& applicationName, std::uint64_t processId,
                                   const std::string& protocol);
    // The protocol's address from its module's configuration, else its name;
    // empty without a protocol.
    static std::string protocolText(module::IProtocol* protocol,
                                    const ModuleLoader::Table& modules);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void showIfHoldingLock();
    void buildMenu();
    void showAbout();
    void showApprovals();
    void exitHost();

    boost::shared_ptr<Session> session_;
    const ui::GuiRegistry::Impl& branding_;
    TrayIconLock iconLock_;
    QMenu menu_;
};

}  // namespace zorva::plugin
