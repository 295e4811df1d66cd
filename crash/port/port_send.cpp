// Sending: a message leaves as one datagram, with the rights it carries
// as descriptors; the rights it moves leave the name table once it is sent
// (see README-ports.md).

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>

#include <vector>

#include "crash/port/port.h"
#include "crash/port/port_p.h"

namespace crashwatch {

using namespace port_internal;

namespace {

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

}  // namespace

namespace port_internal {

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

}  // namespace port_internal

}  // namespace crashwatch
