#include "platform_signal_task.h"

#include "platform_crash.h"

#include <boost/system/system_error.hpp>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zorva::plugin::platform {
namespace {

void makePipe(int (&ends)[2]) {
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw boost::system::system_error(errno, boost::system::system_category(), "pipe");
}

void closeBoth(int (&ends)[2]) {
    for (int& end : ends)
        if (end >= 0) ::close(end);
}

}  // namespace

SignalSafeTask::SignalSafeTask(std::function<void()> task) : task_(std::move(task)) {
    try {
        makePipe(request_);
        makePipe(done_);
        thread_ = std::thread([this] {
            crash::prepareThread();
            serve();
        });
    } catch (...) {
        closeBoth(request_);
        closeBoth(done_);
        throw;
    }
}

SignalSafeTask::~SignalSafeTask() {
    // The end of the requests ends the thread.
    ::close(request_[1]);
    request_[1] = -1;
    thread_.join();
    closeBoth(request_);
    closeBoth(done_);
}

void SignalSafeTask::serve() {
    char byte;
    for (;;) {
        const ssize_t read = ::read(request_[0], &byte, 1);
        if (read == 0 || (read < 0 && errno != EINTR)) return;
        if (read < 0) continue;
        try {
            task_();
        } catch (...) {
            // The handler waits for the end, whatever the task met.
        }
        while (::write(done_[1], &byte, 1) < 0 && errno == EINTR) {
        }
    }
}

bool SignalSafeTask::runAndWait(std::chrono::milliseconds limit) const noexcept {
    const char byte = 0;
    if (::write(request_[1], &byte, 1) != 1) return false;
    pollfd done{done_[0], POLLIN, 0};
    if (::poll(&done, 1, static_cast<int>(limit.count())) != 1) return false;
    char answer;
    return ::read(done_[0], &answer, 1) == 1;
}

}  // namespace zorva::plugin::platform
