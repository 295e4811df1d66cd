// The process's name table, the sockets behind rights and the calls on
// rights (see README-ports.md).

#include <errno.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <map>
#include <vector>

#include "crash/port/port.h"
#include "crash/port/port_p.h"

namespace crashwatch {

using namespace port_internal;

namespace {

constexpr mach_port_t kHostName = 0x07;
constexpr mach_port_t kThreadName = 0x0f;
constexpr mach_port_t kFirstName = 0x1000;

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

// Closes a socket that could not be set up, keeping errno for the caller;
// -1.
int Abandon(int fd)
{
    const int error = errno;
    Close(fd);
    errno = error;
    return -1;
}

// Destroys a receive right: a requested notification gets a channel that
// has already hung up, so it is delivered at once.
void DestroyReceive(Locked& table, Entry& entry)
{
    // A port that was made here and never left ends here: its file goes
    // with it. (One that came from elsewhere may live on in its maker,
    // which keeps it for a notification.)
    if (!entry.notify && entry.bound_here)
        RemovePortFile(entry.recv);
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

// The entry of name for a call on its receive right, or nullptr with the
// call's result in *kr.
Entry* ReceiveEntryForCall(Locked& table, mach_port_t task, mach_port_t name, kern_return_t* kr)
{
    Entry* entry = EntryForCall(table, task, name, kr);
    if (entry && entry->recv < 0) {
        *kr = KERN_INVALID_RIGHT;
        return nullptr;
    }
    return entry;
}

}  // namespace

namespace port_internal {

Locked::Locked()
{
    static pthread_once_t once = PTHREAD_ONCE_INIT;
    pthread_once(&once, InitTable);
    LockTable();
}

Locked::~Locked() { UnlockTable(); }

std::map<mach_port_t, Entry>& Locked::entries() { return g_table->entries; }

Entry* Locked::find(mach_port_t name)
{
    auto it = g_table->entries.find(name);
    return it == g_table->entries.end() ? nullptr : &it->second;
}

mach_port_t Locked::add(Entry entry)
{
    const mach_port_t name = g_table->next++;
    g_table->entries.emplace(name, std::move(entry));
    return name;
}

void Locked::dropIfEmpty(mach_port_t name)
{
    auto it = g_table->entries.find(name);
    if (it != g_table->entries.end() && it->second.empty())
        g_table->entries.erase(it);
}

int NewPortSocket(const sockaddr_un* address, socklen_t length)
{
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof(on)) != 0)
        return Abandon(fd);
    if (address)
        return bind(fd, reinterpret_cast<const sockaddr*>(address), length) == 0 ? fd : Abandon(fd);
    // A new name; one already taken (by chance) is drawn again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        sockaddr_un fresh;
        socklen_t fresh_length;
        if (!NewPortAddress(&fresh, &fresh_length))
            return Abandon(fd);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&fresh), fresh_length) == 0)
            return fd;
        if (errno != EADDRINUSE)
            break;
    }
    return Abandon(fd);
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
    if (rv != 0)
        return Abandon(fd);
    return fd;
}

int ConnectToPort(int recv)
{
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    if (getsockname(recv, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ConnectTo(address, length);
}

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

void DropSend(Entry& entry)
{
    if (entry.send_once || --entry.send_refs == 0) {
        Close(entry.send);
        entry.send = -1;
        entry.send_refs = 0;
        entry.send_once = false;
    }
}

}  // namespace port_internal

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
    entry.bound_here = true;
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
    Entry* entry = ReceiveEntryForCall(table, task, name, &kr);
    if (!entry)
        return kr;
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
    Entry* entry = ReceiveEntryForCall(table, task, name, &kr);
    if (!entry)
        return kr;
    if (notify) {
        Entry* target = table.find(notify);
        if (!target || target->recv < 0 || notify == name)
            return KERN_INVALID_CAPABILITY;
    }
    entry->notify = notify;
    *previous = MACH_PORT_NULL;
    return KERN_SUCCESS;
}

int PortReceiveDescriptor(mach_port_t name)
{
    Locked table;
    Entry* entry = table.find(name);
    return entry ? entry->recv : -1;
}

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