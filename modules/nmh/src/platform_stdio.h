#pragma once

#include <atomic>
#include <cstddef>

// The standard streams section of the platform layer: the two pipes a
// browser hands to the native-messaging host it starts.
namespace zorva::plugin::platform {

// Takes over standard input and output for the life of the object. The pipes
// move to private descriptors that no child process inherits; descriptor 1
// then leads to standard error and descriptor 0 reads nothing, so no library
// that prints and no child process can corrupt or steal a frame. A pipe that
// the browser closed makes a write fail instead of ending the process.
class StandardStreams {
public:
    StandardStreams();
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

    // Reads size bytes; fewer only when input ends or interrupt comes first.
    // Returns the count read. Raises the system error of a failed read.
    std::size_t read(char* buffer, std::size_t size);
    // Writes every byte; raises the system error of a failed write.
    void write(const char* data, std::size_t size);

    // Makes a blocked read, and every later one, return at once. Callable
    // from any thread.
    void interrupt();
    bool interrupted() const { return interrupted_; }

private:
    bool waitForInput();

    int input_ = -1;
    int output_ = -1;
    // interrupt writes to the second, a waiting read watches the first.
    int wake_[2] = {-1, -1};
    std::atomic<bool> interrupted_{false};
};

}  // namespace zorva::plugin::platform
