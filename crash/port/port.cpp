#include "crash/port/port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "crash/port/port_p.h"

namespace crashwatch {

const NDR_record_t NDR_record = {0, 0, 0, 0, 1, 0, 0, 0};
const mach_port_t bootstrap_port = 0x0b;

namespace {

constexpr mach_port_t kTaskName = 0x03;
constexpr mach_port_t kHostName = 0x07;
constexpr mach_port_t kThreadName = 0x0f;
constexpr mach_port_t kFirstName = 0x1000;

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
    std::vector<int> live;               // liveness channels travelling with it
    mach_port_t notify = MACH_PORT_NULL; // where its port-destroyed notification goes
    std::vector<Armed> armed;            // notifications this port will deliver
    int send = -1;                       // a send or send-once right: a connected socket
    uint32_t send_refs = 0;
    bool send_once = false;

    bool empty() const { return recv < 0 && send < 0 && armed.empty(); }
};

struct Table {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    std::map<mach_port_t, Entry> entries;
    mach_port_t next = kFirstName;
};

Table* g_table;

void LockTable() { pthread_mutex_lock(&g_table->lock); }
void UnlockTable() { pthread_mutex_unlock(&g_table->lock); }

void InitTable()
{
    g_table = new Table;
    // A forked child must not inherit a lock that another thread held.
    pthread_atfork(LockTable, UnlockTable, UnlockTable);
}

class Locked {
public:
    Locked()
    {
        static pthread_once_t once = PTHREAD_ONCE_INIT;
        pthread_once(&once, InitTable);
        LockTable();
    }
    ~Locked() { UnlockTable(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    std::map<mach_port_t, Entry>& entries() { return g_table->entries; }
    Entry* find(mach_port_t name)
    {
        auto it = g_table->entries.find(name);
        return it == g_table->entries.end() ? nullptr : &it->second;
    }
    // Names count up and are never given twice.
    mach_port_t add(Entry entry)
    {
        const mach_port_t name = g_table->next++;
        g_table->entries.emplace(name, std::move(entry));
        return name;
    }
    void dropIfEmpty(mach_port_t name)
    {
        auto it = g_table->entries.find(name);
        if (it != g_table->entries.end() && it->second.empty())
            g_table->entries.erase(it);
    }
};

void Close(int fd) { port_internal::CloseDescriptor(fd); }

int Dup(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }

uint64_t NowNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

constexpr uint64_t kForever = ~uint64_t{0};

// Milliseconds until deadline, rounded up, for poll; -1 waits for ever.
int PollTimeout(uint64_t deadline)
{
    if (deadline == kForever)
        return -1;
    const uint64_t now = NowNanoseconds();
    if (now >= deadline)
        return 0;
    const uint64_t ms = (deadline - now + 999999) / 1000000;
    return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

// A datagram socket that passes its senders' credentials, bound to
// address (or to an address of the kernel's choice when none is given).
int NewPortSocket(const sockaddr_un* address, socklen_t length)
{
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    sockaddr_un autobind = {};
    autobind.sun_family = AF_UNIX;
    if (setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof(on)) != 0 ||
        bind(fd, address ? reinterpret_cast<const sockaddr*>(address) : reinterpret_cast<sockaddr*>(&autobind),
             address ? length : sizeof(sa_family_t)) != 0) {
        const int error = errno;
        Close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int ConnectTo(const sockaddr_un& address, socklen_t length)
{
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int rv;
    do {
        rv = connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
    } while (rv != 0 && errno == EINTR);
    if (rv != 0) {
        const int error = errno;
        Close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// A new send right to the port behind a receive socket.
int ConnectToPort(int recv)
{
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    if (getsockname(recv, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ConnectTo(address, length);
}

// Lets go of the receive right an entry holds. When its port-destroyed
// notification was requested, the socket is kept with the notify port until
// keep_live, the staying end of its liveness channel, hangs up.
void ReleaseReceive(Locked& table, Entry& entry, int keep_live)
{
    Entry* notify = entry.notify ? table.find(entry.notify) : nullptr;
    if (notify && notify->recv >= 0 && keep_live >= 0) {
        notify->armed.push_back({keep_live, entry.recv});
    } else {
        Close(keep_live);
        Close(entry.recv);
    }
    entry.recv = -1;
    entry.notify = MACH_PORT_NULL;
    for (int fd : entry.live)
        Close(fd);
    entry.live.clear();
    for (const Armed& armed : entry.armed) {
        Close(armed.live);
        Close(armed.recv);
    }
    entry.armed.clear();
}

// Destroys a receive right: a requested notification gets a channel that
// has already hung up, so it is delivered at once.
void DestroyReceive(Locked& table, Entry& entry)
{
    int pair[2] = {-1, -1};
    if (entry.notify && socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) == 0)
        Close(pair[1]);
    ReleaseReceive(table, entry, pair[0]);
}

// The entry of name for a call on task, or nullptr with the call's result
// in *kr.
Entry* EntryForCall(Locked& table, mach_port_t task, mach_port_t name, kern_return_t* kr)
{
    if (task != kTaskName) {
        *kr = KERN_INVALID_TASK;
        return nullptr;
    }
    Entry* entry = table.find(name);
    if (!entry)
        *kr = KERN_INVALID_NAME;
    return entry;
}

void DropSend(Entry& entry)
{
    if (entry.send_once || --entry.send_refs == 0) {
        Close(entry.send);
        entry.send = -1;
        entry.send_refs = 0;
        entry.send_once = false;
    }
}

bool IsSendDisposition(mach_msg_type_name_t type)
{
    return type >= MACH_MSG_TYPE_MOVE_SEND && type <= MACH_MSG_TYPE_MAKE_SEND_ONCE;
}

bool IsSendOnceDisposition(mach_msg_type_name_t type)
{
    return type == MACH_MSG_TYPE_MOVE_SEND_ONCE || type == MACH_MSG_TYPE_MAKE_SEND_ONCE;
}

// What arrives for a right given with type.
mach_msg_type_name_t ReceivedType(mach_msg_type_name_t type)
{
    if (type == MACH_MSG_TYPE_MOVE_RECEIVE)
        return MACH_MSG_TYPE_PORT_RECEIVE;
    return IsSendOnceDisposition(type) ? MACH_MSG_TYPE_PORT_SEND_ONCE : MACH_MSG_TYPE_PORT_SEND;
}

// ---------------------------------------------------------------- sending

struct Commit {
    enum Kind { kDropSend, kMoveReceive } kind;
    mach_port_t name;
    int keep_live;  // the liveness end that stays, for a moved receive right
};

struct SendPlan {
    std::vector<int> fds;  // descriptors to pass, all owned by the plan
    std::vector<Commit> commits;

    ~SendPlan()
    {
        for (int fd : fds)
            Close(fd);
    }
    void abandon()
    {
        for (const Commit& commit : commits)
            Close(commit.keep_live);
        commits.clear();
    }
};

// A descriptor to send a message on, or to pass as a send right, for name
// given with type; -1 when name holds no such right.
int SendDescriptorFor(Locked& table, mach_port_t name, mach_msg_type_name_t type, SendPlan* plan)
{
    Entry* entry = table.find(name);
    if (!entry)
        return -1;
    switch (type) {
    case MACH_MSG_TYPE_COPY_SEND:
    case MACH_MSG_TYPE_MOVE_SEND:
    case MACH_MSG_TYPE_MOVE_SEND_ONCE: {
        const bool once = type == MACH_MSG_TYPE_MOVE_SEND_ONCE;
        if (entry->send < 0 || entry->send_once != once)
            return -1;
        if (type != MACH_MSG_TYPE_COPY_SEND)
            plan->commits.push_back({Commit::kDropSend, name, -1});
        return Dup(entry->send);
    }
    case MACH_MSG_TYPE_MAKE_SEND:
    case MACH_MSG_TYPE_MAKE_SEND_ONCE:
        return entry->recv < 0 ? -1 : ConnectToPort(entry->recv);
    default:
        return -1;
    }
}

// Adds the descriptors of a moved receive right to the plan; the number of
// them, or 0 when name holds no receive right.
uint32_t PlanMoveReceive(Locked& table, mach_port_t name, SendPlan* plan)
{
    Entry* entry = table.find(name);
    if (!entry || entry->recv < 0 || entry->live.size() >= kMaxLiveness)
        return 0;
    for (const Commit& commit : plan->commits) {
        if (commit.kind == Commit::kMoveReceive && commit.name == name)
            return 0;
    }
    uint32_t count = 0;
    auto add = [&](int fd) {
        if (fd >= 0) {
            plan->fds.push_back(fd);
            ++count;
        }
        return fd >= 0;
    };
    if (!add(Dup(entry->recv)))
        return 0;
    for (int live : entry->live) {
        if (!add(Dup(live)))
            return 0;
    }
    int keep = -1;
    if (entry->notify) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
            return 0;
        keep = pair[0];
        add(pair[1]);
    }
    plan->commits.push_back({Commit::kMoveReceive, name, keep});
    return count;
}

// Brings the table up to date after a message left: moved rights go.
void ApplyCommits(Locked& table, std::vector<Commit>& commits)
{
    for (Commit& commit : commits) {
        Entry* entry = table.find(commit.name);
        if (!entry) {
            Close(commit.keep_live);
            continue;
        }
        if (commit.kind == Commit::kDropSend) {
            if (entry->send >= 0)
                DropSend(*entry);
        } else {
            ReleaseReceive(table, *entry, commit.keep_live);
        }
        table.dropIfEmpty(commit.name);
    }
    commits.clear();
}

mach_msg_return_t SendError(int error)
{
    switch (error) {
    case EMSGSIZE:
        return MACH_SEND_TOO_LARGE;
    case ENOBUFS:
    case ENOMEM:
        return MACH_SEND_NO_BUFFER;
    default:
        return MACH_SEND_INVALID_DEST;
    }
}

mach_msg_return_t SendMessage(const mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t size,
                              uint64_t deadline)
{
    if (size < sizeof(mach_msg_header_t) || size % 4 != 0)
        return MACH_SEND_MSG_TOO_SMALL;
    if (size > kMaxMessageSize)
        return MACH_SEND_TOO_LARGE;
    std::vector<char> wire(reinterpret_cast<const char*>(msg), reinterpret_cast<const char*>(msg) + size);
    auto* header = reinterpret_cast<mach_msg_header_t*>(wire.data());
    header->msgh_size = size;
    header->msgh_remote_port = 0;
    header->msgh_local_port = 0;
    header->msgh_voucher_port = 0;

    SendPlan plan;
    port_internal::OwnedDescriptor dest;
    {
        Locked table;
        dest.reset(SendDescriptorFor(table, msg->msgh_remote_port, MACH_MSGH_BITS_REMOTE(msg->msgh_bits), &plan));
        if (!dest.is_valid()) {
            plan.abandon();
            return MACH_SEND_INVALID_DEST;
        }
        const mach_msg_type_name_t reply_type = MACH_MSGH_BITS_LOCAL(msg->msgh_bits);
        if (msg->msgh_local_port != MACH_PORT_NULL) {
            const int fd = SendDescriptorFor(table, msg->msgh_local_port, reply_type, &plan);
            if (fd < 0) {
                plan.abandon();
                return MACH_SEND_INVALID_REPLY;
            }
            plan.fds.push_back(fd);
            header->msgh_local_port = 1;
        }
        if (msg->msgh_bits & MACH_MSGH_BITS_COMPLEX) {
            if (size < sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t)) {
                plan.abandon();
                return MACH_SEND_MSG_TOO_SMALL;
            }
            uint32_t count;
            memcpy(&count, wire.data() + sizeof(mach_msg_header_t), sizeof(count));
            const size_t first = sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t);
            if (count > kMaxDescriptors || first + count * sizeof(mach_msg_port_descriptor_t) > size) {
                plan.abandon();
                return MACH_SEND_MSG_TOO_SMALL;
            }
            for (uint32_t i = 0; i < count; ++i) {
                char* at = wire.data() + first + i * sizeof(mach_msg_port_descriptor_t);
                mach_msg_port_descriptor_t port;
                memcpy(&port, at, sizeof(port));
                if (port.type != MACH_MSG_PORT_DESCRIPTOR) {
                    plan.abandon();
                    return MACH_SEND_INVALID_TYPE;
                }
                uint32_t carried = 0;
                if (port.name != MACH_PORT_NULL && port.name != MACH_PORT_DEAD) {
                    if (port.disposition == MACH_MSG_TYPE_MOVE_RECEIVE) {
                        carried = PlanMoveReceive(table, port.name, &plan);
                    } else {
                        const int fd = SendDescriptorFor(table, port.name, port.disposition, &plan);
                        if (fd >= 0) {
                            plan.fds.push_back(fd);
                            carried = 1;
                        }
                    }
                    if (carried == 0) {
                        plan.abandon();
                        return MACH_SEND_INVALID_RIGHT;
                    }
                }
                port.name = carried;
                memcpy(at, &port, sizeof(port));
            }
        }
        if (plan.fds.size() > kMaxFds) {
            plan.abandon();
            return MACH_SEND_TOO_LARGE;
        }
    }

    iovec iov = {wire.data(), wire.size()};
    msghdr message = {};
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    std::vector<char> control;
    if (!plan.fds.empty()) {
        control.assign(CMSG_SPACE(sizeof(int) * plan.fds.size()), 0);
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        cmsghdr* cmsg = CMSG_FIRSTHDR(&message);
        cmsg->cmsg_level = SOL_SOCKET;
        cmsg->cmsg_type = SCM_RIGHTS;
        cmsg->cmsg_len = CMSG_LEN(sizeof(int) * plan.fds.size());
        memcpy(CMSG_DATA(cmsg), plan.fds.data(), sizeof(int) * plan.fds.size());
    }
    for (;;) {
        if (sendmsg(dest.get(), &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0)
            break;
        if (errno == EINTR) {
            if (option & MACH_SEND_INTERRUPT) {
                plan.abandon();
                return MACH_SEND_INTERRUPTED;
            }
            continue;
        }
        if (errno != EAGAIN) {
            const int error = errno;
            plan.abandon();
            return SendError(error);
        }
        // The receiver's queue is full: wait for room until the deadline.
        pollfd wait = {dest.get(), POLLOUT, 0};
        const int ready = poll(&wait, 1, PollTimeout(deadline));
        if (ready == 0) {
            plan.abandon();
            return MACH_SEND_TIMED_OUT;
        }
        if (ready < 0 && errno == EINTR && (option & MACH_SEND_INTERRUPT)) {
            plan.abandon();
            return MACH_SEND_INTERRUPTED;
        }
    }
    Locked table;
    ApplyCommits(table, plan.commits);
    return MACH_MSG_SUCCESS;
}

// -------------------------------------------------------------- receiving

void FillTrailer(char* at, mach_msg_size_t size, uint32_t uid, uint32_t gid, uint32_t pid)
{
    mach_msg_max_trailer_t trailer = {};
    trailer.msgh_trailer_type = 0;
    trailer.msgh_trailer_size = size;
    trailer.msgh_sender.val[0] = uid;
    trailer.msgh_sender.val[1] = gid;
    trailer.msgh_audit.val[1] = uid;
    trailer.msgh_audit.val[2] = gid;
    trailer.msgh_audit.val[3] = uid;
    trailer.msgh_audit.val[4] = gid;
    trailer.msgh_audit.val[5] = pid;
    memcpy(at, &trailer, size);
}

size_t RoundUp4(size_t size) { return (size + 3) & ~size_t{3}; }

// Dropped datagrams are logged at a bounded rate: anyone on the machine can
// send to a port's address, and no sender may fill the log. A drop gets an
// entry of its own when none was written for the interval; the drops in
// between are counted, and the count is written with the next entry or, by
// a receive that is waiting, once the interval is over.
pthread_mutex_t g_drop_lock = PTHREAD_MUTEX_INITIALIZER;
uint64_t g_drop_interval = 10 * uint64_t{1000000000};
bool g_drop_logged = false;
uint64_t g_drop_last_entry = 0;
uint64_t g_drops_unlogged = 0;

void NoteDroppedMessage(ssize_t length, pid_t pid, const char* reason)
{
    const uint64_t now = NowNanoseconds();
    uint64_t earlier = 0;
    pthread_mutex_lock(&g_drop_lock);
    const bool log = !g_drop_logged || now - g_drop_last_entry >= g_drop_interval;
    if (log) {
        earlier = g_drops_unlogged;
        g_drops_unlogged = 0;
        g_drop_logged = true;
        g_drop_last_entry = now;
    } else {
        ++g_drops_unlogged;
    }
    pthread_mutex_unlock(&g_drop_lock);
    if (!log)
        return;
    std::string text = "dropping message of " + std::to_string(length) + " bytes from pid " + std::to_string(pid) +
                       ": " + reason;
    if (earlier > 0)
        text += " (" + std::to_string(earlier) + " more dropped since the last entry)";
    port_internal::ReportWarning(__FILE__, __LINE__, text.c_str());
}

// When counted drops are due to be written; kForever when there are none.
uint64_t DroppedCountDue()
{
    pthread_mutex_lock(&g_drop_lock);
    const uint64_t due = g_drops_unlogged > 0 ? g_drop_last_entry + g_drop_interval : kForever;
    pthread_mutex_unlock(&g_drop_lock);
    return due;
}

// Writes the count of drops not yet logged once their interval is over.
void WriteDroppedCountIfDue()
{
    const uint64_t now = NowNanoseconds();
    uint64_t count = 0;
    pthread_mutex_lock(&g_drop_lock);
    if (g_drops_unlogged > 0 && now - g_drop_last_entry >= g_drop_interval) {
        count = g_drops_unlogged;
        g_drops_unlogged = 0;
        g_drop_last_entry = now;
    }
    pthread_mutex_unlock(&g_drop_lock);
    if (count > 0) {
        const std::string text = std::to_string(count) + " more messages dropped since the last entry";
        port_internal::ReportWarning(__FILE__, __LINE__, text.c_str());
    }
}

enum class Take { kDelivered, kRefused, kNothing, kTooLarge, kFailed };

// Why a datagram of length bytes with nfds descriptors is not a message we
// accept, or nullptr when it is one.
const char* MalformedReason(const char* data, size_t length, size_t nfds)
{
    if (length < sizeof(mach_msg_header_t))
        return "shorter than a header";
    mach_msg_header_t header;
    memcpy(&header, data, sizeof(header));
    if (header.msgh_size != length)
        return "size field differs from its length";
    if (length % 4 != 0)
        return "size not a multiple of 4";
    size_t carried = header.msgh_local_port;
    if (carried > 1 || (carried == 1 && !IsSendDisposition(MACH_MSGH_BITS_LOCAL(header.msgh_bits))))
        return "bad reply right";
    if (header.msgh_bits & MACH_MSGH_BITS_COMPLEX) {
        const size_t first = sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t);
        if (length < first)
            return "body missing";
        uint32_t count;
        memcpy(&count, data + sizeof(mach_msg_header_t), sizeof(count));
        if (count > kMaxDescriptors || first + count * sizeof(mach_msg_port_descriptor_t) > length)
            return "descriptors do not fit";
        for (uint32_t i = 0; i < count; ++i) {
            mach_msg_port_descriptor_t port;
            memcpy(&port, data + first + i * sizeof(port), sizeof(port));
            if (port.type != MACH_MSG_PORT_DESCRIPTOR)
                return "not a port descriptor";
            if (port.name == 0)
                continue;
            const bool receive = port.disposition == MACH_MSG_TYPE_MOVE_RECEIVE;
            if (receive ? port.name > 1 + kMaxLiveness : (!IsSendDisposition(port.disposition) || port.name != 1))
                return "bad port right";
            carried += port.name;
        }
    }
    if (carried != nfds)
        return "rights do not match their descriptors";
    return nullptr;
}

// Gives the received descriptors names and rewrites the message as it
// arrives: new names, remote and local port swapped, received types.
void InstallRights(char* data, mach_port_t rcv_name, const std::vector<int>& fds)
{
    Locked table;
    size_t next = 0;
    mach_msg_header_t header;
    memcpy(&header, data, sizeof(header));
    const mach_msg_type_name_t dest_type = MACH_MSGH_BITS_REMOTE(header.msgh_bits);
    mach_msg_type_name_t reply_type = 0;
    mach_port_t reply = MACH_PORT_NULL;
    if (header.msgh_local_port == 1) {
        Entry entry;
        entry.send = fds[next++];
        entry.send_once = IsSendOnceDisposition(MACH_MSGH_BITS_LOCAL(header.msgh_bits));
        entry.send_refs = entry.send_once ? 0 : 1;
        reply_type = ReceivedType(MACH_MSGH_BITS_LOCAL(header.msgh_bits));
        reply = table.add(std::move(entry));
    }
    header.msgh_bits = (header.msgh_bits & MACH_MSGH_BITS_COMPLEX) |
                       MACH_MSGH_BITS(reply_type, IsSendDisposition(dest_type) ? ReceivedType(dest_type) : 0);
    header.msgh_remote_port = reply;
    header.msgh_local_port = rcv_name;
    header.msgh_voucher_port = MACH_PORT_NULL;
    memcpy(data, &header, sizeof(header));
    if (!(header.msgh_bits & MACH_MSGH_BITS_COMPLEX))
        return;
    uint32_t count;
    memcpy(&count, data + sizeof(mach_msg_header_t), sizeof(count));
    char* first = data + sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t);
    for (uint32_t i = 0; i < count; ++i) {
        mach_msg_port_descriptor_t port;
        memcpy(&port, first + i * sizeof(port), sizeof(port));
        const uint32_t carried = port.name;
        if (carried == 0) {
            port.name = MACH_PORT_NULL;
        } else {
            Entry entry;
            if (port.disposition == MACH_MSG_TYPE_MOVE_RECEIVE) {
                entry.recv = fds[next++];
                for (uint32_t j = 1; j < carried; ++j)
                    entry.live.push_back(fds[next++]);
            } else {
                entry.send = fds[next++];
                entry.send_once = IsSendOnceDisposition(port.disposition);
                entry.send_refs = entry.send_once ? 0 : 1;
            }
            port.name = table.add(std::move(entry));
        }
        if (port.disposition >= MACH_MSG_TYPE_MOVE_RECEIVE && port.disposition <= MACH_MSG_TYPE_MAKE_SEND_ONCE)
            port.disposition = static_cast<uint8_t>(ReceivedType(port.disposition));
        memcpy(first + i * sizeof(port), &port, sizeof(port));
    }
}

// Dequeues the next datagram, closing whatever descriptors it carried.
void DiscardNext(int fd)
{
    char byte;
    iovec iov = {&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)];
    msghdr message = {};
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    if (recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC) < 0)
        return;
    for (cmsghdr* cmsg = CMSG_FIRSTHDR(&message); cmsg; cmsg = CMSG_NXTHDR(&message, cmsg)) {
        if (cmsg->cmsg_level == SOL_SOCKET && cmsg->cmsg_type == SCM_RIGHTS) {
            const size_t n = (cmsg->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < n; ++i) {
                int passed;
                memcpy(&passed, CMSG_DATA(cmsg) + i * sizeof(int), sizeof(int));
                Close(passed);
            }
        }
    }
}

Take TakeDatagram(int fd, mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t rcv_size,
                  mach_port_t rcv_name)
{
    const ssize_t length = recv(fd, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (length < 0)
        return errno == EAGAIN || errno == EINTR ? Take::kNothing : Take::kFailed;
    const mach_msg_size_t trailer = TrailerSizeForOptions(option);
    if (RoundUp4(static_cast<size_t>(length)) + trailer > rcv_size) {
        if ((option & MACH_RCV_LARGE) && rcv_size >= sizeof(mach_msg_header_t) &&
            static_cast<size_t>(length) >= sizeof(mach_msg_header_t)) {
            msg->msgh_size = static_cast<mach_msg_size_t>(length);
            return Take::kTooLarge;
        }
        DiscardNext(fd);
        return Take::kTooLarge;
    }

    char* data = reinterpret_cast<char*>(msg);
    iovec iov = {data, rcv_size - trailer};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds) + CMSG_SPACE(sizeof(ucred))];
    msghdr message = {};
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    const ssize_t got = recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (got < 0)
        return errno == EAGAIN || errno == EINTR ? Take::kNothing : Take::kFailed;

    std::vector<int> fds;
    const ucred* credentials = nullptr;
    for (cmsghdr* cmsg = CMSG_FIRSTHDR(&message); cmsg; cmsg = CMSG_NXTHDR(&message, cmsg)) {
        if (cmsg->cmsg_level != SOL_SOCKET)
            continue;
        if (cmsg->cmsg_type == SCM_RIGHTS) {
            const size_t n = (cmsg->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < n; ++i) {
                int passed;
                memcpy(&passed, CMSG_DATA(cmsg) + i * sizeof(int), sizeof(int));
                fds.push_back(passed);
            }
        } else if (cmsg->cmsg_type == SCM_CREDENTIALS && cmsg->cmsg_len >= CMSG_LEN(sizeof(ucred))) {
            credentials = reinterpret_cast<const ucred*>(CMSG_DATA(cmsg));
        }
    }

    const char* reason = nullptr;
    if (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))
        reason = "truncated";
    else if (!credentials)
        reason = "no sender credentials";
    else if (credentials->uid != geteuid())
        reason = "sent by another user";
    else
        reason = MalformedReason(data, static_cast<size_t>(got), fds.size());
    if (reason) {
        for (int passed : fds)
            Close(passed);
        NoteDroppedMessage(got, credentials ? credentials->pid : 0, reason);
        return Take::kRefused;
    }

    InstallRights(data, rcv_name, fds);
    FillTrailer(data + RoundUp4(static_cast<size_t>(got)), trailer, credentials->uid, credentials->gid,
                static_cast<uint32_t>(credentials->pid));
    return Take::kDelivered;
}

// Builds the port-destroyed notification for a hung-up liveness channel:
// the port's receive right comes back under a new name. Like any message
// too large for the buffer, it is dropped (the right destroyed) unless
// MACH_RCV_LARGE asks to keep it.
Take DeliverDestroyed(mach_port_t rcv_name, int live, mach_msg_header_t* msg, mach_msg_option_t option,
                      mach_msg_size_t rcv_size)
{
    const mach_msg_size_t trailer = TrailerSizeForOptions(option);
    const bool fits = sizeof(mach_port_destroyed_notification_t) + trailer <= rcv_size;
    Locked table;
    Entry* notify = table.find(rcv_name);
    if (!notify)
        return Take::kNothing;
    for (auto it = notify->armed.begin(); it != notify->armed.end(); ++it) {
        if (it->live != live)
            continue;
        if (!fits && (option & MACH_RCV_LARGE)) {
            msg->msgh_size = sizeof(mach_port_destroyed_notification_t);
            return Take::kTooLarge;
        }
        const int recv = it->recv;
        Close(it->live);
        notify->armed.erase(it);
        if (!fits) {
            Close(recv);
            return Take::kTooLarge;
        }
        Entry entry;
        entry.recv = recv;
        mach_port_destroyed_notification_t notification = {};
        notification.not_header.msgh_bits =
            MACH_MSGH_BITS_COMPLEX | MACH_MSGH_BITS(0, MACH_MSG_TYPE_PORT_SEND_ONCE);
        notification.not_header.msgh_size = sizeof(notification);
        notification.not_header.msgh_local_port = rcv_name;
        notification.not_header.msgh_id = MACH_NOTIFY_PORT_DESTROYED;
        notification.not_body.msgh_descriptor_count = 1;
        notification.not_port.name = table.add(std::move(entry));
        notification.not_port.disposition = MACH_MSG_TYPE_PORT_RECEIVE;
        notification.not_port.type = MACH_MSG_PORT_DESCRIPTOR;
        memcpy(msg, &notification, sizeof(notification));
        FillTrailer(reinterpret_cast<char*>(msg) + sizeof(notification), trailer, geteuid(), getegid(), 0);
        return Take::kDelivered;
    }
    return Take::kNothing;
}

mach_msg_return_t ReceiveMessage(mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t rcv_size,
                                 mach_port_t rcv_name, uint64_t deadline)
{
    if (TrailerSizeForOptions(option) > rcv_size)
        return MACH_RCV_TOO_LARGE;
    for (;;) {
        port_internal::OwnedDescriptor fd;
        std::vector<pollfd> waits;
        {
            Locked table;
            Entry* entry = table.find(rcv_name);
            if (!entry || entry->recv < 0)
                return MACH_RCV_INVALID_NAME;
            fd.reset(Dup(entry->recv));
            if (!fd.is_valid())
                return MACH_RCV_INVALID_NAME;
            waits.push_back({fd.get(), POLLIN, 0});
            // Only a hang-up counts: data a holder writes on its end must
            // neither wake us nor count as its end.
            for (const Armed& armed : entry->armed)
                waits.push_back({armed.live, 0, 0});
        }
        // A waiting receive wakes to write the count of dropped datagrams.
        const uint64_t due = DroppedCountDue();
        const int ready = poll(waits.data(), waits.size(), PollTimeout(due < deadline ? due : deadline));
        if (ready < 0) {
            if (errno == EINTR && (option & MACH_RCV_INTERRUPT))
                return MACH_RCV_INTERRUPTED;
            continue;
        }
        if (ready == 0) {
            WriteDroppedCountIfDue();
            if (PollTimeout(deadline) == 0)
                return MACH_RCV_TIMED_OUT;
            continue;
        }
        if (waits[0].revents) {
            switch (TakeDatagram(fd.get(), msg, option, rcv_size, rcv_name)) {
            case Take::kDelivered:
                return MACH_MSG_SUCCESS;
            case Take::kTooLarge:
                return MACH_RCV_TOO_LARGE;
            case Take::kFailed:
                return MACH_RCV_INVALID_NAME;
            case Take::kRefused:
            case Take::kNothing:
                break;
            }
        }
        for (size_t i = 1; i < waits.size(); ++i) {
            if (!(waits[i].revents & (POLLHUP | POLLERR)))
                continue;
            switch (DeliverDestroyed(rcv_name, waits[i].fd, msg, option, rcv_size)) {
            case Take::kDelivered:
                return MACH_MSG_SUCCESS;
            case Take::kTooLarge:
                return MACH_RCV_TOO_LARGE;
            default:
                break;
            }
        }
    }
}

// The service's address: per user, with long names replaced by their hash.
void ServiceAddress(const char* name, sockaddr_un* address, socklen_t* length)
{
    std::string text = "lumora-crashwatch." + std::to_string(geteuid()) + ".";
    const size_t room = sizeof(address->sun_path) - 1;
    const size_t name_length = strlen(name);
    if (text.size() + name_length <= room) {
        text += name;
    } else {
        uint64_t a = 0xcbf29ce484222325u, b = 0x84222325cbf29ce4u;
        for (size_t i = 0; i < name_length; ++i) {
            a = (a ^ static_cast<unsigned char>(name[i])) * 0x100000001b3u;
            b = (b ^ static_cast<unsigned char>(name[i])) * 0x100000001b3u + i;
        }
        char hash[40];
        snprintf(hash, sizeof(hash), "#%016llx%016llx", static_cast<unsigned long long>(a),
                 static_cast<unsigned long long>(b));
        text += hash;
    }
    *address = {};
    address->sun_family = AF_UNIX;
    memcpy(address->sun_path + 1, text.data(), text.size());
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + text.size());
}

}  // namespace

mach_msg_size_t TrailerSizeForOptions(mach_msg_option_t option)
{
    switch ((static_cast<uint32_t>(option) >> 24) & 0xf) {
    case 0:
        return 8;
    case 1:
        return 12;
    case 2:
        return 20;
    case 3:
        return 52;
    case 4:
        return 60;
    default:
        return 68;
    }
}

mach_port_t mach_task_self() { return kTaskName; }
mach_port_t mach_host_self() { return kHostName; }
mach_port_t mach_thread_self() { return kThreadName; }

kern_return_t mach_port_allocate(mach_port_t task, mach_port_right_t right, mach_port_t* name)
{
    if (task != kTaskName)
        return KERN_INVALID_TASK;
    if (right != MACH_PORT_RIGHT_RECEIVE)
        return KERN_INVALID_VALUE;
    Entry entry;
    entry.recv = NewPortSocket(nullptr, 0);
    if (entry.recv < 0)
        return KERN_RESOURCE_SHORTAGE;
    Locked table;
    *name = table.add(std::move(entry));
    return KERN_SUCCESS;
}

kern_return_t mach_port_extract_right(mach_port_t task, mach_port_t name, mach_msg_type_name_t type,
                                      mach_port_t* right, mach_msg_type_name_t* acquired)
{
    if (type != MACH_MSG_TYPE_MAKE_SEND && type != MACH_MSG_TYPE_MAKE_SEND_ONCE)
        return KERN_INVALID_VALUE;
    Locked table;
    kern_return_t kr;
    Entry* entry = EntryForCall(table, task, name, &kr);
    if (!entry)
        return kr;
    if (entry->recv < 0)
        return KERN_INVALID_RIGHT;
    if (type == MACH_MSG_TYPE_MAKE_SEND && entry->send >= 0) {
        if (entry->send_refs >= 0xffff)
            return KERN_UREFS_OVERFLOW;
        ++entry->send_refs;
        *right = name;
        *acquired = MACH_MSG_TYPE_PORT_SEND;
        return KERN_SUCCESS;
    }
    const int fd = ConnectToPort(entry->recv);
    if (fd < 0)
        return KERN_RESOURCE_SHORTAGE;
    if (type == MACH_MSG_TYPE_MAKE_SEND) {
        entry->send = fd;
        entry->send_refs = 1;
        *right = name;
        *acquired = MACH_MSG_TYPE_PORT_SEND;
    } else {
        Entry once;
        once.send = fd;
        once.send_once = true;
        *right = table.add(std::move(once));
        *acquired = MACH_MSG_TYPE_PORT_SEND_ONCE;
    }
    return KERN_SUCCESS;
}

kern_return_t mach_port_mod_refs(mach_port_t task, mach_port_t name, mach_port_right_t right, int delta)
{
    Locked table;
    kern_return_t kr;
    Entry* entry = EntryForCall(table, task, name, &kr);
    if (!entry)
        return kr;
    switch (right) {
    case MACH_PORT_RIGHT_RECEIVE:
        if (entry->recv < 0)
            return KERN_INVALID_RIGHT;
        if (delta < -1 || delta > 0)
            return KERN_INVALID_VALUE;
        if (delta == -1)
            DestroyReceive(table, *entry);
        break;
    case MACH_PORT_RIGHT_SEND: {
        if (entry->send < 0 || entry->send_once)
            return KERN_INVALID_RIGHT;
        const int64_t refs = int64_t{entry->send_refs} + delta;
        if (refs < 0)
            return KERN_INVALID_VALUE;
        if (refs > 0xffff)
            return KERN_UREFS_OVERFLOW;
        entry->send_refs = static_cast<uint32_t>(refs);
        if (refs == 0) {
            Close(entry->send);
            entry->send = -1;
        }
        break;
    }
    case MACH_PORT_RIGHT_SEND_ONCE:
        if (entry->send < 0 || !entry->send_once)
            return KERN_INVALID_RIGHT;
        if (delta < -1 || delta > 0)
            return KERN_INVALID_VALUE;
        if (delta == -1)
            DropSend(*entry);
        break;
    default:
        return KERN_INVALID_VALUE;
    }
    table.dropIfEmpty(name);
    return KERN_SUCCESS;
}

kern_return_t mach_port_deallocate(mach_port_t task, mach_port_t name)
{
    Locked table;
    kern_return_t kr;
    Entry* entry = EntryForCall(table, task, name, &kr);
    if (!entry)
        return kr;
    if (entry->send < 0)
        return KERN_INVALID_RIGHT;
    DropSend(*entry);
    table.dropIfEmpty(name);
    return KERN_SUCCESS;
}

kern_return_t mach_port_request_notification(mach_port_t task, mach_port_t name, mach_msg_id_t variant,
                                             uint32_t, mach_port_t notify, mach_msg_type_name_t type,
                                             mach_port_t* previous)
{
    if (variant != MACH_NOTIFY_PORT_DESTROYED || (notify && type != MACH_MSG_TYPE_MAKE_SEND_ONCE))
        return KERN_INVALID_VALUE;
    Locked table;
    kern_return_t kr;
    Entry* entry = EntryForCall(table, task, name, &kr);
    if (!entry)
        return kr;
    if (entry->recv < 0)
        return KERN_INVALID_RIGHT;
    if (notify) {
        Entry* target = table.find(notify);
        if (!target || target->recv < 0 || notify == name)
            return KERN_INVALID_CAPABILITY;
    }
    entry->notify = notify;
    *previous = MACH_PORT_NULL;
    return KERN_SUCCESS;
}

mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t send_size,
                           mach_msg_size_t rcv_size, mach_port_t rcv_name, mach_msg_timeout_t timeout,
                           mach_port_t)
{
    const uint64_t start = NowNanoseconds();
    if (option & MACH_SEND_MSG) {
        const uint64_t deadline =
            (option & MACH_SEND_TIMEOUT) ? start + uint64_t{timeout} * 1000000u : kForever;
        const mach_msg_return_t result = SendMessage(msg, option, send_size, deadline);
        if (result != MACH_MSG_SUCCESS)
            return result;
    }
    if (option & MACH_RCV_MSG) {
        const uint64_t deadline = (option & MACH_RCV_TIMEOUT) ? start + uint64_t{timeout} * 1000000u : kForever;
        return ReceiveMessage(msg, option, rcv_size, rcv_name, deadline);
    }
    return MACH_MSG_SUCCESS;
}

void mach_msg_destroy(mach_msg_header_t* msg)
{
    auto destroy = [](mach_port_t name, mach_msg_type_name_t type) {
        if (name == MACH_PORT_NULL || name == MACH_PORT_DEAD)
            return;
        if (type == MACH_MSG_TYPE_PORT_RECEIVE)
            mach_port_mod_refs(kTaskName, name, MACH_PORT_RIGHT_RECEIVE, -1);
        else if (type == MACH_MSG_TYPE_PORT_SEND || type == MACH_MSG_TYPE_PORT_SEND_ONCE)
            mach_port_deallocate(kTaskName, name);
    };
    destroy(msg->msgh_remote_port, MACH_MSGH_BITS_REMOTE(msg->msgh_bits));
    if (!(msg->msgh_bits & MACH_MSGH_BITS_COMPLEX))
        return;
    const char* data = reinterpret_cast<const char*>(msg);
    uint32_t count;
    memcpy(&count, data + sizeof(mach_msg_header_t), sizeof(count));
    const char* first = data + sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t);
    for (uint32_t i = 0; i < count && first + (i + 1) * sizeof(mach_msg_port_descriptor_t) <= data + msg->msgh_size;
         ++i) {
        mach_msg_port_descriptor_t port;
        memcpy(&port, first + i * sizeof(port), sizeof(port));
        if (port.type == MACH_MSG_PORT_DESCRIPTOR)
            destroy(port.name, port.disposition);
    }
}

kern_return_t bootstrap_check_in(mach_port_t, const char* service_name, mach_port_t* service_port)
{
    sockaddr_un address;
    socklen_t length;
    ServiceAddress(service_name, &address, &length);
    Entry entry;
    entry.recv = NewPortSocket(&address, length);
    if (entry.recv < 0)
        return errno == EADDRINUSE ? BOOTSTRAP_NAME_IN_USE : BOOTSTRAP_NOT_PRIVILEGED;
    Locked table;
    *service_port = table.add(std::move(entry));
    return BOOTSTRAP_SUCCESS;
}

kern_return_t bootstrap_look_up(mach_port_t, const char* service_name, mach_port_t* service_port)
{
    sockaddr_un address;
    socklen_t length;
    ServiceAddress(service_name, &address, &length);
    Entry entry;
    entry.send = ConnectTo(address, length);
    if (entry.send < 0)
        return errno == ECONNREFUSED || errno == ENOENT ? BOOTSTRAP_UNKNOWN_SERVICE : BOOTSTRAP_NOT_PRIVILEGED;
    entry.send_refs = 1;
    Locked table;
    *service_port = table.add(std::move(entry));
    return BOOTSTRAP_SUCCESS;
}

const char* mach_error_string(kern_return_t code)
{
    switch (code) {
    case KERN_SUCCESS:
        return "(os/kern) successful";
    case KERN_INVALID_ARGUMENT:
        return "(os/kern) invalid argument";
    case KERN_FAILURE:
        return "(os/kern) failure";
    case KERN_RESOURCE_SHORTAGE:
        return "(os/kern) resource shortage";
    case KERN_INVALID_NAME:
        return "(os/kern) invalid name";
    case KERN_INVALID_TASK:
        return "(os/kern) invalid task";
    case KERN_INVALID_RIGHT:
        return "(os/kern) invalid right";
    case KERN_INVALID_VALUE:
        return "(os/kern) invalid value";
    case KERN_UREFS_OVERFLOW:
        return "(os/kern) urefs overflow";
    case KERN_INVALID_CAPABILITY:
        return "(os/kern) invalid capability";
    case KERN_NOT_SUPPORTED:
        return "(os/kern) operation not supported";
    case MACH_SEND_INVALID_DATA:
        return "(ipc/send) invalid data";
    case MACH_SEND_INVALID_DEST:
        return "(ipc/send) invalid destination port";
    case MACH_SEND_TIMED_OUT:
        return "(ipc/send) timed out";
    case MACH_SEND_INTERRUPTED:
        return "(ipc/send) interrupted";
    case MACH_SEND_MSG_TOO_SMALL:
        return "(ipc/send) message size changed while being copied";
    case MACH_SEND_INVALID_REPLY:
        return "(ipc/send) invalid reply port";
    case MACH_SEND_INVALID_RIGHT:
        return "(ipc/send) invalid port right";
    case MACH_SEND_NO_BUFFER:
        return "(ipc/send) no buffer space";
    case MACH_SEND_TOO_LARGE:
        return "(ipc/send) message too large";
    case MACH_SEND_INVALID_TYPE:
        return "(ipc/send) invalid msg-type";
    case MACH_RCV_INVALID_NAME:
        return "(ipc/rcv) invalid name";
    case MACH_RCV_TIMED_OUT:
        return "(ipc/rcv) timed out";
    case MACH_RCV_TOO_LARGE:
        return "(ipc/rcv) message too large";
    case MACH_RCV_INTERRUPTED:
        return "(ipc/rcv) interrupted";
    case MACH_RCV_INVALID_TRAILER:
        return "(ipc/rcv) invalid trailer";
    case MIG_TYPE_ERROR:
        return "(ipc/mig) type check error";
    case MIG_BAD_ID:
        return "(ipc/mig) bad request message ID";
    case MIG_BAD_ARGUMENTS:
        return "(ipc/mig) server detected bad arguments";
    case MIG_NO_REPLY:
        return "(ipc/mig) no reply should be sent";
    default:
        return "unknown error code";
    }
}

const char* bootstrap_strerror(kern_return_t code)
{
    switch (code) {
    case BOOTSTRAP_SUCCESS:
        return "Success";
    case BOOTSTRAP_NOT_PRIVILEGED:
        return "Permission denied";
    case BOOTSTRAP_NAME_IN_USE:
        return "Service name already exists";
    case BOOTSTRAP_UNKNOWN_SERVICE:
        return "Unknown service name";
    case BOOTSTRAP_SERVICE_ACTIVE:
        return "Service already active";
    case BOOTSTRAP_BAD_COUNT:
        return "Too many lookups were requested in one request";
    case BOOTSTRAP_NO_MEMORY:
        return "Out of memory";
    case BOOTSTRAP_NO_CHILDREN:
        return "No children";
    default:
        return mach_error_string(code);
    }
}

void SetDroppedMessageLogInterval(int milliseconds)
{
    pthread_mutex_lock(&g_drop_lock);
    g_drop_interval = uint64_t(milliseconds < 0 ? 0 : milliseconds) * 1000000u;
    pthread_mutex_unlock(&g_drop_lock);
}

int PortReceiveDescriptor(mach_port_t name)
{
    Locked table;
    Entry* entry = table.find(name);
    return entry ? entry->recv : -1;
}

namespace {
std::atomic<PortWarningReporter> g_warning_reporter{nullptr};
}  // namespace

void SetPortWarningReporter(PortWarningReporter reporter)
{
    g_warning_reporter = reporter;
}

namespace port_internal {

void ReportWarning(const char* file, int line, const char* text)
{
    if (const PortWarningReporter reporter = g_warning_reporter) {
        reporter(file, line, text);
        return;
    }
    const std::string out = std::string(text) + "\n";
    if (write(STDERR_FILENO, out.data(), out.size()) < 0) {
        // Nowhere else to say it.
    }
}

}  // namespace port_internal

namespace internal {

int DuplicateSendDescriptor(mach_port_t name)
{
    Locked table;
    Entry* entry = table.find(name);
    return entry && entry->send >= 0 ? Dup(entry->send) : -1;
}

mach_port_t AdoptSendDescriptor(int fd)
{
    Entry entry;
    entry.send = fd;
    entry.send_refs = 1;
    Locked table;
    return table.add(std::move(entry));
}

}  // namespace internal

}  // namespace crashwatch
