#include "gui_consent.h"

#include "consent_dialog.h"
#include "exception.h"
#include "gui_registry.h"

#include <QApplication>
#include <QPointer>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace zorva::plugin::crypto {
namespace {

// Shared by the waiting thread and the dialog on the GUI thread; whichever
// finishes last frees it.
struct Exchange {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    std::optional<ConsentAnswer> answer;
    QPointer<ui::ConsentDialog> dialog;
};

[[noreturn]] void cancelled(const char* reason) {
    PLUGIN_THROW(plugin::exception::ApplicationException(20003)
                     << plugin::exception::Message_(reason),
                 "consent");
}

void openDialog(const std::shared_ptr<Exchange>& exchange, const ConsentRequest& request) {
    const std::lock_guard<std::mutex> lock(exchange->mutex);
    if (exchange->abandoned) return;
    auto* dialog = new ui::ConsentDialog(request, ui::GuiRegistry::instance().impl());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    exchange->dialog = dialog;
    QObject::connect(dialog, &QDialog::finished, [exchange, dialog](int result) {
        const std::lock_guard<std::mutex> lock(exchange->mutex);
        if (result == QDialog::Accepted) exchange->answer = dialog->takeAnswer();
        exchange->done = true;
        exchange->finished.notify_all();
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace

ConsentAnswer GuiConsent::ask(const ConsentRequest& request) {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!application) cancelled("consent: the host has no graphical session to ask the user in");
    auto exchange = std::make_shared<Exchange>();
    QMetaObject::invokeMethod(
        application, [exchange, request] { openDialog(exchange, request); }, Qt::QueuedConnection);

    std::unique_lock<std::mutex> lock(exchange->mutex);
    if (!exchange->finished.wait_for(lock, answerLimit_, [&] { return exchange->done; })) {
        exchange->abandoned = true;
        QMetaObject::invokeMethod(
            application,
            [exchange] {
                if (exchange->dialog) exchange->dialog->reject();
            },
            Qt::QueuedConnection);
        cancelled("consent: the user did not answer in time");
    }
    if (!exchange->answer) cancelled("consent: the user declined");
    return std::move(*exchange->answer);
}

}  // namespace zorva::plugin::crypto
