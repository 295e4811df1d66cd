// Exception ports on Linux: crash signals are turned into state-identity
// exception messages to the registered port (see README-ports.md).

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>

#include "crash/port/port.h"
#include "crash/port/port_p.h"

namespace crashwatch {

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};
constexpr size_t kAlternateStackSize = 64 * 1024;

// EXC_MASK_BAD_ACCESS, _BAD_INSTRUCTION, _ARITHMETIC, _SOFTWARE,
// _BREAKPOINT and _CRASH: the exceptions that crash signals stand for.
constexpr exception_mask_t kSignalExceptionMask = 0x2 | 0x4 | 0x8 | 0x20 | 0x40 | EXC_MASK_CRASH;

#pragma pack(push, 4)
struct ExceptionMessage {
    mach_msg_header_t header;
    mach_msg_body_t body;
    mach_msg_port_descriptor_t thread;
    mach_msg_port_descriptor_t task;
    NDR_record_t ndr;
    int32_t exception;
    uint32_t code_count;
    int64_t code[2];
    int32_t flavor;
    uint32_t state_count;
    uint32_t state[44];  // x86_THREAD_STATE: flavour, count, 21 registers
};
#pragma pack(pop)
static_assert(sizeof(ExceptionMessage) == 268, "exception message layout");

// The registration; the signal handler reads only the atomics.
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<int> g_port_fd{-1};
exception_mask_t g_mask;
exception_behavior_t g_behavior;
thread_state_flavor_t g_flavor;
std::atomic<int> g_reply_timeout_ms{10000};
std::atomic<long> g_reporting_thread{0};

// A deadline on the ports' clock, ms from now.
uint64_t DeadlineIn(uint64_t ms)
{
    return MonotonicTimeNanoseconds() + ms * 1000000u;
}

void FillState(ExceptionMessage* message, const void* context)
{
    message->flavor = x86_THREAD_STATE;
    message->state_count = 44;
    message->state[0] = static_cast<uint32_t>(x86_THREAD_STATE64);
    message->state[1] = 42;
#if defined(__x86_64__)
    const auto* uc = static_cast<const ucontext_t*>(context);
    const greg_t* g = uc->uc_mcontext.gregs;
    const uint64_t csgsfs = static_cast<uint64_t>(g[REG_CSGSFS]);
    const uint64_t registers[21] = {
        uint64_t(g[REG_RAX]), uint64_t(g[REG_RBX]), uint64_t(g[REG_RCX]), uint64_t(g[REG_RDX]),
        uint64_t(g[REG_RDI]), uint64_t(g[REG_RSI]), uint64_t(g[REG_RBP]), uint64_t(g[REG_RSP]),
        uint64_t(g[REG_R8]),  uint64_t(g[REG_R9]),  uint64_t(g[REG_R10]), uint64_t(g[REG_R11]),
        uint64_t(g[REG_R12]), uint64_t(g[REG_R13]), uint64_t(g[REG_R14]), uint64_t(g[REG_R15]),
        uint64_t(g[REG_RIP]), uint64_t(g[REG_EFL]), csgsfs & 0xffff, (csgsfs >> 32) & 0xffff,
        (csgsfs >> 16) & 0xffff};
    memcpy(&message->state[2], registers, sizeof(registers));
#else
    (void)context;
#endif
}

// Sends the exception message and waits for the answer, or for the answer
// right to be dropped, until the time-out. Async-signal-safe calls only.
void Report(int port, int signal, const siginfo_t* info, const void* context, long thread)
{
    const uint64_t deadline = DeadlineIn(static_cast<uint64_t>(g_reply_timeout_ms.load()));
    int reply[2] = {-1, -1};
    const bool answerable = socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, reply) == 0;

    ExceptionMessage message;
    memset(&message, 0, sizeof(message));
    message.header.msgh_bits =
        MACH_MSGH_BITS_COMPLEX |
        MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, answerable ? MACH_MSG_TYPE_MAKE_SEND_ONCE : 0);
    message.header.msgh_size = sizeof(message);
    message.header.msgh_local_port = answerable ? 1 : 0;  // descriptors carrying the reply right
    message.header.msgh_id = kExceptionRaiseStateIdentityId;
    message.body.msgh_descriptor_count = 2;
    message.thread.pad1 = static_cast<uint32_t>(thread);
    message.thread.disposition = MACH_MSG_TYPE_COPY_SEND;
    message.task.pad1 = static_cast<uint32_t>(getpid());
    message.task.disposition = MACH_MSG_TYPE_COPY_SEND;
    message.ndr = NDR_record;
    message.exception = EXC_CRASH;
    message.code_count = 2;
    const int64_t code = (int64_t{signal} << 24) | (info ? (info->si_code & 0xfffff) : 0);
    // si_addr means a fault address only for a signal the kernel raised;
    // for one sent by kill or raise the same bytes hold the sender's pid.
    const bool fault = info && info->si_code > 0;
    const int64_t address = fault ? static_cast<int64_t>(reinterpret_cast<intptr_t>(info->si_addr)) : 0;
    memcpy(&message.code[0], &code, sizeof(code));
    memcpy(&message.code[1], &address, sizeof(address));
    FillState(&message, context);

    iovec iov = {&message, sizeof(message)};
    msghdr header = {};
    header.msg_iov = &iov;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (answerable) {
        memset(control, 0, sizeof(control));
        header.msg_control = control;
        header.msg_controllen = sizeof(control);
        cmsghdr* cmsg = CMSG_FIRSTHDR(&header);
        cmsg->cmsg_level = SOL_SOCKET;
        cmsg->cmsg_type = SCM_RIGHTS;
        cmsg->cmsg_len = CMSG_LEN(sizeof(int));
        memcpy(CMSG_DATA(cmsg), &reply[1], sizeof(int));
    }
    bool sent = false;
    for (;;) {
        if (sendmsg(port, &header, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) {
            sent = true;
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            break;
        pollfd wait = {port, POLLOUT, 0};
        if (poll(&wait, 1, port_internal::PollTimeout(deadline)) == 0)
            break;
    }
    if (answerable) {
        port_internal::CloseDescriptor(reply[1]);
        if (sent) {
            pollfd wait = {reply[0], POLLIN, 0};
            while (poll(&wait, 1, port_internal::PollTimeout(deadline)) < 0 && errno == EINTR) {
            }
        }
        port_internal::CloseDescriptor(reply[0]);
    }
}

void HandleCrashSignal(int signal, siginfo_t* info, void* context)
{
    const int saved_errno = errno;
    const long thread = syscall(SYS_gettid);
    long reporting = 0;
    if (g_reporting_thread.compare_exchange_strong(reporting, thread)) {
        const int port = g_port_fd.load();
        if (port >= 0)
            Report(port, signal, info, context, thread);
    } else if (reporting != thread) {
        // Another thread is reporting its crash: give it its time to end
        // the process first.
        const uint64_t deadline = DeadlineIn(static_cast<uint64_t>(g_reply_timeout_ms.load()) + 1000);
        while (port_internal::PollTimeout(deadline) > 0) {
            timespec pause = {0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
    }
    // End as the process would have without the handler.
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
    errno = saved_errno;
}

void InstallAlternateStack()
{
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return;
    void* memory = mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    stack_t stack = {};
    stack.ss_sp = memory;
    stack.ss_size = kAlternateStackSize;
    if (sigaltstack(&stack, nullptr) != 0)
        munmap(memory, kAlternateStackSize);
}

void SetCrashHandlers(bool install)
{
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    sigemptyset(&action.sa_mask);
    if (install) {
        action.sa_sigaction = HandleCrashSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    } else {
        action.sa_handler = SIG_DFL;
    }
    for (int signal : kCrashSignals)
        sigaction(signal, &action, nullptr);
}

}  // namespace

kern_return_t task_set_exception_ports(mach_port_t task, exception_mask_t mask, mach_port_t port,
                                       exception_behavior_t behavior, thread_state_flavor_t flavor)
{
    if (task != mach_task_self())
        return KERN_INVALID_ARGUMENT;
    if ((behavior & ~MACH_EXCEPTION_CODES) != EXCEPTION_STATE_IDENTITY && port != MACH_PORT_NULL)
        return KERN_INVALID_ARGUMENT;
    int fd = -1;
    if (port != MACH_PORT_NULL && port != MACH_PORT_DEAD) {
        fd = internal::DuplicateSendDescriptor(port);
        if (fd < 0)
            return KERN_INVALID_RIGHT;
    }
    pthread_mutex_lock(&g_lock);
    const bool deliver = fd >= 0 && (mask & kSignalExceptionMask);
    if (deliver)
        InstallAlternateStack();
    const int previous = g_port_fd.exchange(fd);
    SetCrashHandlers(deliver);
    g_mask = fd >= 0 ? mask : 0;
    g_behavior = behavior;
    g_flavor = flavor;
    pthread_mutex_unlock(&g_lock);
    if (previous >= 0)
        port_internal::CloseDescriptor(previous);
    return KERN_SUCCESS;
}

kern_return_t task_get_exception_ports(mach_port_t task, exception_mask_t mask, exception_mask_t* masks,
                                       uint32_t* count, mach_port_t* ports, exception_behavior_t* behaviors,
                                       thread_state_flavor_t* flavors)
{
    if (task != mach_task_self())
        return KERN_INVALID_ARGUMENT;
    const uint32_t capacity = *count;
    *count = 0;
    pthread_mutex_lock(&g_lock);
    const int fd = g_port_fd.load();
    if (capacity > 0 && fd >= 0 && (g_mask & mask)) {
        const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (copy >= 0) {
            masks[0] = g_mask & mask;
            ports[0] = internal::AdoptSendDescriptor(copy);
            behaviors[0] = g_behavior;
            flavors[0] = g_flavor;
            *count = 1;
        }
    }
    pthread_mutex_unlock(&g_lock);
    return KERN_SUCCESS;
}

kern_return_t host_set_exception_ports(mach_port_t, exception_mask_t, mach_port_t, exception_behavior_t,
                                       thread_state_flavor_t)
{
    return KERN_NOT_SUPPORTED;
}

kern_return_t host_get_exception_ports(mach_port_t, exception_mask_t, exception_mask_t*, uint32_t*, mach_port_t*,
                                       exception_behavior_t*, thread_state_flavor_t*)
{
    return KERN_NOT_SUPPORTED;
}

kern_return_t thread_set_exception_ports(mach_port_t, exception_mask_t, mach_port_t, exception_behavior_t,
                                         thread_state_flavor_t)
{
    return KERN_NOT_SUPPORTED;
}

kern_return_t thread_get_exception_ports(mach_port_t, exception_mask_t, exception_mask_t*, uint32_t*, mach_port_t*,
                                         exception_behavior_t*, thread_state_flavor_t*)
{
    return KERN_NOT_SUPPORTED;
}

void SetExceptionReplyTimeout(int milliseconds) { g_reply_timeout_ms.store(milliseconds < 0 ? 0 : milliseconds); }

}  // namespace crashwatch
