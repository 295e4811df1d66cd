#pragma once
// The one reader of the system's clocks on the Qt side, shared by the
// scheduler's clock and the log's warning limiter.

#include <QtGlobal>
#include <time.h>

// Milliseconds on one of the system's clocks (CLOCK_MONOTONIC,
// CLOCK_BOOTTIME).
qint64 readClockMs(clockid_t id);
