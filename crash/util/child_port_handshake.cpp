#include "crash/util/child_port_handshake.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "crash/base/eintr.h"
#include "crash/base/mach_logging.h"
#include "crash/base/random.h"
#include "crash/base/strings.h"
#include "crash/util/mach_util.h"

namespace crashwatch {

namespace {

// The longest name the look-up accepts: anything longer is refused before
// it is read.
constexpr uint32_t kMaxServiceNameLength = 127;

std::atomic<uint32_t> g_client_timeout_ms{10000};

int PollMilliseconds(uint64_t deadline)
{
    const uint64_t now = MonotonicTimeNanoseconds();
    if (now >= deadline)
        return 0;
    const uint64_t ms = (deadline - now + 999999) / 1000000;
    return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

// Reads exactly size bytes unless the deadline passes first; every failure
// is logged.
bool ReadExactlyBefore(int fd, void* buffer, size_t size, uint64_t deadline)
{
    size_t done = 0;
    while (done < size) {
        pollfd wait = {fd, POLLIN, 0};
        const int ready = HANDLE_EINTR(poll(&wait, 1, PollMilliseconds(deadline)));
        if (ready < 0) {
            PLOG(ERROR) << "poll";
            return false;
        }
        if (ready == 0) {
            LOG(ERROR) << "ReadExactly: timed out, expected " << size << ", observed " << done;
            return false;
        }
        const ssize_t got = HANDLE_EINTR(read(fd, static_cast<char*>(buffer) + done, size - done));
        if (got < 0) {
            PLOG(ERROR) << "read";
            return false;
        }
        if (got == 0) {
            LOG(ERROR) << "ReadExactly: expected " << size << ", observed " << done;
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool WriteAllNoSignal(int fd, const void* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t put =
            HANDLE_EINTR(send(fd, static_cast<const char*>(buffer) + done, size - done, MSG_NOSIGNAL));
        if (put < 0) {
            PLOG(ERROR) << "write";
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

}  // namespace

ChildPortHandshake::ChildPortHandshake()
{
    int pipe_fds[2];
    PCHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, PF_UNSPEC, pipe_fds) == 0) << "socketpair";
    client_read_fd_.reset(pipe_fds[0]);
    server_write_fd_.reset(pipe_fds[1]);
    PCHECK(shutdown(server_write_fd_.get(), SHUT_RD) == 0) << "shutdown SHUT_RD";
    PCHECK(shutdown(client_read_fd_.get(), SHUT_WR) == 0) << "shutdown SHUT_WR";
}

ChildPortHandshake::~ChildPortHandshake() = default;

base::ScopedFD ChildPortHandshake::TakeServerWriteFD() { return std::move(server_write_fd_); }

bool ChildPortHandshake::SendPortToServer(mach_port_t port, PortRightType right_type)
{
    server_write_fd_.reset();
    base::ScopedFD client_read_fd = std::move(client_read_fd_);
    return ReceiveServiceAndCheckIn(client_read_fd.get(), port, right_type);
}

void ChildPortHandshake::SetClientTimeout(uint32_t milliseconds) { g_client_timeout_ms.store(milliseconds); }

bool ChildPortHandshake::ReceiveServiceAndCheckIn(int client_read_fd, mach_port_t port, PortRightType right_type)
{
    const uint64_t deadline = MonotonicTimeNanoseconds() + uint64_t{g_client_timeout_ms.load()} * 1000000u;
    child_port_token_t token;
    uint32_t length;
    if (!ReadExactlyBefore(client_read_fd, &token, sizeof(token), deadline) ||
        !ReadExactlyBefore(client_read_fd, &length, sizeof(length), deadline))
        return false;
    if (length > kMaxServiceNameLength) {
        LOG(ERROR) << "bootstrap_look_up: name length " << length << " too long";
        return false;
    }
    std::string service_name(length, '\0');
    if (length != 0 && !ReadExactlyBefore(client_read_fd, &service_name[0], length, deadline))
        return false;
    return RunClientInternal_SendCheckIn(service_name, token, port, right_type, deadline);
}

bool ChildPortHandshake::RunClientInternal_SendCheckIn(const std::string& service_name, child_port_token_t token,
                                                       mach_port_t port, PortRightType right_type, uint64_t deadline)
{
    base::mac::ScopedMachSendRight server_port = BootstrapLookUp(service_name);
    if (!server_port.is_valid())
        return false;

    child_port_check_in message = {};
    message.Head.msgh_bits = MACH_MSGH_BITS_COMPLEX | MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
    message.Head.msgh_size = sizeof(message);
    message.Head.msgh_remote_port = server_port.get();
    message.Head.msgh_id = kChildPortCheckInId;
    message.msgh_body.msgh_descriptor_count = 1;
    message.port.name = port;
    message.port.disposition = static_cast<uint8_t>(right_type);
    message.port.type = MACH_MSG_PORT_DESCRIPTOR;
    message.NDR = NDR_record;
    message.token = token;
    const mach_msg_return_t kr =
        MachMessageUntil(&message.Head, MACH_SEND_MSG, 0, MACH_PORT_NULL, deadline, MACH_PORT_NULL, true);
    if (kr != MACH_MSG_SUCCESS) {
        MACH_LOG(ERROR, kr) << "child_port_check_in";
        return false;
    }
    return true;
}

mach_port_t ChildPortHandshake::RunServerForFD(base::ScopedFD server_write_fd, PortRightType* right_type)
{
    child_port_token_t token = base::RandUint64();
    const std::string service_name = base::StringPrintf(
        "org.harnwick.crashwatch.child_port_handshake.%d.%llu.%s", getpid(),
        static_cast<unsigned long long>(syscall(SYS_gettid)), base::RandomString().c_str());
    base::mac::ScopedMachReceiveRight server_port = BootstrapRegister(service_name);
    CHECK(server_port.is_valid());

    const uint32_t length = static_cast<uint32_t>(service_name.size());
    if (!WriteAllNoSignal(server_write_fd.get(), &token, sizeof(token)) ||
        !WriteAllNoSignal(server_write_fd.get(), &length, sizeof(length)) ||
        !WriteAllNoSignal(server_write_fd.get(), service_name.data(), length)) {
        LOG(WARNING) << "no client check-in";
        return MACH_PORT_NULL;
    }

    struct {
        child_port_check_in message;
        mach_msg_max_trailer_t trailer;
    } buffer;
    bool client_gone = false;
    for (;;) {
        // The client closes its end after checking in, so its message may
        // be waiting when the close is seen: receive before giving up.
        pollfd waits[2] = {{PortReceiveDescriptor(server_port.get()), POLLIN, 0}, {server_write_fd.get(), 0, 0}};
        if (!client_gone && HANDLE_EINTR(poll(waits, 2, -1)) < 0) {
            PLOG(ERROR) << "poll";
            return MACH_PORT_NULL;
        }
        client_gone = client_gone || (waits[1].revents & (POLLHUP | POLLERR));
        const mach_msg_return_t kr = mach_msg(&buffer.message.Head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0,
                                              sizeof(buffer), server_port.get(), 0, MACH_PORT_NULL);
        if (kr == MACH_RCV_TIMED_OUT) {
            if (client_gone) {
                LOG(WARNING) << "no client check-in";
                return MACH_PORT_NULL;
            }
            continue;
        }
        if (kr != MACH_MSG_SUCCESS) {
            MACH_LOG(ERROR, kr) << "mach_msg";
            return MACH_PORT_NULL;
        }
        const child_port_check_in& message = buffer.message;
        if (message.Head.msgh_id != kChildPortCheckInId || message.Head.msgh_size != sizeof(message) ||
            !(message.Head.msgh_bits & MACH_MSGH_BITS_COMPLEX) || message.msgh_body.msgh_descriptor_count != 1 ||
            message.port.type != MACH_MSG_PORT_DESCRIPTOR) {
            LOG(WARNING) << "ignoring unexpected message " << message.Head.msgh_id;
            mach_msg_destroy(&buffer.message.Head);
            continue;
        }
        if (message.token != token) {
            LOG(WARNING) << "ignoring incorrect token";
            mach_msg_destroy(&buffer.message.Head);
            continue;
        }
        if (message.port.disposition < MACH_MSG_TYPE_PORT_RECEIVE ||
            message.port.disposition > MACH_MSG_TYPE_PORT_SEND_ONCE) {
            LOG(ERROR) << "invalid right type " << static_cast<unsigned>(message.port.disposition);
            mach_msg_destroy(&buffer.message.Head);
            continue;
        }
        *right_type = message.port.disposition;
        return message.port.name;
    }
}

}  // namespace crashwatch
