#include "crash/handler/exception_reporter.h"

#include <signal.h>
#include <string.h>
#include <time.h>

#include "crash/base/logging.h"
#include "crash/base/strings.h"
#include "crash/util/mach_util.h"

namespace crashwatch {

namespace {

// The registers the port layer fills in, in its order.
const char* const kRegisterNames[] = {"rax", "rbx", "rcx", "rdx", "rdi", "rsi", "rbp", "rsp", "r8",  "r9",  "r10",
                                      "r11", "r12", "r13", "r14", "r15", "rip", "rflags", "cs", "fs", "gs"};
constexpr uint32_t kRegisterCount = sizeof(kRegisterNames) / sizeof(kRegisterNames[0]);

std::string UtcTime(time_t when)
{
    struct tm utc;
    char text[32];
    if (!gmtime_r(&when, &utc) || strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
        return std::to_string(static_cast<long long>(when));
    return text;
}

std::string SignalName(int signal)
{
    const char* abbreviation = sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "unknown";
}

// An annotation key or value as one line of the report: a backslash and
// the control characters that could break or fake lines are escaped, so
// that a reader can undo it; other text stays byte for byte.
std::string Escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7f)
            out += base::StringPrintf("\\x%02x", byte);
        else
            out += c;
    }
    return out;
}

}  // namespace

ExceptionReporter::ExceptionReporter(const base::FilePath& database, std::map<std::string, std::string> annotations)
    : database_path_(database)
    , annotations_(std::move(annotations))
{
}

mach_msg_option_t ExceptionReporter::ReceiveOptions()
{
    return MACH_RCV_TRAILER_TYPE(0) | MACH_RCV_TRAILER_ELEMENTS(MACH_RCV_TRAILER_AUDIT);
}

std::string ExceptionReporter::ReportText(const ExceptionRaiseStateIdentityRequest& request, pid_t pid,
                                          time_t when) const
{
    std::string text = "crash report\n";
    text += "time: " + UtcTime(when) + "\n";
    text += base::StringPrintf("process: %d\n", static_cast<int>(pid));
    text += base::StringPrintf("thread: %u\n", request.thread.pad1);
    text += base::StringPrintf("exception: %d\n", request.exception);
    // A fault address exists only for a signal the kernel raised (a
    // positive signal code); kill and raise give none.
    bool kernel_fault = request.exception != EXC_CRASH;
    if (request.exception == EXC_CRASH && request.codeCnt >= 1) {
        // code[0]: signal << 24 | the signal's 20-bit code (sign kept).
        const int signal = static_cast<int>((request.code[0] >> 24) & 0xff);
        int32_t signal_code = static_cast<int32_t>(request.code[0] & 0xfffff);
        if (signal_code & 0x80000)
            signal_code -= 0x100000;
        text += base::StringPrintf("signal: %d (%s)\n", signal, SignalName(signal).c_str());
        text += base::StringPrintf("signal code: %d\n", signal_code);
        kernel_fault = signal_code > 0;
    }
    for (uint32_t i = 0; i < request.codeCnt && i < 2; ++i)
        text += base::StringPrintf("code[%u]: 0x%016llx\n", i, static_cast<unsigned long long>(request.code[i]));
    if (request.codeCnt >= 2 && kernel_fault)
        text += base::StringPrintf("fault address: 0x%016llx\n", static_cast<unsigned long long>(request.code[1]));

    // x86_THREAD_STATE: its own flavour and count, then the 64-bit state.
    const bool has_registers = request.flavor == x86_THREAD_STATE && request.old_stateCnt >= 2 + 2 * kRegisterCount &&
                               request.old_state[0] == static_cast<uint32_t>(x86_THREAD_STATE64) &&
                               request.old_state[1] >= 2 * kRegisterCount;
    if (has_registers) {
        text += "registers:\n";
        for (uint32_t i = 0; i < kRegisterCount; ++i) {
            uint64_t value;
            memcpy(&value, &request.old_state[2 + 2 * i], sizeof(value));
            text += base::StringPrintf("  %s 0x%016llx\n", kRegisterNames[i], static_cast<unsigned long long>(value));
        }
    } else {
        text += "registers: not available\n";
    }
    text += "annotations:\n";
    for (const auto& annotation : annotations_)
        text += "  " + Escaped(annotation.first) + "=" + Escaped(annotation.second) + "\n";
    return text;
}

bool ExceptionReporter::WriteReport(const std::string& text)
{
    if (!database_) {
        database_ = CrashReportDatabase::OpenOrCreate(database_path_);
        if (!database_) {
            LOG(ERROR) << "no crash report database at " << database_path_.value();
            return false;
        }
    }
    std::unique_ptr<CrashReportDatabase::NewReport> report;
    if (database_->StartNewReport(&report) != CrashReportDatabase::kNoError)
        return false;
    if (!report->Writer()->Write(text.data(), text.size())) {
        LOG(ERROR) << "writing report " << report->FilePath().value();
        return false;  // the unfinished report removes its file
    }
    UUID uuid;
    if (database_->FinishedWritingCrashReport(std::move(report), &uuid) != CrashReportDatabase::kNoError)
        return false;
    LOG(INFO) << "wrote crash report " << uuid.FormatText();
    return true;
}

bool ExceptionReporter::MachMessageServerFunction(const mach_msg_header_t* in, mach_msg_header_t* out,
                                                  bool* destroy_complex_request)
{
    InitMigReply(in, out);
    if (in->msgh_id != kExceptionRaiseStateIdentityId) {
        SetMigReplyCode(out, MIG_BAD_ID);
        return false;
    }
    ExceptionRaiseStateIdentityRequest request;
    if (!(in->msgh_bits & MACH_MSGH_BITS_COMPLEX) || in->msgh_size != sizeof(request)) {
        SetMigReplyCode(out, MIG_BAD_ARGUMENTS);
        return true;
    }
    memcpy(&request, in, sizeof(request));
    if (request.msgh_body.msgh_descriptor_count != 2 || request.codeCnt > 2 ||
        request.old_stateCnt > sizeof(request.old_state) / sizeof(request.old_state[0])) {
        SetMigReplyCode(out, MIG_BAD_ARGUMENTS);
        return true;
    }
    pid_t pid = AuditPIDFromMachMessageTrailer(TrailerOfMessage(in));
    if (pid <= 0)
        pid = static_cast<pid_t>(request.task.pad1);
    WriteReport(ReportText(request, pid, time(nullptr)));
    // The exception is recorded, not resolved: the answer lets the crashed
    // program go on to its default end at once.
    *destroy_complex_request = true;
    SetMigReplyCode(out, KERN_FAILURE);
    return true;
}

std::set<mach_msg_id_t> ExceptionReporter::MachMessageServerRequestIDs() { return {kExceptionRaiseStateIdentityId}; }

mach_msg_size_t ExceptionReporter::MachMessageServerRequestSize()
{
    return sizeof(ExceptionRaiseStateIdentityRequest);
}

mach_msg_size_t ExceptionReporter::MachMessageServerReplySize() { return sizeof(mig_reply_error_t); }

}  // namespace crashwatch
