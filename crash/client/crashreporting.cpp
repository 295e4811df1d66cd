#include "crash/client/crashreporting.h"

namespace crashwatch {

bool StartCrashReporting(const CrashReportingSetup&)
{
    // The handler and its database come with the crash reporting client;
    // until then the program runs without crash reporting.
    return false;
}

}  // namespace crashwatch
