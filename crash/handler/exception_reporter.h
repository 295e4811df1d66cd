#pragma once
// The crash handler's exception server: each crash message of the program
// becomes one report in the crash report database, and is answered so
// that the crashed program ends at once.

#include <map>
#include <memory>
#include <set>
#include <string>

#include "crash/base/filepath.h"
#include "crash/client/crashreportdatabase.h"
#include "crash/util/mach_message_server.h"

namespace crashwatch {

// The state-identity exception message with 64-bit codes, as the port
// layer sends it for a crash signal.
#pragma pack(push, 4)
struct ExceptionRaiseStateIdentityRequest {
    mach_msg_header_t Head;
    mach_msg_body_t msgh_body;
    mach_msg_port_descriptor_t thread;  // pad1: the crashing thread's id
    mach_msg_port_descriptor_t task;    // pad1: the process id
    NDR_record_t NDR;
    int32_t exception;
    uint32_t codeCnt;
    int64_t code[2];
    int32_t flavor;
    uint32_t old_stateCnt;
    uint32_t old_state[44];
};
#pragma pack(pop)
static_assert(sizeof(ExceptionRaiseStateIdentityRequest) == 268, "exception message layout");

class ExceptionReporter final : public MachMessageServer::Interface {
public:
    ExceptionReporter(const base::FilePath& database, std::map<std::string, std::string> annotations);

    // The receive options the server is run with: the audit trailer tells
    // which process sent a message.
    static mach_msg_option_t ReceiveOptions();

    bool MachMessageServerFunction(const mach_msg_header_t* in, mach_msg_header_t* out,
                                   bool* destroy_complex_request) override;
    std::set<mach_msg_id_t> MachMessageServerRequestIDs() override;
    mach_msg_size_t MachMessageServerRequestSize() override;
    mach_msg_size_t MachMessageServerReplySize() override;

    // The report text for one exception message of pid.
    std::string ReportText(const ExceptionRaiseStateIdentityRequest& request, pid_t pid, time_t when) const;

private:
    bool WriteReport(const std::string& text);

    base::FilePath database_path_;
    std::map<std::string, std::string> annotations_;
    std::unique_ptr<CrashReportDatabase> database_;  // opened on first use
};

}  // namespace crashwatch
