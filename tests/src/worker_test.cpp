#include "worker.h"

#include "event_wait.h"
#include "qt_application.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace zorva::plugin;

class WorkerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ensureApplication<QCoreApplication>(); }

    QObject context;
    std::vector<std::string> calls;
};

TEST_F(WorkerTest, SuccessCallbacksRunInOrderOnContextThreadThenFinal) {
    auto* worker = new Worker<int>(&context, [] { return 42; });
    worker->addSuccess([this](const int& value) {
        calls.push_back("first " + std::to_string(value));
        EXPECT_EQ(QThread::currentThread(), context.thread());
    });
    worker->addSuccess(
        [this](const int& value) { calls.push_back("second " + std::to_string(value)); });
    worker->setFailure([this](const std::exception_ptr&) { calls.push_back("failure"); });
    worker->setFinal([this] { calls.push_back("final"); });

    worker->start();
    ASSERT_TRUE(runEventsUntil([this] { return calls.size() == 3; })) << "no callback in time";

    EXPECT_EQ(calls, (std::vector<std::string>{"first 42", "second 42", "final"}));
}

TEST_F(WorkerTest, FailureGetsTheJobsExceptionThenFinal) {
    auto* worker = new Worker<void>(&context, [] { throw std::runtime_error("job broke"); });
    worker->addSuccess([this] { calls.push_back("success"); });
    worker->setFailure([this](const std::exception_ptr& failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::runtime_error& error) {
            calls.push_back(error.what());
        }
    });
    worker->setFinal([this] { calls.push_back("final"); });

    worker->start();
    ASSERT_TRUE(runEventsUntil([this] { return calls.size() == 2; })) << "no callback in time";

    EXPECT_EQ(calls, (std::vector<std::string>{"job broke", "final"}));
}

TEST_F(WorkerTest, DestroyedContextGetsNoCallback) {
    auto context = std::make_unique<QObject>();
    std::promise<void> release;
    auto released = release.get_future().share();
    std::promise<void> ran;
    auto* worker = new Worker<void>(context.get(), [released, &ran] {
        released.wait();
        ran.set_value();
    });
    worker->setFinal([this] { calls.push_back("final"); });
    worker->start();

    context.reset();
    release.set_value();
    ran.get_future().wait();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();

    EXPECT_TRUE(calls.empty());
}

}  // namespace
