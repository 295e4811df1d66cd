#include "crash/base/mach_logging.h"

#include "crash/base/strings.h"

namespace base {

namespace {

std::string CodeSuffix(crashwatch::kern_return_t code)
{
    return code > 255 ? StringPrintf(" (0x%08x)", static_cast<unsigned>(code)) : StringPrintf(" (%d)", code);
}

// The ports include nothing of the crash client; the messages they refuse
// come into its log as warnings. Registered when the program starts, in
// every program that uses the port log entries below.
void LogPortWarning(const char* file, int line, const char* text)
{
    LogEntry(file, line, severity::WARNING).stream() << text;
}
const bool g_port_warnings_logged = (crashwatch::SetPortWarningReporter(&LogPortWarning), true);

}  // namespace

MachLogEntry::MachLogEntry(const char* file, int line, int severity, crashwatch::kern_return_t code)
    : LogEntry(file, line, severity)
    , code_(code)
{
}

MachLogEntry::~MachLogEntry()
{
    stream() << ": " << crashwatch::mach_error_string(code_) << CodeSuffix(code_);
    Flush();
}

BootstrapLogEntry::BootstrapLogEntry(const char* file, int line, int severity, crashwatch::kern_return_t code)
    : LogEntry(file, line, severity)
    , code_(code)
{
}

BootstrapLogEntry::~BootstrapLogEntry()
{
    const bool bootstrap_code = code_ == 0 || (code_ >= crashwatch::BOOTSTRAP_NOT_PRIVILEGED &&
                                               code_ <= crashwatch::BOOTSTRAP_NO_CHILDREN);
    stream() << ": " << crashwatch::bootstrap_strerror(code_)
             << (bootstrap_code ? " (" + std::to_string(code_) + ")" : CodeSuffix(code_));
    Flush();
}

}  // namespace base
