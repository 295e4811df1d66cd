#pragma once
// What the port files share beyond port.h: descriptors and deadlines, the
// name table and its entries, the sockets behind rights, the two halves of
// mach_msg and the log of refused datagrams. The ports include nothing else
// of the project, as the crash client's own code is written against them.
//
//   port_rights.cpp     the name table, the sockets behind rights and the
//                       calls on rights
//   port_send.cpp       sending: rights that leave with a message
//   port_receive.cpp    receiving: refusing malformed or foreign datagrams,
//                       installing the rights that came, notifications
//   port_bootstrap.cpp  service names: check-in and look-up
//   port_directory.cpp  the private folder the sockets are bound in
//   port.cpp            mach_msg, the error texts, warnings and the bounded
//                       log of dropped datagrams
//   port_exception.cpp  crash signals as exception messages

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <vector>

#include "crash/port/port.h"

namespace crashwatch {
namespace port_internal {

// The raw system call, unlike close(3), is not a cancellation point.
inline void CloseDescriptor(int fd)
{
    if (fd >= 0)
        syscall(SYS_close, fd);
}

// Closes the descriptor it holds when destroyed or reset.
class OwnedDescriptor {
public:
    OwnedDescriptor() = default;
    ~OwnedDescriptor() { reset(); }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;

    int get() const { return fd_; }
    bool is_valid() const { return fd_ >= 0; }
    void reset(int fd = -1)
    {
        CloseDescriptor(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Hands a refused message's report to the reporter set with
// SetPortWarningReporter.
void ReportWarning(const char* file, int line, const char* text);

inline void Close(int fd) { CloseDescriptor(fd); }

inline int Dup(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }

constexpr uint64_t kForever = ~uint64_t{0};

// Milliseconds until deadline, rounded up, for poll; -1 waits for ever.
inline int PollTimeout(uint64_t deadline)
{
    if (deadline == kForever)
        return -1;
    const uint64_t now = MonotonicTimeNanoseconds();
    if (now >= deadline)
        return 0;
    const uint64_t ms = (deadline - now + 999999) / 1000000;
    return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

constexpr mach_port_t kTaskName = 0x03;

// Limits of what one message may carry.
constexpr size_t kMaxDescriptors = 64;
constexpr size_t kMaxLiveness = 8;
constexpr size_t kMaxFds = 64;
constexpr size_t kMaxMessageSize = 64 * 1024;

// A port-destroyed notification waiting for its liveness channel to hang up.
struct Armed {
    int live;  // the end that stays here
    int recv;  // this process's own descriptor of the moved port
};

struct Entry {
    int recv = -1;                       // the receive right: a bound socket
    bool bound_here = false;             // its socket was bound by this process
    std::vector<int> live;               // liveness channels travelling with it
    mach_port_t notify = MACH_PORT_NULL; // where its port-destroyed notification goes
    std::vector<Armed> armed;            // notifications this port will deliver
    int send = -1;                       // a send or send-once right: a connected socket
    uint32_t send_refs = 0;
    bool send_once = false;

    bool empty() const { return recv < 0 && send < 0 && armed.empty(); }
};

// The process's name table, locked while an object of this class lives.
class Locked {
public:
    Locked();
    ~Locked();
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    std::map<mach_port_t, Entry>& entries();
    Entry* find(mach_port_t name);
    // Names count up and are never given twice.
    mach_port_t add(Entry entry);
    void dropIfEmpty(mach_port_t name);
};

// The addresses of ports: socket files in a folder that only this user may
// enter (port_directory.cpp). False, with errno set, when there is none.
bool ServiceAddress(const char* name, sockaddr_un* address, socklen_t* length);
bool NewPortAddress(sockaddr_un* address, socklen_t* length);
// Removes the socket file at address when no socket is bound to it any more
// (its process crashed); true when it was removed.
bool TakeOverLeftSocket(const sockaddr_un& address);
// Removes the file of a port whose receive right is destroyed.
void RemovePortFile(int recv);

// The sockets behind rights (port_rights.cpp).

// A datagram socket that passes its senders' credentials, bound to
// address (or to a new address in the private folder when none is given).
int NewPortSocket(const sockaddr_un* address, socklen_t length);
int ConnectTo(const sockaddr_un& address, socklen_t length);
// A new send right to the port behind a receive socket.
int ConnectToPort(int recv);

// Lets go of the receive right an entry holds. When its port-destroyed
// notification was requested, the socket is kept with the notify port until
// keep_live, the staying end of its liveness channel, hangs up.
void ReleaseReceive(Locked& table, Entry& entry, int keep_live);
// Drops one reference of the entry's send or send-once right.
void DropSend(Entry& entry);

// The two halves of mach_msg (port_send.cpp, port_receive.cpp).
mach_msg_return_t SendMessage(const mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t size,
                              uint64_t deadline);
mach_msg_return_t ReceiveMessage(mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t rcv_size,
                                 mach_port_t rcv_name, uint64_t deadline);

// The bounded log of dropped datagrams (port.cpp).
void NoteDroppedMessage(ssize_t length, pid_t pid, const char* reason);
// When counted drops are due to be written; kForever when there are none.
uint64_t DroppedCountDue();
// Writes the count of drops not yet logged once their interval is over.
void WriteDroppedCountIfDue();

}  // namespace port_internal
}  // namespace crashwatch
