#include "thread_count_hint.h"

#include "logging.h"

#include <thread>

namespace zorva::plugin {

int threadCountHint() {
    // A fixed count keeps the number of connections served at once the same
    // on every machine.
    static const int hint = [] {
        constexpr int count = 4;
        PLUGIN_LOG(info) << "session: hardware thread count: "
                         << std::thread::hardware_concurrency() << ", thread count hint: " << count;
        return count;
    }();
    return hint;
}

}  // namespace zorva::plugin
