#include "system_tray.h"

#include "about_dialog.h"
#include "approvals_dialog.h"
#include "iprotocol.h"
#include "logging.h"
#include "platform.h"
#include "prompt_notice.h"
#include "session.h"

#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace zorva::plugin {
namespace {

constexpr int lockRetryMs = 60 * 1000;

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

std::optional<std::string> protocolData(const format::MetaSet& meta) {
    for (const auto& entry : meta)
        if (entry.format.category == "protocol") return entry.data;
    return std::nullopt;
}

}  // namespace

SystemTray::SystemTray(const boost::shared_ptr<Session>& session,
                       const ui::GuiRegistry::Impl& branding, QObject* parent)
    : QSystemTrayIcon(parent),
      session_(session),
      branding_(branding),
      iconLock_(TrayIconLock::defaultPath()) {
    startTimer(lockRetryMs, Qt::CoarseTimer);
}

SystemTray::~SystemTray() { ui::setAttentionNotice({}); }

void SystemTray::setUp() {
    const std::string protocol =
        protocolText(session_->protocolModule(), session_->moduleLoader().table());
    setToolTip(processInfoText(branding_.applicationName(), platform::processId(), protocol));
    setIcon(QIcon(QPixmap(text(branding_.resourcePath("logo_16x16.png")))));
    buildMenu();
    show();
    showIfHoldingLock();
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QSystemTrayIcon::hide);
    ui::setAttentionNotice([this](const QString& window) {
        showMessage(
            text(branding_.applicationName()),
            tr("The window \"%1\" awaits your answer: other windows may hide it.").arg(window));
    });
}

bool SystemTray::noticeFailure(const std::string& reason) {
    if (!isSystemTrayAvailable() || !isVisible()) return false;
    showMessage(text(branding_.applicationName()), text(reason), QSystemTrayIcon::Critical,
                noticeMs);
    return true;
}

QString SystemTray::processInfoText(const std::string& applicationName, std::uint64_t processId,
                                    const std::string& protocol) {
    return tr("Process name: %1\nProcess ID: %2\nProtocol: %3")
        .arg(text(applicationName), QString::number(processId), text(protocol));
}

std::string SystemTray::protocolText(module::IProtocol* protocol,
                                     const ModuleLoader::Table& modules) {
    if (!protocol) return {};
    const std::string name = protocol->name();
    const auto entry = modules.find(name);
    if (entry == modules.end() || !entry->second.config) return name;
    const format::Config& config = *entry->second.config;
    if (auto data = protocolData(config.meta)) return *data;
    for (const auto& dependency : config.dependencies)
        if (auto data = protocolData(dependency.meta)) return *data;
    return name;
}

void SystemTray::timerEvent(QTimerEvent*) { showIfHoldingLock(); }

// A host that cannot make the lock file keeps its icon as it is: two icons
// are better than none.
void SystemTray::showIfHoldingLock() {
    const auto held = iconLock_.holds();
    if (!held) {
        PLUGIN_LOG(warning) << "tray icon lock failed: " << iconLock_.path().toStdString();
        return;
    }
    setVisible(*held);
}

void SystemTray::buildMenu() {
    menu_.setContextMenuPolicy(Qt::CustomContextMenu);
    menu_.addSection(text(branding_.applicationName()));
    if (branding_.category() == "zorva.plugin") {
        menu_.addAction(QObject::tr("About"), this, &SystemTray::showAbout, QKeySequence());
        menu_.addSeparator();
    }
    menu_.addAction(QObject::tr("Approved sites"), this, &SystemTray::showApprovals,
                    QKeySequence());
    menu_.addAction(QObject::tr("Exit"), this, &SystemTray::exitHost, QKeySequence());
    setContextMenu(&menu_);
    connect(this, &QSystemTrayIcon::activated, this, [this](ActivationReason reason) {
        if (reason == Context) menu_.exec(QCursor::pos());
    });
}

void SystemTray::showAbout() {
    const QString title = text(branding_.applicationName());
    ui::AboutDialog dialog(title, text(branding_.resourcePath("logo_32x32.png")),
                           ui::AboutDialog::bodyText(title),
                           text(branding_.resourcePath("logo_64x64.png")));
    dialog.exec();
}

void SystemTray::showApprovals() {
    ui::ApprovalsDialog dialog(session_->approvals(), text(branding_.applicationName()));
    dialog.exec();
}

void SystemTray::exitHost() {
    hide();
    log::flush();
    platform::killProcessTreeAndExit();
}

}  // namespace zorva::plugin
