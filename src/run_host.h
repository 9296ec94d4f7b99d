#pragma once

#include "config.h"

namespace zorva::plugin {

// The host mode: brings up the session with its modules, the tray icon and
// the core job, and runs the event loop until the job ends. Returns the
// event loop's result. Needs the application object.
int runHost(const format::ConfigPtr& config);

}  // namespace zorva::plugin
