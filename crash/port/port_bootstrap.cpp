// Service names: a service's port is bound to a socket file named after it
// in the ports' private folder (see README-ports.md).

#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "crash/port/port.h"
#include "crash/port/port_p.h"

namespace crashwatch {

using namespace port_internal;

const mach_port_t bootstrap_port = 0x0b;

kern_return_t bootstrap_check_in(mach_port_t, const char* service_name, mach_port_t* service_port)
{
    sockaddr_un address;
    socklen_t length;
    if (!ServiceAddress(service_name, &address, &length))
        return BOOTSTRAP_NOT_PRIVILEGED;
    Entry entry;
    entry.recv = NewPortSocket(&address, length);
    // A name left by a process that crashed is taken over.
    if (entry.recv < 0 && errno == EADDRINUSE && TakeOverLeftSocket(address))
        entry.recv = NewPortSocket(&address, length);
    if (entry.recv < 0)
        return errno == EADDRINUSE ? BOOTSTRAP_NAME_IN_USE : BOOTSTRAP_NOT_PRIVILEGED;
    entry.bound_here = true;
    Locked table;
    *service_port = table.add(std::move(entry));
    return BOOTSTRAP_SUCCESS;
}

kern_return_t bootstrap_look_up(mach_port_t, const char* service_name, mach_port_t* service_port)
{
    sockaddr_un address;
    socklen_t length;
    if (!ServiceAddress(service_name, &address, &length))
        return BOOTSTRAP_NOT_PRIVILEGED;
    Entry entry;
    entry.send = ConnectTo(address, length);
    if (entry.send < 0)
        return errno == ECONNREFUSED || errno == ENOENT ? BOOTSTRAP_UNKNOWN_SERVICE : BOOTSTRAP_NOT_PRIVILEGED;
    entry.send_refs = 1;
    Locked table;
    *service_port = table.add(std::move(entry));
    return BOOTSTRAP_SUCCESS;
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

}  // namespace crashwatch
