#pragma once

namespace zorva::plugin {

// Picks Qt's offscreen platform when the session has no display: neither
// DISPLAY nor WAYLAND_DISPLAY names one and the user chose no platform
// (QT_QPA_PLATFORM). Qt's default platform would abort the program there,
// before it could even print its help. Offscreen, the host runs as ever,
// only without its tray icon and windows, and refuses what it would ask.
// Call it before the application object exists; true when it chose offscreen.
bool chooseGuiPlatform();

}  // namespace zorva::plugin
