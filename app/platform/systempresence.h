#pragma once
// This platform's presence probe: the user's idle time and the pointer
// position. Where nothing can be read (no X display, a Wayland session, the
// offscreen platform) the probe says so and the user counts as present.

#include <memory>

#include "core/control/presenceprobe.h"

// Create it on the GUI thread (the pointer is sampled there every
// cursorSampleMs); it may then be used from any one thread.
std::shared_ptr<PresenceProbe> createSystemPresenceProbe(int cursorSampleMs = 2000);
