#include "gui_platform.h"

#include "process_env.h"

#include <initializer_list>

namespace zorva::plugin {
namespace {

bool given(const char* name) {
    const auto value = process_env::get(name);
    return value && !value->empty();
}

}  // namespace

bool chooseGuiPlatform() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (given(name)) return false;
    process_env::set("QT_QPA_PLATFORM", "offscreen");
    return true;
}

}  // namespace zorva::plugin
