// The crash client is built without exceptions; this stops the build if
// that flag is ever lost.
#if defined(__cpp_exceptions) || defined(__EXCEPTIONS)
#error "the crash client must be built with -fno-exceptions"
#endif

#include "crash/base/logging.h"

#include <errno.h>
#include <mutex>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include "crash/base/strings.h"

namespace base {

namespace {

LogMessageHandlerFunction g_handler = nullptr;

const char* BaseName(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

std::string SeverityName(int severity)
{
    switch (severity) {
    case severity::INFO: return "INFO";
    case severity::WARNING: return "WARNING";
    case severity::ERROR: return "ERROR";
    case severity::ERROR_REPORT: return "ERROR_REPORT";
    case severity::FATAL: return "FATAL";
    }
    if (severity < 0)
        return StringPrintf("VERBOSE%d", -severity);
    return StringPrintf("%d", severity);
}

int SystemLogLevel(int severity)
{
    switch (severity) {
    case severity::INFO: return LOG_INFO;
    case severity::WARNING: return LOG_WARNING;
    case severity::ERROR: return LOG_ERR;
    case severity::ERROR_REPORT: return LOG_NOTICE;
    case severity::FATAL: return LOG_CRIT;
    }
    return LOG_DEBUG;
}

// When standard error leads nowhere (closed, or /dev/null) the line would
// be lost, so it also goes to the system log.
bool ErrorOutputIsDiscarded()
{
    struct stat err;
    if (fstat(STDERR_FILENO, &err) != 0)
        return true;
    if (!S_ISCHR(err.st_mode))
        return false;
    struct stat null;
    if (stat("/dev/null", &null) != 0 || !S_ISCHR(null.st_mode))
        return true;
    return err.st_rdev == null.st_rdev;
}

void DefaultSystemLog(int level, const std::string& line)
{
    static std::once_flag once;
    std::call_once(once, [] { openlog(program_invocation_short_name, LOG_NDELAY, LOG_USER); });
    syslog(level, "%s", line.c_str());
}

void (*g_system_log)(int level, const std::string& line) = DefaultSystemLog;

}  // namespace

namespace internal {

void SetSystemLogForTesting(void (*sink)(int level, const std::string& line))
{
    g_system_log = sink ? sink : DefaultSystemLog;
}

}  // namespace internal

void SetLogMessageHandler(LogMessageHandlerFunction handler)
{
    g_handler = handler;
}

LogMessageHandlerFunction GetLogMessageHandler()
{
    return g_handler;
}

std::string SystemErrorCodeToString(int error)
{
    char buffer[256];
    const char* text = strerror_r(error, buffer, sizeof(buffer));
    if (!text)
        return StringPrintf("Error %d while retrieving error %d", errno, error);
    return text;
}

LogEntry::LogEntry(const char* file, int line, int severity)
    : file_(file)
    , line_(line)
    , severity_(severity)
{
    Begin();
}

LogEntry::LogEntry(const char* file, int line, int severity, std::unique_ptr<std::string> check_text)
    : LogEntry(file, line, severity)
{
    stream_ << "Check failed: " << *check_text << ". ";
}

void LogEntry::Begin()
{
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    stream_ << StringPrintf("[%d:%llu:%04d%02d%02d,%02d%02d%02d.%06ld:", getpid(),
                            static_cast<unsigned long long>(syscall(SYS_gettid)), local.tm_year + 1900,
                            local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                            static_cast<long>(now.tv_usec))
            << SeverityName(severity_) << " " << BaseName(file_) << ":" << line_ << "] ";
    message_start_ = stream_.str().size();
}

LogEntry::~LogEntry()
{
    Flush();
}

void LogEntry::Flush()
{
    if (flushed_)
        return;
    flushed_ = true;
    stream_ << "\n";
    const std::string line = stream_.str();
    if (!g_handler || !g_handler(severity_, file_, line_, message_start_, line)) {
        fputs(line.c_str(), stderr);
        fflush(stderr);
        if (ErrorOutputIsDiscarded())
            g_system_log(SystemLogLevel(severity_), line);
    }
    if (severity_ == severity::FATAL)
        abort();
}

ErrnoLogEntry::ErrnoLogEntry(const char* file, int line, int severity, int error)
    : LogEntry(file, line, severity)
    , error_(error)
{
}

ErrnoLogEntry::ErrnoLogEntry(const char* file, int line, int severity, int error,
                             std::unique_ptr<std::string> check_text)
    : LogEntry(file, line, severity, std::move(check_text))
    , error_(error)
{
}

ErrnoLogEntry::~ErrnoLogEntry()
{
    stream() << ": " << SystemErrorCodeToString(error_) << " (" << error_ << ")";
    Flush();
}

}  // namespace base
