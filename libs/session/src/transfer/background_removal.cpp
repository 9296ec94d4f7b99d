#include "background_removal.h"

#include "path_registry.h"
#include "platform_crash.h"

#include <boost/filesystem/operations.hpp>

#include <condition_variable>
#include <iterator>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace zorva::plugin::background_removal {

namespace fs = boost::filesystem;

namespace {

struct Running {
    std::mutex mutex;
    std::condition_variable finished;
    std::multiset<fs::path> paths;
};

// Never destroyed: a detached removal may still finish while the process exits.
Running& running() {
    static Running* const instance = new Running;
    return *instance;
}

bool covered(const std::multiset<fs::path>& paths, const fs::path& path) {
    for (const fs::path& removed : paths)
        if (path_registry::isSubPath(path, removed)) return true;
    return false;
}

void removeNow(const fs::path& path) {
    platform::crash::prepareThread();
    boost::system::error_code ignored;
    fs::remove_all(path, ignored);
    Running& r = running();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.paths.erase(r.paths.find(path));
    }
    r.finished.notify_all();
}

}  // namespace

void start(const fs::path& path) {
    boost::system::error_code error;
    if (!fs::exists(path, error)) return;
    Running& r = running();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.paths.insert(path);
    }
    try {
        std::thread(removeNow, path).detach();
    } catch (const std::system_error&) {
        // Without a thread to spare the removal runs here rather than never.
        removeNow(path);
    }
}

void waitFor(const fs::path& path) {
    Running& r = running();
    std::unique_lock<std::mutex> lock(r.mutex);
    r.finished.wait(lock, [&] { return !covered(r.paths, path); });
}

}  // namespace zorva::plugin::background_removal
