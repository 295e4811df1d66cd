#pragma once
// Mach-style ports over Unix-domain sockets: the calls and message formats
// the crash client is written against, with only what it uses. See
// README-ports.md for what a port, a right, a name, a notification and an
// exception delivery are here.

#include <stddef.h>
#include <stdint.h>
#include <time.h>

namespace crashwatch {

// The crash client's one clock: the ports' deadlines, the handshake's and
// the handler restart's times. Safe in a signal handler.
inline uint64_t MonotonicTimeNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

using mach_port_t = uint32_t;
using mach_port_name_t = uint32_t;
using kern_return_t = int32_t;
using mach_msg_return_t = kern_return_t;
using mach_msg_bits_t = uint32_t;
using mach_msg_size_t = uint32_t;
using mach_msg_id_t = int32_t;
using mach_msg_option_t = int32_t;
using mach_msg_timeout_t = uint32_t;
using mach_msg_type_name_t = uint32_t;
using mach_port_right_t = uint32_t;
using exception_mask_t = uint32_t;
using exception_behavior_t = int32_t;
using thread_state_flavor_t = int32_t;
using mach_exception_data_type_t = int64_t;

constexpr mach_port_t MACH_PORT_NULL = 0;
constexpr mach_port_t MACH_PORT_DEAD = ~0u;

// Results.
constexpr kern_return_t KERN_SUCCESS = 0;
constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;
constexpr kern_return_t KERN_FAILURE = 5;
constexpr kern_return_t KERN_RESOURCE_SHORTAGE = 6;
constexpr kern_return_t KERN_INVALID_NAME = 15;
constexpr kern_return_t KERN_INVALID_TASK = 16;
constexpr kern_return_t KERN_INVALID_RIGHT = 17;
constexpr kern_return_t KERN_INVALID_VALUE = 18;
constexpr kern_return_t KERN_UREFS_OVERFLOW = 19;
constexpr kern_return_t KERN_INVALID_CAPABILITY = 20;
constexpr kern_return_t KERN_NOT_SUPPORTED = 46;

constexpr mach_msg_return_t MACH_MSG_SUCCESS = 0;
constexpr mach_msg_return_t MACH_SEND_INVALID_DATA = 0x10000002;
constexpr mach_msg_return_t MACH_SEND_INVALID_DEST = 0x10000003;
constexpr mach_msg_return_t MACH_SEND_TIMED_OUT = 0x10000004;
constexpr mach_msg_return_t MACH_SEND_INTERRUPTED = 0x10000007;
constexpr mach_msg_return_t MACH_SEND_MSG_TOO_SMALL = 0x10000008;
constexpr mach_msg_return_t MACH_SEND_INVALID_REPLY = 0x10000009;
constexpr mach_msg_return_t MACH_SEND_INVALID_RIGHT = 0x1000000a;
constexpr mach_msg_return_t MACH_SEND_NO_BUFFER = 0x1000000d;
constexpr mach_msg_return_t MACH_SEND_TOO_LARGE = 0x1000000e;
constexpr mach_msg_return_t MACH_SEND_INVALID_TYPE = 0x1000000f;
constexpr mach_msg_return_t MACH_RCV_INVALID_NAME = 0x10004002;
constexpr mach_msg_return_t MACH_RCV_TIMED_OUT = 0x10004003;
constexpr mach_msg_return_t MACH_RCV_TOO_LARGE = 0x10004004;
constexpr mach_msg_return_t MACH_RCV_INTERRUPTED = 0x10004005;
constexpr mach_msg_return_t MACH_RCV_INVALID_TRAILER = 0x1000400f;

constexpr kern_return_t MIG_TYPE_ERROR = -300;
constexpr kern_return_t MIG_BAD_ID = -303;
constexpr kern_return_t MIG_BAD_ARGUMENTS = -304;
constexpr kern_return_t MIG_NO_REPLY = -305;

constexpr kern_return_t BOOTSTRAP_SUCCESS = 0;
constexpr kern_return_t BOOTSTRAP_NOT_PRIVILEGED = 1100;
constexpr kern_return_t BOOTSTRAP_NAME_IN_USE = 1101;
constexpr kern_return_t BOOTSTRAP_UNKNOWN_SERVICE = 1102;
constexpr kern_return_t BOOTSTRAP_SERVICE_ACTIVE = 1103;
constexpr kern_return_t BOOTSTRAP_BAD_COUNT = 1104;
constexpr kern_return_t BOOTSTRAP_NO_MEMORY = 1105;
constexpr kern_return_t BOOTSTRAP_NO_CHILDREN = 1106;

// Rights.
constexpr mach_port_right_t MACH_PORT_RIGHT_SEND = 0;
constexpr mach_port_right_t MACH_PORT_RIGHT_RECEIVE = 1;
constexpr mach_port_right_t MACH_PORT_RIGHT_SEND_ONCE = 2;
constexpr mach_port_right_t MACH_PORT_RIGHT_PORT_SET = 3;

// Dispositions in messages: how a right is given (sender) and what
// arrives (receiver: 16, 17 or 18).
constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_RECEIVE = 16;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_SEND = 17;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_SEND_ONCE = 18;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_COPY_SEND = 19;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_MAKE_SEND = 20;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_MAKE_SEND_ONCE = 21;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_PORT_RECEIVE = 16;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_PORT_SEND = 17;
constexpr mach_msg_type_name_t MACH_MSG_TYPE_PORT_SEND_ONCE = 18;
constexpr uint8_t MACH_MSG_PORT_DESCRIPTOR = 0;

constexpr mach_msg_bits_t MACH_MSGH_BITS_COMPLEX = 0x80000000u;
constexpr mach_msg_bits_t MACH_MSGH_BITS(mach_msg_type_name_t remote, mach_msg_type_name_t local)
{
    return remote | (local << 8);
}
constexpr mach_msg_type_name_t MACH_MSGH_BITS_REMOTE(mach_msg_bits_t bits) { return bits & 0x1f; }
constexpr mach_msg_type_name_t MACH_MSGH_BITS_LOCAL(mach_msg_bits_t bits) { return (bits >> 8) & 0x1f; }

// mach_msg options.
constexpr mach_msg_option_t MACH_MSG_OPTION_NONE = 0;
constexpr mach_msg_option_t MACH_SEND_MSG = 0x1;
constexpr mach_msg_option_t MACH_RCV_MSG = 0x2;
constexpr mach_msg_option_t MACH_RCV_LARGE = 0x4;
constexpr mach_msg_option_t MACH_SEND_TIMEOUT = 0x10;
constexpr mach_msg_option_t MACH_SEND_INTERRUPT = 0x40;
constexpr mach_msg_option_t MACH_RCV_TIMEOUT = 0x100;
constexpr mach_msg_option_t MACH_RCV_INTERRUPT = 0x400;
constexpr mach_msg_option_t MACH_RCV_TRAILER_TYPE(int type) { return (type & 0xf) << 28; }
constexpr mach_msg_option_t MACH_RCV_TRAILER_ELEMENTS(int count) { return (count & 0xf) << 24; }
constexpr int MACH_RCV_TRAILER_AUDIT = 3;
constexpr mach_msg_timeout_t MACH_MSG_TIMEOUT_NONE = 0;

// Notifications.
constexpr mach_msg_id_t MACH_NOTIFY_PORT_DELETED = 65;
constexpr mach_msg_id_t MACH_NOTIFY_PORT_DESTROYED = 69;
constexpr mach_msg_id_t MACH_NOTIFY_NO_SENDERS = 70;
constexpr mach_msg_id_t MACH_NOTIFY_SEND_ONCE = 71;
constexpr mach_msg_id_t MACH_NOTIFY_DEAD_NAME = 72;

// Exceptions.
constexpr int EXC_CRASH = 10;
constexpr exception_mask_t EXC_MASK_CRASH = 0x400;
constexpr exception_mask_t EXC_MASK_RESOURCE = 0x800;
constexpr exception_mask_t EXC_MASK_GUARD = 0x1000;
constexpr exception_behavior_t EXCEPTION_STATE_IDENTITY = 3;
constexpr exception_behavior_t MACH_EXCEPTION_CODES = static_cast<exception_behavior_t>(0x80000000u);
constexpr thread_state_flavor_t x86_THREAD_STATE = 7;
constexpr thread_state_flavor_t x86_THREAD_STATE64 = 4;
constexpr mach_msg_id_t kExceptionRaiseStateIdentityId = 2407;

#pragma pack(push, 4)
struct mach_msg_header_t {
    mach_msg_bits_t msgh_bits;
    mach_msg_size_t msgh_size;
    mach_port_t msgh_remote_port;
    mach_port_t msgh_local_port;
    mach_port_t msgh_voucher_port;
    mach_msg_id_t msgh_id;
};

struct mach_msg_body_t {
    uint32_t msgh_descriptor_count;
};

struct mach_msg_port_descriptor_t {
    mach_port_t name;
    mach_msg_size_t pad1;
    uint16_t pad2;
    uint8_t disposition;
    uint8_t type;
};

struct NDR_record_t {
    uint8_t mig_vers, if_vers, reserved1, mig_encoding, int_rep, char_rep, float_rep, reserved2;
};
extern const NDR_record_t NDR_record;

struct mig_reply_error_t {
    mach_msg_header_t Head;
    NDR_record_t NDR;
    kern_return_t RetCode;
};

struct mach_msg_trailer_t {
    uint32_t msgh_trailer_type;
    mach_msg_size_t msgh_trailer_size;
};

struct security_token_t {
    uint32_t val[2];  // uid, gid
};

struct audit_token_t {
    uint32_t val[8];  // [1] euid, [2] egid, [3] ruid, [4] rgid, [5] pid
};

struct mach_msg_audit_trailer_t {
    uint32_t msgh_trailer_type;
    mach_msg_size_t msgh_trailer_size;
    uint32_t msgh_seqno;
    security_token_t msgh_sender;
    audit_token_t msgh_audit;
};

// The largest trailer a receive can ask for.
struct mach_msg_max_trailer_t {
    uint32_t msgh_trailer_type;
    mach_msg_size_t msgh_trailer_size;
    uint32_t msgh_seqno;
    security_token_t msgh_sender;
    audit_token_t msgh_audit;
    uint64_t msgh_context;
    int32_t msgh_ad;
    int32_t msgh_labels;
};

// The port-destroyed notification as it arrives.
struct mach_port_destroyed_notification_t {
    mach_msg_header_t not_header;
    mach_msg_body_t not_body;
    mach_msg_port_descriptor_t not_port;
};
#pragma pack(pop)

static_assert(sizeof(mach_msg_header_t) == 24, "header layout");
static_assert(sizeof(mach_msg_port_descriptor_t) == 12, "descriptor layout");
static_assert(sizeof(mig_reply_error_t) == 36, "reply layout");
static_assert(sizeof(mach_msg_audit_trailer_t) == 52, "trailer layout");
static_assert(sizeof(mach_msg_max_trailer_t) == 68, "trailer layout");
static_assert(sizeof(mach_port_destroyed_notification_t) == 40, "notification layout");

// The size of the trailer that receive options ask for.
mach_msg_size_t TrailerSizeForOptions(mach_msg_option_t options);

// Reserved names of this process, its (only) host and the calling thread.
mach_port_t mach_task_self();
mach_port_t mach_host_self();
mach_port_t mach_thread_self();
extern const mach_port_t bootstrap_port;

kern_return_t mach_port_allocate(mach_port_t task, mach_port_right_t right, mach_port_t* name);
// Only MACH_MSG_TYPE_MAKE_SEND (under the same name) and
// MACH_MSG_TYPE_MAKE_SEND_ONCE (under a new name) of a receive right.
kern_return_t mach_port_extract_right(mach_port_t task, mach_port_t name, mach_msg_type_name_t type,
                                      mach_port_t* right, mach_msg_type_name_t* acquired);
kern_return_t mach_port_mod_refs(mach_port_t task, mach_port_t name, mach_port_right_t right, int delta);
kern_return_t mach_port_deallocate(mach_port_t task, mach_port_t name);
// Only MACH_NOTIFY_PORT_DESTROYED, to a receive right of this process;
// *previous is always MACH_PORT_NULL.
kern_return_t mach_port_request_notification(mach_port_t task, mach_port_t name, mach_msg_id_t variant,
                                             uint32_t sync, mach_port_t notify, mach_msg_type_name_t type,
                                             mach_port_t* previous);

mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t send_size,
                           mach_msg_size_t rcv_size, mach_port_t rcv_name, mach_msg_timeout_t timeout,
                           mach_port_t notify);
// Releases the rights a received message carries (reply right and port
// descriptors).
void mach_msg_destroy(mach_msg_header_t* msg);

kern_return_t bootstrap_look_up(mach_port_t bp, const char* service_name, mach_port_t* service_port);
kern_return_t bootstrap_check_in(mach_port_t bp, const char* service_name, mach_port_t* service_port);

const char* mach_error_string(kern_return_t code);
const char* bootstrap_strerror(kern_return_t code);

// Exception ports: the task only (host and thread give KERN_NOT_SUPPORTED).
kern_return_t task_set_exception_ports(mach_port_t task, exception_mask_t mask, mach_port_t port,
                                       exception_behavior_t behavior, thread_state_flavor_t flavor);
// Fills at most *count entries (capacity in, used out).
kern_return_t task_get_exception_ports(mach_port_t task, exception_mask_t mask, exception_mask_t* masks,
                                       uint32_t* count, mach_port_t* ports, exception_behavior_t* behaviors,
                                       thread_state_flavor_t* flavors);
kern_return_t host_set_exception_ports(mach_port_t host, exception_mask_t mask, mach_port_t port,
                                       exception_behavior_t behavior, thread_state_flavor_t flavor);
kern_return_t host_get_exception_ports(mach_port_t host, exception_mask_t mask, exception_mask_t* masks,
                                       uint32_t* count, mach_port_t* ports, exception_behavior_t* behaviors,
                                       thread_state_flavor_t* flavors);
kern_return_t thread_set_exception_ports(mach_port_t thread, exception_mask_t mask, mach_port_t port,
                                         exception_behavior_t behavior, thread_state_flavor_t flavor);
kern_return_t thread_get_exception_ports(mach_port_t thread, exception_mask_t mask, exception_mask_t* masks,
                                         uint32_t* count, mach_port_t* ports, exception_behavior_t* behaviors,
                                         thread_state_flavor_t* flavors);

// Linux only.

// The socket behind a receive right, for waiting on it together with other
// descriptors; -1 when name holds no receive right. Stays owned by the
// table.
int PortReceiveDescriptor(mach_port_t name);

// The folder every port's socket is bound in, which only this user may
// enter; "" when there is none (then no port can be made). A process
// started with kPortDirectoryVariable naming such a folder uses it, so that
// the crash handler binds where the program does.
const char* PortDirectory();
constexpr char kPortDirectoryVariable[] = "CRASHWATCH_PORT_DIR";

// How long a crashing thread waits for the exception handler's answer.
void SetExceptionReplyTimeout(int milliseconds);

// The least time between two log entries about dropped datagrams (10 s by
// default); the drops in between are counted (README-ports.md).
void SetDroppedMessageLogInterval(int milliseconds);
// Where the ports report a message they refuse (malformed, or sent by
// another user): the crash client's logging takes the report into its log
// (crash/base/mach_logging.cpp). Without a reporter the text goes to
// standard error as it stands.
using PortWarningReporter = void (*)(const char* file, int line, const char* text);
void SetPortWarningReporter(PortWarningReporter reporter);

namespace internal {
// A new descriptor (close-on-exec) of the socket behind a send or
// send-once right, or -1.
int DuplicateSendDescriptor(mach_port_t name);
// Gives fd, a socket connected to a port, a new name as a send right.
mach_port_t AdoptSendDescriptor(int fd);
}  // namespace internal

}  // namespace crashwatch
