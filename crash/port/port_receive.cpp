// Receiving: a datagram becomes a message once it is known to come from
// this user and to be well formed; anything else is dropped and logged.
// Port-destroyed notifications are delivered here too (see README-ports.md).

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "crash/port/port.h"
#include "crash/port/port_p.h"

namespace crashwatch {

using namespace port_internal;

namespace {

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

// What came with a datagram besides its bytes.
struct Control {
    std::vector<int> fds;  // passed descriptors, ours to close
    bool has_credentials = false;
    ucred credentials = {};
    int flags = 0;  // the receive's msg_flags
};

// Receives the next datagram into data (at most size bytes) with what came
// with it; with MSG_PEEK it stays queued, and the descriptors are copies.
ssize_t ReceiveDatagram(int fd, void* data, size_t size, int flags, Control* control)
{
    iovec iov = {data, size};
    alignas(cmsghdr) char buffer[CMSG_SPACE(sizeof(int) * kMaxFds) + CMSG_SPACE(sizeof(ucred))];
    msghdr message = {};
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = buffer;
    message.msg_controllen = sizeof(buffer);
    const ssize_t got = recvmsg(fd, &message, flags | MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (got < 0)
        return got;
    control->flags = message.msg_flags;
    for (cmsghdr* cmsg = CMSG_FIRSTHDR(&message); cmsg; cmsg = CMSG_NXTHDR(&message, cmsg)) {
        if (cmsg->cmsg_level != SOL_SOCKET)
            continue;
        if (cmsg->cmsg_type == SCM_RIGHTS) {
            const size_t n = (cmsg->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < n; ++i) {
                int passed;
                memcpy(&passed, CMSG_DATA(cmsg) + i * sizeof(int), sizeof(int));
                control->fds.push_back(passed);
            }
        } else if (cmsg->cmsg_type == SCM_CREDENTIALS && cmsg->cmsg_len >= CMSG_LEN(sizeof(ucred))) {
            memcpy(&control->credentials, CMSG_DATA(cmsg), sizeof(ucred));
            control->has_credentials = true;
        }
    }
    return got;
}

void CloseAll(const std::vector<int>& fds)
{
    for (int passed : fds)
        Close(passed);
}

// Why a datagram is refused for its sender, or nullptr when this user sent
// it.
const char* SenderRefusal(const Control& control)
{
    if (!control.has_credentials)
        return "no sender credentials";
    if (control.credentials.uid != geteuid())
        return "sent by another user";
    return nullptr;
}

// Dequeues the next datagram, closing whatever descriptors it carried.
void DiscardNext(int fd)
{
    char byte;
    Control control;
    if (ReceiveDatagram(fd, &byte, 1, 0, &control) >= 0)
        CloseAll(control.fds);
}

Take TakeDatagram(int fd, mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t rcv_size,
                  mach_port_t rcv_name)
{
    const ssize_t length = recv(fd, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (length < 0)
        return errno == EAGAIN || errno == EINTR ? Take::kNothing : Take::kFailed;
    const mach_msg_size_t trailer = TrailerSizeForOptions(option);
    if (RoundUp4(static_cast<size_t>(length)) + trailer > rcv_size) {
        // Only this user's own side hears of a message too large for the
        // buffer; another user's is refused whatever its size, so that it
        // too reaches only the bounded log of drops.
        char byte;
        Control sender;
        if (ReceiveDatagram(fd, &byte, 1, MSG_PEEK, &sender) < 0)
            return errno == EAGAIN || errno == EINTR ? Take::kNothing : Take::kFailed;
        CloseAll(sender.fds);
        if (const char* reason = SenderRefusal(sender)) {
            DiscardNext(fd);
            NoteDroppedMessage(length, sender.has_credentials ? sender.credentials.pid : 0, reason);
            return Take::kRefused;
        }
        if ((option & MACH_RCV_LARGE) && rcv_size >= sizeof(mach_msg_header_t) &&
            static_cast<size_t>(length) >= sizeof(mach_msg_header_t)) {
            msg->msgh_size = static_cast<mach_msg_size_t>(length);
            return Take::kTooLarge;
        }
        DiscardNext(fd);
        return Take::kTooLarge;
    }

    char* data = reinterpret_cast<char*>(msg);
    Control control;
    const ssize_t got = ReceiveDatagram(fd, data, rcv_size - trailer, 0, &control);
    if (got < 0)
        return errno == EAGAIN || errno == EINTR ? Take::kNothing : Take::kFailed;

    const char* reason = (control.flags & (MSG_TRUNC | MSG_CTRUNC)) ? "truncated" : SenderRefusal(control);
    if (!reason)
        reason = MalformedReason(data, static_cast<size_t>(got), control.fds.size());
    if (reason) {
        CloseAll(control.fds);
        NoteDroppedMessage(got, control.has_credentials ? control.credentials.pid : 0, reason);
        return Take::kRefused;
    }

    InstallRights(data, rcv_name, control.fds);
    FillTrailer(data + RoundUp4(static_cast<size_t>(got)), trailer, control.credentials.uid,
                control.credentials.gid, static_cast<uint32_t>(control.credentials.pid));
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

}  // namespace

namespace port_internal {

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

}  // namespace port_internal

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

}  // namespace crashwatch
