#pragma once
// Hotkeys on X11, beyond the operations every windowing system provides.

#include <QByteArray>

namespace GlobalShortcutX11 {

// The display the hotkeys' own connection opens (empty: $DISPLAY); takes
// effect when the first hotkey is registered.
extern QByteArray display;

}  // namespace GlobalShortcutX11
