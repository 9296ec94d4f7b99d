#include "prompt_runner.h"

#include "logging.h"
#include "prompt_notice.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace zorva::plugin::ui {
namespace {

// Tickets in arrival order; the holder of the ticket being served shows its
// dialog, the others wait.
class PromptQueue {
public:
    std::uint64_t waitForTurn() {
        std::unique_lock<std::mutex> lock(mutex_);
        const std::uint64_t ticket = next_++;
        turn_.wait(lock, [&] { return serving_ == ticket; });
        return ticket;
    }

    void done() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++serving_;
        }
        turn_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t next_ = 0;
    std::uint64_t serving_ = 0;
};

PromptQueue& queue() {
    static PromptQueue instance;
    return instance;
}

class Turn {
public:
    Turn() { queue().waitForTurn(); }
    ~Turn() { queue().done(); }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
};

// One prompt, shared by the caller and the dialog's connections. Whatever
// happens on the GUI thread, the caller gets exactly one outcome: when the
// event loop drops the prompt unshown, the last reference settles it.
class PromptCall {
public:
    PromptCall(const PromptFactory& factory, const PromptFinished& finished,
               std::chrono::milliseconds limit)
        : factory(factory), finished(finished), limit(limit) {}
    ~PromptCall() { settle(PromptResult::TimedOut); }
    PromptCall(const PromptCall&) = delete;
    PromptCall& operator=(const PromptCall&) = delete;

    void settle(PromptResult result) {
        if (!settled_.exchange(true)) outcome_.set_value(result);
    }
    void fail(std::exception_ptr failure) {
        if (!settled_.exchange(true)) outcome_.set_exception(failure);
    }
    std::future<PromptResult> outcome() { return outcome_.get_future(); }

    const PromptFactory factory;
    const PromptFinished finished;
    const std::chrono::milliseconds limit;
    bool timedOut = false;

private:
    std::atomic<bool> settled_{false};
    std::promise<PromptResult> outcome_;
};

using PromptCallPtr = std::shared_ptr<PromptCall>;

void closeWhenAnswered(const PromptCallPtr& call, QDialog* dialog) {
    QObject::connect(dialog, &QDialog::finished, dialog, [call, dialog](int code) {
        const PromptResult result = call->timedOut              ? PromptResult::TimedOut
                                    : code == QDialog::Accepted ? PromptResult::Accepted
                                                                : PromptResult::Rejected;
        try {
            if (call->finished) call->finished(*dialog, result);
            call->settle(result);
        } catch (...) {
            call->fail(std::current_exception());
        }
        dialog->deleteLater();
    });
    auto* timer = new QTimer(dialog);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, dialog, [call, dialog] {
        call->timedOut = true;
        dialog->reject();
    });
    timer->start(static_cast<int>(call->limit.count()));
}

void show(const PromptCallPtr& call) {
    QDialog* dialog = nullptr;
    try {
        dialog = call->factory();
    } catch (...) {
        call->fail(std::current_exception());
        return;
    }
    if (!dialog) {
        call->fail(std::make_exception_ptr(std::logic_error("prompt factory built no dialog")));
        return;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
    // The branding's style sheet gives dialogs their look through this property.
    if (!dialog->property("qss").isValid()) dialog->setProperty("qss", "dialog");
    closeWhenAnswered(call, dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    QTimer::singleShot(attentionGraceMs, dialog, [dialog] {
        if (!dialog->isActiveWindow()) askForAttention(dialog->windowTitle());
    });
}

// Headless platforms draw windows nobody sees: waiting there would only hold
// the caller for the whole limit.
bool userCanSee() {
    const QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}

}  // namespace

PromptResult runPrompt(const PromptFactory& factory, const PromptFinished& finished,
                       std::chrono::milliseconds limit) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread())
        throw std::logic_error("a prompt must not block the GUI thread");
    if (!qobject_cast<QGuiApplication*>(application) || !userCanSee()) {
        PLUGIN_LOG(warning) << "ui: no display to ask the user on";
        return PromptResult::TimedOut;
    }
    const Turn turn;
    auto call = std::make_shared<PromptCall>(factory, finished, limit);
    std::future<PromptResult> outcome = call->outcome();
    QMetaObject::invokeMethod(
        application, [call] { show(call); }, Qt::QueuedConnection);
    call.reset();
    return outcome.get();
}

}  // namespace zorva::plugin::ui
