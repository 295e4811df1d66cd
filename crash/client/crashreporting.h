#pragma once
// The start-up's one call into the crash reporting client. Uses no Qt.

#include <map>
#include <string>

namespace crashwatch {

struct CrashReportingSetup {
    std::string handlerPath;   // the crash handler executable
    std::string databasePath;  // the report database ("dumps")
    std::string url;           // where the handler uploads reports
    std::map<std::string, std::string> annotations;
    std::string extraArgument;  // one more argument for the handler
};

// Starts the outside handler on the report database, which the caller has
// opened and prepared (uploads allowed) before. Returns whether the
// handler was started; the program runs on either way.
bool StartCrashReporting(const CrashReportingSetup& setup);

}  // namespace crashwatch
