#include "crash/util/mach_util.h"

#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "crash/base/mach_logging.h"

namespace crashwatch {

namespace {

// Names longer than this are refused before the bootstrap server is asked.
constexpr size_t kMaxServiceNameLength = 127;

}  // namespace

mach_port_t NewMachPort(mach_port_right_t right)
{
    mach_port_t port = MACH_PORT_NULL;
    const kern_return_t kr = mach_port_allocate(mach_task_self(), right, &port);
    if (kr != KERN_SUCCESS) {
        MACH_LOG(ERROR, kr) << "mach_port_allocate";
        return MACH_PORT_NULL;
    }
    return port;
}

base::mac::ScopedMachSendRight BootstrapLookUp(const std::string& name)
{
    if (name.size() > kMaxServiceNameLength) {
        LOG(ERROR) << "bootstrap_look_up " << name << ": name too long";
        return base::mac::ScopedMachSendRight();
    }
    mach_port_t port = MACH_PORT_NULL;
    const kern_return_t kr = bootstrap_look_up(bootstrap_port, name.c_str(), &port);
    if (kr != BOOTSTRAP_SUCCESS) {
        BOOTSTRAP_LOG(ERROR, kr) << "bootstrap_look_up " << name;
        return base::mac::ScopedMachSendRight();
    }
    if (port == MACH_PORT_DEAD) {
        LOG(ERROR) << "bootstrap_look_up " << name << ": service is dead";
        return base::mac::ScopedMachSendRight();
    }
    return base::mac::ScopedMachSendRight(port);
}

base::mac::ScopedMachReceiveRight BootstrapRegister(const std::string& name)
{
    if (name.size() > kMaxServiceNameLength) {
        LOG(ERROR) << "bootstrap_check_in " << name << ": name too long";
        return base::mac::ScopedMachReceiveRight();
    }
    mach_port_t port = MACH_PORT_NULL;
    const kern_return_t kr = bootstrap_check_in(bootstrap_port, name.c_str(), &port);
    if (kr != BOOTSTRAP_SUCCESS) {
        BOOTSTRAP_LOG(ERROR, kr) << "bootstrap_check_in " << name;
        return base::mac::ScopedMachReceiveRight();
    }
    return base::mac::ScopedMachReceiveRight(port);
}

base::mac::ScopedMachSendRight SystemCrashReporterPort() { return BootstrapLookUp("com.apple.ReportCrash"); }

mach_port_t CurrentMachThread() { return static_cast<mach_port_t>(syscall(SYS_gettid)); }

MachMessageDeadline DeadlineFromTimeout(mach_msg_timeout_t timeout_ms)
{
    if (timeout_ms == 0)
        return kMachMessageDeadlineNonblocking;
    if (timeout_ms == 0xffffffffu)
        return kMachMessageDeadlineWaitIndefinitely;
    return MonotonicTimeNanoseconds() + uint64_t{timeout_ms} * 1000000u;
}

namespace {

// One direction of MachMessageUntil.
mach_msg_return_t MessageUntil(bool send, mach_msg_header_t* message, mach_msg_option_t options,
                               mach_msg_size_t receive_size, mach_port_t receive_port, MachMessageDeadline deadline,
                               mach_port_t notify_port, bool run_even_if_expired)
{
    const mach_msg_option_t timeout_option = send ? MACH_SEND_TIMEOUT : MACH_RCV_TIMEOUT;
    const mach_msg_option_t interrupt_option = send ? MACH_SEND_INTERRUPT : MACH_RCV_INTERRUPT;
    const mach_msg_return_t interrupted = send ? MACH_SEND_INTERRUPTED : MACH_RCV_INTERRUPTED;
    const mach_msg_return_t timed_out = send ? MACH_SEND_TIMED_OUT : MACH_RCV_TIMED_OUT;
    const mach_msg_option_t direction = options & ~(send ? MACH_RCV_MSG : MACH_SEND_MSG);
    mach_msg_return_t result;
    do {
        mach_msg_option_t this_try = direction;
        mach_msg_timeout_t timeout = MACH_MSG_TIMEOUT_NONE;
        if (deadline != kMachMessageDeadlineWaitIndefinitely) {
            this_try |= timeout_option;
            if (deadline != kMachMessageDeadlineNonblocking) {
                const uint64_t now = MonotonicTimeNanoseconds();
                const uint64_t remaining = now >= deadline ? 0 : deadline - now;
                // To the nearest millisecond.
                const uint64_t ms =
                    remaining > UINT64_MAX - 500000 ? remaining / 1000000 : (remaining + 500000) / 1000000;
                if (ms == 0 && !run_even_if_expired)
                    return timed_out;
                timeout = ms >= 0xffffffffu ? 0xfffffffeu : static_cast<mach_msg_timeout_t>(ms);
            }
        }
        result = mach_msg(message, this_try, send ? message->msgh_size : 0, send ? 0 : receive_size,
                          send ? MACH_PORT_NULL : receive_port, timeout, notify_port);
        run_even_if_expired = false;
    } while (result == interrupted && !(options & interrupt_option));
    return result;
}

}  // namespace

mach_msg_return_t MachMessageUntil(mach_msg_header_t* message, mach_msg_option_t options,
                                   mach_msg_size_t receive_size, mach_port_t receive_port,
                                   MachMessageDeadline deadline, mach_port_t notify_port, bool run_even_if_expired)
{
    if (options & MACH_SEND_MSG) {
        const mach_msg_return_t result = MessageUntil(true, message, options, receive_size, receive_port, deadline,
                                                      notify_port, run_even_if_expired);
        if (result != MACH_MSG_SUCCESS)
            return result;
    }
    if (options & MACH_RCV_MSG)
        return MessageUntil(false, message, options, receive_size, receive_port, deadline, notify_port,
                            run_even_if_expired);
    return MACH_MSG_SUCCESS;
}

void InitMigReply(const mach_msg_header_t* request, mach_msg_header_t* reply)
{
    reply->msgh_bits = MACH_MSGH_BITS_REMOTE(request->msgh_bits);
    reply->msgh_size = sizeof(mig_reply_error_t);
    reply->msgh_remote_port = request->msgh_remote_port;
    reply->msgh_local_port = MACH_PORT_NULL;
    reply->msgh_voucher_port = MACH_PORT_NULL;
    reply->msgh_id = request->msgh_id + 100;
    reinterpret_cast<mig_reply_error_t*>(reply)->NDR = NDR_record;
}

void SetMigReplyCode(mach_msg_header_t* reply, kern_return_t code)
{
    reinterpret_cast<mig_reply_error_t*>(reply)->RetCode = code;
}

const mach_msg_trailer_t* TrailerOfMessage(const mach_msg_header_t* header)
{
    return reinterpret_cast<const mach_msg_trailer_t*>(reinterpret_cast<const char*>(header) +
                                                       ((header->msgh_size + 3) & ~3u));
}

pid_t AuditPIDFromMachMessageTrailer(const mach_msg_trailer_t* trailer)
{
    if (trailer->msgh_trailer_type != 0) {
        LOG(ERROR) << "unexpected msgh_trailer_type " << trailer->msgh_trailer_type;
        return -1;
    }
    if (trailer->msgh_trailer_size < sizeof(mach_msg_audit_trailer_t)) {
        LOG(ERROR) << "small msgh_trailer_size " << trailer->msgh_trailer_size;
        return -1;
    }
    mach_msg_audit_trailer_t audit;
    memcpy(&audit, trailer, sizeof(audit));
    return static_cast<pid_t>(audit.msgh_audit.val[5]);
}

bool MachMessageDestroyReceivedPort(mach_port_t port, mach_msg_type_name_t port_right_type)
{
    switch (port_right_type) {
    case MACH_MSG_TYPE_PORT_RECEIVE: {
        const kern_return_t kr = mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
        if (kr != KERN_SUCCESS) {
            MACH_LOG(ERROR, kr) << "mach_port_mod_refs";
            return false;
        }
        return true;
    }
    case MACH_MSG_TYPE_PORT_SEND:
    case MACH_MSG_TYPE_PORT_SEND_ONCE: {
        const kern_return_t kr = mach_port_deallocate(mach_task_self(), port);
        if (kr != KERN_SUCCESS) {
            MACH_LOG(ERROR, kr) << "mach_port_deallocate";
            return false;
        }
        return true;
    }
    default:
        LOG(ERROR) << "unexpected port right type " << port_right_type;
        return false;
    }
}

}  // namespace crashwatch
