#pragma once
// A message server interface for port notifications: each request is
// checked for its shape and handed to the matching operation.

#include <set>

#include "crash/util/mach_message_server.h"

namespace crashwatch {

class MachNotifyServer : public MachMessageServer::Interface {
public:
    class Interface {
    public:
        virtual kern_return_t DoMachNotifyPortDeleted(mach_port_t notify, mach_port_name_t name,
                                                      const mach_msg_trailer_t* trailer) = 0;
        // rights: the receive right that came back; set *destroy_request
        // to have it released after the call.
        virtual kern_return_t DoMachNotifyPortDestroyed(mach_port_t notify, mach_port_t rights,
                                                        const mach_msg_trailer_t* trailer, bool* destroy_request) = 0;
        virtual kern_return_t DoMachNotifyNoSenders(mach_port_t notify, uint32_t mscount,
                                                    const mach_msg_trailer_t* trailer) = 0;
        virtual kern_return_t DoMachNotifySendOnce(mach_port_t notify, const mach_msg_trailer_t* trailer) = 0;
        virtual kern_return_t DoMachNotifyDeadName(mach_port_t notify, mach_port_name_t name,
                                                   const mach_msg_trailer_t* trailer) = 0;

    protected:
        ~Interface() {}
    };

    explicit MachNotifyServer(Interface* interface) : interface_(interface) {}

    bool MachMessageServerFunction(const mach_msg_header_t* in, mach_msg_header_t* out,
                                   bool* destroy_complex_request) override;
    std::set<mach_msg_id_t> MachMessageServerRequestIDs() override;
    mach_msg_size_t MachMessageServerRequestSize() override;
    mach_msg_size_t MachMessageServerReplySize() override;

private:
    Interface* interface_;
};

}  // namespace crashwatch
