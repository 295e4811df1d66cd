#pragma once
// Receives requests on a port, hands each to an interface and sends its
// MIG-style reply.

#include <set>

#include "crash/port/port.h"

namespace crashwatch {

class MachMessageServer {
public:
    class Interface {
    public:
        // Handles one request and fills reply; false when the request's
        // id is not served. Setting *destroy_complex_request releases the
        // rights a complex request carried.
        virtual bool MachMessageServerFunction(const mach_msg_header_t* in, mach_msg_header_t* out,
                                               bool* destroy_complex_request) = 0;
        virtual std::set<mach_msg_id_t> MachMessageServerRequestIDs() = 0;
        virtual mach_msg_size_t MachMessageServerRequestSize() = 0;
        virtual mach_msg_size_t MachMessageServerReplySize() = 0;

    protected:
        ~Interface() {}
    };

    enum Persistent { kOneShot = false, kPersistent = true };

    // What to do with a request larger than the buffer.
    enum ReceiveLarge {
        kReceiveLargeError = 0,   // drop it, log an error, go on serving
        kReceiveLargeIgnore = 1,  // drop it, log a warning, go on serving
        kReceiveLargeResize = 2,  // grow the buffer and receive it
    };

    // options: extra receive options (the trailer wanted). timeout_ms: 0
    // does not wait, kMachMessageTimeoutWaitIndefinitely waits for ever.
    static mach_msg_return_t Run(Interface* interface, mach_port_t receive_port, mach_msg_option_t options,
                                 Persistent persistent, ReceiveLarge receive_large, mach_msg_timeout_t timeout_ms);

private:
    MachMessageServer() = delete;
};

}  // namespace crashwatch
