#include "core/engineclock.h"

#include <chrono>

qint64 SteadyEngineClock::nowNs() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
