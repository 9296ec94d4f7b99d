#include "prompt_session.h"

#include "logging.h"
#include "prompt_notice.h"
#include "site_prompt.h"
#include "submitting_dialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace zorva::plugin::ui {

// What the GUI thread tells the asking thread: a submission, a failure of
// the code that runs there, and the end, which comes exactly once.
class PromptSession::Mailbox {
public:
    void submit() {
        post([this] { submitted_ = true; });
    }
    void fail(std::exception_ptr failure) {
        post([this, &failure] { failure_ = failure; });
    }
    void end(PromptResult result) {
        post([this, result] {
            if (!ended_) ended_ = result;
        });
    }

    // The end wins over a submission the caller has not taken yet: the user
    // left after submitting.
    PromptResult next() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return submitted_ || failure_ || ended_; });
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
        if (ended_) return *ended_;
        submitted_ = false;
        return PromptResult::Accepted;
    }

    PromptResult end() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return ended_.has_value(); });
        return *ended_;
    }

    bool ended() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return ended_.has_value();
    }

private:
    template <class Change>
    void post(Change change) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            change();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool submitted_ = false;
    std::exception_ptr failure_;
    std::optional<PromptResult> ended_;
};

// The dialog's side, touched on the GUI thread only. The dialog's
// connections hold it; when the last reference goes (the dialog deleted, or
// the event loop dropped the call that would have shown it), the prompt is
// over for the caller too.
class PromptSession::Shown {
public:
    Shown(std::shared_ptr<Mailbox> mailbox, const PromptFactory& factory,
          const PromptUpdate& submitted, const PromptFinished& finished,
          std::chrono::milliseconds limit)
        : mailbox_(std::move(mailbox)),
          factory_(factory),
          submitted_(submitted),
          finished_(finished),
          limit_(static_cast<int>(limit.count())) {}
    ~Shown() { mailbox_->end(PromptResult::TimedOut); }
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;

    static void show(const std::shared_ptr<Shown>& shown) {
        try {
            shown->dialog_ = shown->factory_();
        } catch (...) {
            shown->mailbox_->fail(std::current_exception());
            return;
        }
        if (!shown->dialog_) {
            shown->mailbox_->fail(
                std::make_exception_ptr(std::logic_error("prompt factory built no dialog")));
            return;
        }
        shown->wire(shown);
        shown->raise();
    }

    // Runs the caller's action while the dialog still shows.
    void act(const std::function<void(Shown&)>& action) {
        if (dialog_ && !over_) action(*this);
    }

    void retry(const PromptUpdate& update) {
        auto* dialog = qobject_cast<SubmittingDialog*>(dialog_.data());
        if (!dialog) return;
        update(*dialog);
        dialog->resume();
        limitTimer_->start(limit_);
        PLUGIN_LOG(info) << "ui: the prompt \"" << dialog->windowTitle().toStdString()
                         << "\" stays open for another answer";
    }

    void close(PromptResult result) {
        dialog_->done(result == PromptResult::Accepted ? QDialog::Accepted : QDialog::Rejected);
    }

private:
    void wire(const std::shared_ptr<Shown>& self) {
        QDialog* dialog = dialog_;
        QObject::connect(dialog, &QDialog::finished, dialog,
                         [self](int code) { self->ended(code); });
        if (auto* submitting = qobject_cast<SubmittingDialog*>(dialog))
            QObject::connect(submitting, &SubmittingDialog::submitted, submitting,
                             [self, submitting] { self->submit(*submitting); });
        limitTimer_ = new QTimer(dialog);
        limitTimer_->setSingleShot(true);
        QObject::connect(limitTimer_, &QTimer::timeout, dialog, [self] {
            self->timedOut_ = true;
            self->dialog_->reject();
        });
        limitTimer_->start(limit_);
    }

    void raise() {
        QDialog* dialog = dialog_;
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        dialog->setWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
        // The branding's style sheet gives dialogs their look through this property.
        if (!dialog->property("qss").isValid()) dialog->setProperty("qss", "dialog");
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
        QTimer::singleShot(attentionGraceMs, dialog, [dialog] {
            if (!dialog->isActiveWindow()) askForAttention(dialog->windowTitle());
        });
    }

    // The user's time runs again only once the answer was found wanting.
    void submit(SubmittingDialog& dialog) {
        limitTimer_->stop();
        try {
            if (submitted_) submitted_(dialog);
            mailbox_->submit();
        } catch (...) {
            mailbox_->fail(std::current_exception());
        }
    }

    void ended(int code) {
        over_ = true;
        const PromptResult result = timedOut_                   ? PromptResult::TimedOut
                                    : code == QDialog::Accepted ? PromptResult::Accepted
                                                                : PromptResult::Rejected;
        try {
            if (finished_) finished_(*dialog_, result);
        } catch (...) {
            mailbox_->fail(std::current_exception());
        }
        mailbox_->end(result);
        dialog_->deleteLater();
    }

    const std::shared_ptr<Mailbox> mailbox_;
    const PromptFactory factory_;
    const PromptUpdate submitted_;
    const PromptFinished finished_;
    const int limit_;
    QPointer<QDialog> dialog_;
    QTimer* limitTimer_ = nullptr;
    bool timedOut_ = false;
    bool over_ = false;
};

namespace {

// Headless platforms draw windows nobody sees: waiting there would only hold
// the caller for the whole limit.
bool userCanSee() {
    const QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}

}  // namespace

PromptSession::PromptSession(const PromptFactory& factory, const PromptUpdate& submitted,
                             const PromptFinished& finished, std::chrono::milliseconds limit,
                             const SitePrompt* site)
    : mailbox_(std::make_shared<Mailbox>()) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread())
        throw std::logic_error("a prompt must not block the GUI thread");
    if (!qobject_cast<QGuiApplication*>(application) || !userCanSee()) {
        PLUGIN_LOG(warning) << "ui: no display to ask the user on";
        mailbox_->end(PromptResult::TimedOut);
        return;
    }
    turn_.emplace();
    if (site) site->checkEmbargo();
    auto shown = std::make_shared<Shown>(mailbox_, factory, submitted, finished, limit);
    shown_ = shown;
    QMetaObject::invokeMethod(
        application, [shown] { Shown::show(shown); }, Qt::QueuedConnection);
}

PromptSession::~PromptSession() {
    if (!mailbox_->ended()) post([](Shown& shown) { shown.close(PromptResult::Rejected); });
    mailbox_->end();
}

PromptResult PromptSession::next() { return mailbox_->next(); }

void PromptSession::retry(PromptUpdate update) {
    post([update = std::move(update)](Shown& shown) { shown.retry(update); });
}

PromptResult PromptSession::accept() {
    post([](Shown& shown) { shown.close(PromptResult::Accepted); });
    return mailbox_->end();
}

void PromptSession::post(std::function<void(Shown&)> action) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [shown = shown_, action = std::move(action)] {
            if (const auto alive = shown.lock()) alive->act(action);
        },
        Qt::QueuedConnection);
}

}  // namespace zorva::plugin::ui
