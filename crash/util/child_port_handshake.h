#pragma once
// Hands a port right to a child process that cannot get it on its command
// line. The child (the server) registers a private bootstrap service and
// writes a token and the service's name on its end of a socket pair; the
// parent (the client) reads them, looks the service up and sends one
// check-in message carrying its right and the token.
//
// Socket message, server to client, host byte order:
//   token (8 bytes), name length n (4 bytes), name (n bytes, no NUL)

#include <stdint.h>
#include <string>

#include "crash/base/scopedfd.h"
#include "crash/port/port.h"

namespace crashwatch {

using child_port_token_t = uint64_t;

// The one-way check-in message, client to server (id 10011, 56 bytes).
#pragma pack(push, 4)
struct child_port_check_in {
    mach_msg_header_t Head;
    mach_msg_body_t msgh_body;
    mach_msg_port_descriptor_t port;
    NDR_record_t NDR;
    child_port_token_t token;
};
#pragma pack(pop)
static_assert(sizeof(child_port_check_in) == 56, "check-in layout");
constexpr mach_msg_id_t kChildPortCheckInId = 10011;

class ChildPortHandshake {
public:
    // The disposition the port travels with: 16 (move receive), 17 (move
    // send) or 18 (move send-once).
    using PortRightType = mach_msg_type_name_t;

    // Creates the socket pair, close-on-exec on both ends: the process that
    // is started for the server clears the flag on its own end only.
    ChildPortHandshake();
    ~ChildPortHandshake();
    ChildPortHandshake(const ChildPortHandshake&) = delete;
    ChildPortHandshake& operator=(const ChildPortHandshake&) = delete;

    base::ScopedFD TakeServerWriteFD();

    // The client: closes the server's end if still held, then reads the
    // service and checks in on the client's end.
    bool SendPortToServer(mach_port_t port, PortRightType right_type);

    // Every step (reads, look-up, send) ends by one deadline, the time-out
    // after the first read starts; a server that hangs makes it false.
    static bool ReceiveServiceAndCheckIn(int client_read_fd, mach_port_t port, PortRightType right_type);
    static bool RunClientInternal_SendCheckIn(const std::string& service_name, child_port_token_t token,
                                              mach_port_t port, PortRightType right_type, uint64_t deadline);

    // The client's time-out for the whole handshake (10 s unless changed).
    static void SetClientTimeout(uint32_t milliseconds);

    // The server: registers the service, writes the token and its name on
    // server_write_fd and waits for a check-in with that token until the
    // client closes its end. The port that came (its type in *right_type),
    // or MACH_PORT_NULL.
    static mach_port_t RunServerForFD(base::ScopedFD server_write_fd, PortRightType* right_type);

private:
    base::ScopedFD client_read_fd_;
    base::ScopedFD server_write_fd_;
};

}  // namespace crashwatch
