// Service names: a service's port is bound to an abstract address made
// from the user id and its name (see README-ports.md).

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

namespace {

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
