#pragma once

#include <QString>

#include <functional>

namespace zorva::plugin::ui {

// Points the user to a prompt that the window system kept behind other
// windows (focus-stealing prevention refuses a window that asks for the
// keyboard on its own). The host's tray icon registers itself here; without
// one nothing is shown. Set and called on the GUI thread.
using AttentionNotice = std::function<void(const QString& windowTitle)>;
void setAttentionNotice(AttentionNotice notice);

// How long a prompt may take to get the keyboard before the notice goes out.
constexpr int attentionGraceMs = 1000;

// Tells the user, when the prompt has not got the keyboard by now.
void askForAttention(const QString& windowTitle);

}  // namespace zorva::plugin::ui
