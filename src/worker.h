#pragma once

#include "logging.h"
#include "platform_crash.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorva::plugin {

// Logs a job's failure at warning level as prefix followed by what(). Only
// std::exception has a text to show; anything else is dropped silently.
inline void logFailure(const std::string& prefix, const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        PLUGIN_LOG(warning) << prefix << error.what();
    } catch (...) {
    }
}

namespace detail {

// Where a job leaves its result until the callbacks read it.
template <class T>
struct JobResult {
    using Callback = std::function<void(const T&)>;

    void take(const std::function<T()>& job) { value = job(); }
    void deliver(const Callback& callback) const { callback(*value); }

    std::optional<T> value;
};

template <>
struct JobResult<void> {
    using Callback = std::function<void()>;

    void take(const std::function<void()>& job) { job(); }
    void deliver(const Callback& callback) const { callback(); }
};

}  // namespace detail

// Runs one job on the global thread pool and calls back on the context
// object's thread: the success callbacks with the result, or the failure
// callback with what the job raised, then the final callback in either
// case. Create it with new on the context's thread, set the callbacks, start
// it; it deletes itself after the callbacks. When the context is destroyed
// first, no callback runs.
template <class T>
class Worker : public QObject {
public:
    using Job = std::function<T()>;
    using Success = typename detail::JobResult<T>::Callback;
    using Failure = std::function<void(const std::exception_ptr&)>;
    using Final = std::function<void()>;

    Worker(QObject* context, Job job) : context_(context), job_(std::move(job)) {
        // Queued through the context's event loop: the callbacks never run on
        // the pool thread, even when the job is already done.
        QObject::connect(
            &watcher_, &QFutureWatcher<void>::finished, context, [this] { complete(); },
            Qt::QueuedConnection);
    }

    void addSuccess(Success callback) { successes_.push_back(std::move(callback)); }
    void setFailure(Failure callback) { failure_ = std::move(callback); }
    void setFinal(Final callback) { final_ = std::move(callback); }

    void start() {
        watcher_.setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [this] { run(); }));
    }

private:
    // The job and the callbacks share the result and the exception without a
    // lock: the callbacks read them only after the future has finished.
    void run() {
        platform::crash::prepareThread();
        try {
            result_.take(job_);  // an empty job raises std::bad_function_call
        } catch (...) {
            exception_ = std::current_exception();
        }
    }

    void complete() {
        if (context_) {
            if (exception_) {
                if (failure_) failure_(exception_);
            } else {
                for (const auto& callback : successes_) result_.deliver(callback);
            }
        }
        if (final_) final_();
        deleteLater();
    }

    QPointer<QObject> context_;
    QFutureWatcher<void> watcher_;
    Job job_;
    std::vector<Success> successes_;
    Failure failure_;
    Final final_;
    std::exception_ptr exception_;
    detail::JobResult<T> result_;
};

}  // namespace zorva::plugin
