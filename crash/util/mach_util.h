#pragma once
// Port helpers of the crash client: allocation, bootstrap look-up and
// registration, deadlines on the ports' clock, sending and receiving
// with a deadline, and the pieces of MIG-style replies.

#include <stdint.h>
#include <string>
#include <sys/types.h>

#include "crash/base/scoped_mach_port.h"
#include "crash/port/port.h"

namespace crashwatch {

// A deadline in MonotonicTimeNanoseconds: 0 does not wait, all ones waits
// without end.
using MachMessageDeadline = uint64_t;
constexpr MachMessageDeadline kMachMessageDeadlineNonblocking = 0;
constexpr MachMessageDeadline kMachMessageDeadlineWaitIndefinitely = ~uint64_t{0};

// Time-outs in milliseconds: do not wait, wait without end.
constexpr mach_msg_timeout_t kMachMessageTimeoutNonblocking = 0;
constexpr mach_msg_timeout_t kMachMessageTimeoutWaitIndefinitely = 0xffffffffu;

// A new right of the given kind, or MACH_PORT_NULL (logged).
mach_port_t NewMachPort(mach_port_right_t right);

// Names of 128 bytes or more are refused.
base::mac::ScopedMachSendRight BootstrapLookUp(const std::string& name);
base::mac::ScopedMachReceiveRight BootstrapRegister(const std::string& name);
base::mac::ScopedMachSendRight SystemCrashReporterPort();

// The calling thread, as exception messages identify it.
mach_port_t CurrentMachThread();

MachMessageDeadline DeadlineFromTimeout(mach_msg_timeout_t timeout_ms);

// Sends and/or receives (by options) with a deadline; run_even_if_expired
// allows one try after the deadline has passed.
mach_msg_return_t MachMessageUntil(mach_msg_header_t* message, mach_msg_option_t options,
                                   mach_msg_size_t receive_size, mach_port_t receive_port,
                                   MachMessageDeadline deadline, mach_port_t notify_port, bool run_even_if_expired);

// The MIG reply header for a request (a mig_reply_error_t), and its code.
void InitMigReply(const mach_msg_header_t* request, mach_msg_header_t* reply);
void SetMigReplyCode(mach_msg_header_t* reply, kern_return_t code);

// The trailer after a received message's body.
const mach_msg_trailer_t* TrailerOfMessage(const mach_msg_header_t* header);
// The sender's pid from an audit trailer, or -1 (logged).
pid_t AuditPIDFromMachMessageTrailer(const mach_msg_trailer_t* trailer);

// Releases a right that arrived in a message, by its received type.
bool MachMessageDestroyReceivedPort(mach_port_t port, mach_msg_type_name_t port_right_type);

}  // namespace crashwatch
