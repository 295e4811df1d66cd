// The second process of the port layer tests; links the crash client only.
//   portpeer echo SERVICE           checks SERVICE in, takes the receive
//                                   right that comes first, then answers
//                                   each message on it with its bytes;
//                                   id 1 ends it
//   portpeer handshake-server FD    the handshake's server on FD, then
//                                   answers one message on the port it
//                                   got with its id + 100 and the right's
//                                   type as the reply's body
//   portpeer folder SERVICE          prints the ports' folder ("folder
//                                   PATH"), the file of a new port ("port
//                                   PATH" or "port none") and the result
//                                   of checking SERVICE in ("service N")
//   portpeer crash HOW [SERVICE [MS]]
//                                   prints its crashing thread's id and
//                                   crashes (segv, signal, abort, fpe) on that
//                                   thread, with the exception port set
//                                   to SERVICE when given, waiting MS for
//                                   the answer

#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <vector>

#include "crash/util/child_port_handshake.h"
#include "crash/util/exception_ports.h"
#include "crash/util/mach_util.h"

using namespace crashwatch;

namespace {

struct Buffer {
    mach_msg_header_t header;
    char rest[4096];
};

int Echo(const char* service)
{
    base::mac::ScopedMachReceiveRight port = BootstrapRegister(service);
    if (!port.is_valid())
        return 3;
    puts("ready");
    fflush(stdout);
    Buffer in;
    if (mach_msg(&in.header, MACH_RCV_MSG, 0, sizeof(in), port.get(), 0, MACH_PORT_NULL) != MACH_MSG_SUCCESS)
        return 4;
    mach_msg_port_descriptor_t moved;
    memcpy(&moved, in.rest + sizeof(mach_msg_body_t), sizeof(moved));
    if (moved.disposition != MACH_MSG_TYPE_PORT_RECEIVE)
        return 5;
    for (;;) {
        if (mach_msg(&in.header, MACH_RCV_MSG, 0, sizeof(in), moved.name, 0, MACH_PORT_NULL) != MACH_MSG_SUCCESS)
            return 6;
        if (in.header.msgh_id == 1)
            return 0;
        // The answer carries the request's size and every byte after its
        // header.
        Buffer out = {};
        const uint32_t size = in.header.msgh_size;
        out.header.msgh_bits = MACH_MSGH_BITS(MACH_MSGH_BITS_REMOTE(in.header.msgh_bits), 0);
        out.header.msgh_remote_port = in.header.msgh_remote_port;
        out.header.msgh_id = in.header.msgh_id + 100;
        memcpy(out.rest, &size, sizeof(size));
        memcpy(out.rest + 4, in.rest, size - sizeof(mach_msg_header_t));
        out.header.msgh_size = static_cast<mach_msg_size_t>(sizeof(mach_msg_header_t) + 4 + ((size - 24 + 3) & ~3u));
        if (mach_msg(&out.header, MACH_SEND_MSG, out.header.msgh_size, 0, MACH_PORT_NULL, 0, MACH_PORT_NULL) !=
            MACH_MSG_SUCCESS)
            return 7;
    }
}

int HandshakeServer(int fd)
{
    ChildPortHandshake::PortRightType type = 0;
    const mach_port_t port = ChildPortHandshake::RunServerForFD(base::ScopedFD(fd), &type);
    if (port == MACH_PORT_NULL)
        return 3;
    Buffer in;
    if (mach_msg(&in.header, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof(in), port, 10000, MACH_PORT_NULL) !=
        MACH_MSG_SUCCESS)
        return 4;
    Buffer out = {};
    out.header.msgh_bits = MACH_MSGH_BITS(MACH_MSGH_BITS_REMOTE(in.header.msgh_bits), 0);
    out.header.msgh_size = sizeof(mach_msg_header_t) + sizeof(type);
    out.header.msgh_remote_port = in.header.msgh_remote_port;
    out.header.msgh_id = in.header.msgh_id + 100;
    memcpy(out.rest, &type, sizeof(type));
    return mach_msg(&out.header, MACH_SEND_MSG, out.header.msgh_size, 0, MACH_PORT_NULL, 0, MACH_PORT_NULL) ==
                   MACH_MSG_SUCCESS
               ? 0
               : 5;
}

int Folder(const char* service)
{
    printf("folder %s\n", PortDirectory());
    mach_port_t port = MACH_PORT_NULL;
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    if (mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port) == KERN_SUCCESS &&
        getsockname(PortReceiveDescriptor(port), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        printf("port %s\n", address.sun_path);
    else
        printf("port none\n");
    mach_port_t service_port = MACH_PORT_NULL;
    printf("service %d\n", bootstrap_check_in(bootstrap_port, service, &service_port));
    return 0;
}

const char* g_how;

void* CrashingThread(void*)
{
    printf("%ld\n", static_cast<long>(CurrentMachThread()));
    fflush(stdout);
    if (!strcmp(g_how, "segv")) {
        // A fault at a known address, which the message carries.
        volatile uintptr_t nowhere = 0x40;
        *reinterpret_cast<volatile int*>(nowhere) = 1;
    } else if (!strcmp(g_how, "signal")) {
        // Sent, not raised by a fault: there is no fault address.
        pthread_kill(pthread_self(), SIGSEGV);
    } else if (!strcmp(g_how, "abort")) {
        abort();
    } else if (!strcmp(g_how, "fpe")) {
        // An integer division by zero (the compiler would turn 1 / x into a
        // comparison).
        volatile int zero = 0;
        int divisor = zero;
        int quotient;
        asm volatile("movl $1, %%eax\n\tcltd\n\tidivl %1" : "=&a"(quotient) : "r"(divisor) : "edx");
        (void)quotient;
    }
    return nullptr;
}

int Crash(const char* how, const char* service, const char* wait_ms)
{
    if (wait_ms)
        SetExceptionReplyTimeout(atoi(wait_ms));
    // No core files from the test crashes.
    prctl(PR_SET_DUMPABLE, 0);
    if (service) {
        base::mac::ScopedMachSendRight port = BootstrapLookUp(service);
        // As the program registers its handler's port.
        if (!port.is_valid() || !ExceptionPorts(ExceptionPorts::kTargetTypeTask, MACH_PORT_NULL)
                                     .SetExceptionPort(ExceptionMaskForSystem() & 0x1c00, port.get(),
                                                       EXCEPTION_STATE_IDENTITY | MACH_EXCEPTION_CODES,
                                                       x86_THREAD_STATE))
            return 3;
    }
    g_how = how;
    pthread_t thread;
    pthread_create(&thread, nullptr, CrashingThread, nullptr);
    pthread_join(thread, nullptr);
    return 4;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && !strcmp(argv[1], "echo"))
        return Echo(argv[2]);
    if (argc >= 3 && !strcmp(argv[1], "handshake-server"))
        return HandshakeServer(atoi(argv[2]));
    if (argc >= 3 && !strcmp(argv[1], "folder"))
        return Folder(argv[2]);
    if (argc >= 3 && !strcmp(argv[1], "crash"))
        return Crash(argv[2], argc >= 4 ? argv[3] : nullptr, argc >= 5 ? argv[4] : nullptr);
    return 2;
}
