#include "platform_stdio.h"

#include "exception.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace zorva::plugin::platform {
namespace {

[[noreturn]] void raiseSystemError(const char* operation) {
    PLUGIN_THROW(std::system_error(errno, std::generic_category(), operation), operation);
}

// A copy above the standard descriptors, closed in child processes.
int privateCopy(int descriptor) {
    const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (copy < 0) raiseSystemError("fcntl");
    return copy;
}

void redirect(int from, int to) {
    if (::dup2(from, to) < 0) raiseSystemError("dup2");
}

void readNothingOnStandardInput() {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0) raiseSystemError("open");
    redirect(null, STDIN_FILENO);
    ::close(null);
}

void closeIfOpen(int descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

}  // namespace

StandardStreams::StandardStreams() {
    // A write to a pipe whose reader is gone would end the process at once.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) < 0) raiseSystemError("pipe2");
    input_ = privateCopy(STDIN_FILENO);
    output_ = privateCopy(STDOUT_FILENO);
    readNothingOnStandardInput();
    redirect(STDERR_FILENO, STDOUT_FILENO);
}

StandardStreams::~StandardStreams() {
    for (const int descriptor : {input_, output_, wake_[0], wake_[1]}) closeIfOpen(descriptor);
}

std::size_t StandardStreams::read(char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size && waitForInput()) {
        const ssize_t count = ::read(input_, buffer + done, size - done);
        if (count == 0) break;
        if (count < 0 && errno != EINTR) raiseSystemError("read");
        if (count > 0) done += static_cast<std::size_t>(count);
    }
    return done;
}

bool StandardStreams::waitForInput() {
    pollfd watched[] = {{input_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    while (!interrupted_) {
        const int ready = ::poll(watched, 2, -1);
        if (ready < 0 && errno != EINTR) raiseSystemError("poll");
        if (watched[1].revents) return false;
        // Data, a closed pipe or an error: the read that follows tells which.
        if (watched[0].revents) return true;
    }
    return false;
}

void StandardStreams::write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(output_, data, size);
        if (count < 0 && errno != EINTR) raiseSystemError("write");
        if (count > 0) {
            data += count;
            size -= static_cast<std::size_t>(count);
        }
    }
}

void StandardStreams::interrupt() {
    if (interrupted_.exchange(true)) return;
    // The wake pipe is empty until now, so the byte always fits; it stays
    // unread and keeps every later wait from blocking.
    const char wake = 0;
    [[maybe_unused]] const ssize_t written = ::write(wake_[1], &wake, 1);
}

}  // namespace zorva::plugin::platform
