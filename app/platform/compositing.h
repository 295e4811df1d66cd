#pragma once
// Whether the desktop blends translucent windows with what lies beneath
// them. Without that, a translucent window's see-through margin and its drop
// shadows come out black, so the windows then draw themselves opaque.

namespace compositing {

// On X11: a compositing manager owns the _NET_WM_CM_S<screen> selection of
// the display the program's windows are on. Other Qt platforms (Wayland,
// offscreen) always blend. Asks the X server each time, since a compositing
// manager may start or stop while the program runs.
bool translucencyBlended();

}  // namespace compositing
