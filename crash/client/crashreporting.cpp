#include "crash/client/crashreporting.h"

namespace crashwatch {

bool StartCrashReporting(const CrashReportingSetup&)
{
    // The handler launch comes with its own step; until then the database
    // is prepared but no handler watches the program.
    return false;
}

}  // namespace crashwatch
