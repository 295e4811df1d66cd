#pragma once
// Reads the system's clocks for the scheduler's clock and the log's warning
// limiter, which both need the boot-time clock beside the monotonic one. The
// engine has a clock of its own (engineclock.h) that replays can replace.

#include <QtGlobal>
#include <time.h>

// Milliseconds on one of the system's clocks (CLOCK_MONOTONIC,
// CLOCK_BOOTTIME).
qint64 readClockMs(clockid_t id);
