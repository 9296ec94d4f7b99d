// A plug-in-like shared library with its own copy of the shared code: it
// raises errors and writes log records the way a module does.
#include "exception.h"
#include "logging.h"

extern "C" __attribute__((visibility("default"))) void probeRaise(int code) {
    using zorva::plugin::exception::ApplicationException;
    using zorva::plugin::exception::Module_;
    PLUGIN_THROW(ApplicationException(code) << Module_("probe"), "probe");
}

extern "C" __attribute__((visibility("default"))) void probeLog(const char* text) {
    PLUGIN_LOG(info) << text;
}
