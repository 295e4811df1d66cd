#pragma once
// The crash client's own logging: one line per entry, with a prefix of
// process, thread, local time, severity and source position, written to
// the process's standard error (and the system log when that leads
// nowhere). A FATAL entry ends the process once its line is written.
//
//   LOG(ERROR) << "open " << path;          // plain entry
//   PLOG(ERROR) << "open " << path;         // adds ": <error text> (<errno>)"
//   CHECK(fd >= 0) << "more text";          // FATAL when false
//   PCHECK(rv == 0) << "uname";             // FATAL with errno
//   CHECK_EQ(a, b);                         // FATAL, shows both values

#include <memory>
#include <sstream>
#include <string>

namespace base {

// Severities; negative values are verbose levels.
namespace severity {
constexpr int INFO = 0;
constexpr int WARNING = 1;
constexpr int ERROR = 2;
constexpr int ERROR_REPORT = 3;
constexpr int FATAL = 4;
}  // namespace severity

// Takes a finished line (newline included); returning true suppresses the
// default output. message_start is the offset of the text after the prefix.
using LogMessageHandlerFunction =
    bool (*)(int severity, const char* file, int line, size_t message_start, const std::string& line_text);
void SetLogMessageHandler(LogMessageHandlerFunction handler);
LogMessageHandlerFunction GetLogMessageHandler();

// The text of an errno value: strerror_r's, or a note that it failed.
std::string SystemErrorCodeToString(int error);

// One log line being built; written when it is destroyed.
class LogEntry {
public:
    LogEntry(const char* file, int line, int severity);
    // A failed check: the entry starts with "Check failed: " + text + ". ".
    LogEntry(const char* file, int line, int severity, std::unique_ptr<std::string> check_text);
    virtual ~LogEntry();
    LogEntry(const LogEntry&) = delete;
    LogEntry& operator=(const LogEntry&) = delete;

    std::ostream& stream() { return stream_; }
    int severity() const { return severity_; }

protected:
    // Writes the line; called by the most derived destructor.
    void Flush();

private:
    void Begin();

    const char* file_;
    int line_;
    int severity_;
    size_t message_start_ = 0;
    bool flushed_ = false;
    std::ostringstream stream_;
};

// An entry followed by ": " + the error text + " (" + errno + ")".
class ErrnoLogEntry : public LogEntry {
public:
    ErrnoLogEntry(const char* file, int line, int severity, int error);
    ErrnoLogEntry(const char* file, int line, int severity, int error, std::unique_ptr<std::string> check_text);
    ~ErrnoLogEntry() override;

private:
    int error_;
};

// Lets a conditional log statement have type void.
struct LogVoidify {
    void operator&(std::ostream&) {}
};

namespace internal {

template <typename A, typename B>
std::unique_ptr<std::string> MakeCheckOpText(const A& a, const B& b, const char* text)
{
    std::ostringstream out;
    out << text << " (" << a << " vs. " << b << ")";
    return std::unique_ptr<std::string>(new std::string(out.str()));
}

#define CRASHWATCH_DEFINE_CHECK_OP(name, op)                                                  \
    template <typename A, typename B>                                                        \
    std::unique_ptr<std::string> Check##name(const A& a, const B& b, const char* text)       \
    {                                                                                        \
        if (a op b)                                                                          \
            return nullptr;                                                                  \
        return MakeCheckOpText(a, b, text);                                                  \
    }
CRASHWATCH_DEFINE_CHECK_OP(EQ, ==)
CRASHWATCH_DEFINE_CHECK_OP(NE, !=)
CRASHWATCH_DEFINE_CHECK_OP(LE, <=)
CRASHWATCH_DEFINE_CHECK_OP(LT, <)
CRASHWATCH_DEFINE_CHECK_OP(GE, >=)
CRASHWATCH_DEFINE_CHECK_OP(GT, >)
#undef CRASHWATCH_DEFINE_CHECK_OP

inline std::unique_ptr<std::string> CheckText(const char* text)
{
    return std::unique_ptr<std::string>(new std::string(text));
}

// Replaces the system-log back end (nullptr restores it), so tests can see
// what would reach it.
void SetSystemLogForTesting(void (*sink)(int level, const std::string& line));

}  // namespace internal

}  // namespace base

#define LOG(sev) ::base::LogEntry(__FILE__, __LINE__, ::base::severity::sev).stream()
#define PLOG(sev) ::base::ErrnoLogEntry(__FILE__, __LINE__, ::base::severity::sev, errno).stream()
#define VLOG(level) ::base::LogEntry(__FILE__, __LINE__, -(level)).stream()
#define LOG_IF(sev, cond) !(cond) ? (void)0 : ::base::LogVoidify() & LOG(sev)
#define PLOG_IF(sev, cond) !(cond) ? (void)0 : ::base::LogVoidify() & PLOG(sev)

#define CHECK(cond)                                                                               \
    (cond) ? (void)0                                                                              \
           : ::base::LogVoidify() & ::base::LogEntry(__FILE__, __LINE__, ::base::severity::FATAL,   \
                                                     ::base::internal::CheckText(#cond))          \
                                        .stream()
#define PCHECK(cond)                                                                                    \
    (cond) ? (void)0                                                                                    \
           : ::base::LogVoidify() & ::base::ErrnoLogEntry(__FILE__, __LINE__, ::base::severity::FATAL, errno, \
                                                          ::base::internal::CheckText(#cond))           \
                                        .stream()

// The entry is FATAL, so the loop body runs at most once.
#define CRASHWATCH_CHECK_OP(name, op, a, b)                                                        \
    while (std::unique_ptr<std::string> crashwatch_check_text =                                    \
               ::base::internal::Check##name((a), (b), #a " " #op " " #b))                         \
    ::base::LogEntry(__FILE__, __LINE__, ::base::severity::FATAL, std::move(crashwatch_check_text)).stream()

#define CHECK_EQ(a, b) CRASHWATCH_CHECK_OP(EQ, ==, a, b)
#define CHECK_NE(a, b) CRASHWATCH_CHECK_OP(NE, !=, a, b)
#define CHECK_LE(a, b) CRASHWATCH_CHECK_OP(LE, <=, a, b)
#define CHECK_LT(a, b) CRASHWATCH_CHECK_OP(LT, <, a, b)
#define CHECK_GE(a, b) CRASHWATCH_CHECK_OP(GE, >=, a, b)
#define CHECK_GT(a, b) CRASHWATCH_CHECK_OP(GT, >, a, b)
