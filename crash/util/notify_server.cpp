#include "crash/util/notify_server.h"

#include <string.h>

#include "crash/util/mach_util.h"

namespace crashwatch {

namespace {

#pragma pack(push, 4)
// Port deleted, no senders and dead name: one 32-bit value after the NDR.
struct ValueNotification {
    mach_msg_header_t header;
    NDR_record_t ndr;
    uint32_t value;
};
#pragma pack(pop)

constexpr mach_msg_size_t kRequestSize = sizeof(mach_port_destroyed_notification_t);
constexpr mach_msg_size_t kReplySize = sizeof(mig_reply_error_t);

bool ReadValue(const mach_msg_header_t* in, uint32_t* value)
{
    if ((in->msgh_bits & MACH_MSGH_BITS_COMPLEX) || in->msgh_size != sizeof(ValueNotification))
        return false;
    ValueNotification notification;
    memcpy(&notification, in, sizeof(notification));
    *value = notification.value;
    return true;
}

}  // namespace

bool MachNotifyServer::MachMessageServerFunction(const mach_msg_header_t* in, mach_msg_header_t* out,
                                                 bool* destroy_complex_request)
{
    InitMigReply(in, out);
    const mach_msg_trailer_t* trailer = TrailerOfMessage(in);
    uint32_t value = 0;
    kern_return_t kr;
    switch (in->msgh_id) {
    case MACH_NOTIFY_PORT_DELETED:
        kr = ReadValue(in, &value) ? interface_->DoMachNotifyPortDeleted(in->msgh_local_port, value, trailer)
                                   : MIG_BAD_ARGUMENTS;
        break;
    case MACH_NOTIFY_PORT_DESTROYED: {
        if (!(in->msgh_bits & MACH_MSGH_BITS_COMPLEX) || in->msgh_size != sizeof(mach_port_destroyed_notification_t)) {
            kr = MIG_BAD_ARGUMENTS;
            break;
        }
        mach_port_destroyed_notification_t notification;
        memcpy(&notification, in, sizeof(notification));
        if (notification.not_body.msgh_descriptor_count != 1) {
            kr = MIG_BAD_ARGUMENTS;
        } else if (notification.not_port.type != MACH_MSG_PORT_DESCRIPTOR ||
                   notification.not_port.disposition != MACH_MSG_TYPE_PORT_RECEIVE) {
            kr = MIG_TYPE_ERROR;
        } else {
            kr = interface_->DoMachNotifyPortDestroyed(in->msgh_local_port, notification.not_port.name, trailer,
                                                       destroy_complex_request);
        }
        break;
    }
    case MACH_NOTIFY_NO_SENDERS:
        kr = ReadValue(in, &value) ? interface_->DoMachNotifyNoSenders(in->msgh_local_port, value, trailer)
                                   : MIG_BAD_ARGUMENTS;
        break;
    case MACH_NOTIFY_SEND_ONCE:
        kr = (in->msgh_bits & MACH_MSGH_BITS_COMPLEX) || in->msgh_size != sizeof(mach_msg_header_t)
                 ? MIG_BAD_ARGUMENTS
                 : interface_->DoMachNotifySendOnce(in->msgh_local_port, trailer);
        break;
    case MACH_NOTIFY_DEAD_NAME:
        kr = ReadValue(in, &value) ? interface_->DoMachNotifyDeadName(in->msgh_local_port, value, trailer)
                                   : MIG_BAD_ARGUMENTS;
        break;
    default:
        SetMigReplyCode(out, MIG_BAD_ID);
        return false;
    }
    SetMigReplyCode(out, kr);
    return true;
}

std::set<mach_msg_id_t> MachNotifyServer::MachMessageServerRequestIDs()
{
    return {MACH_NOTIFY_PORT_DELETED, MACH_NOTIFY_PORT_DESTROYED, MACH_NOTIFY_NO_SENDERS, MACH_NOTIFY_SEND_ONCE,
            MACH_NOTIFY_DEAD_NAME};
}

mach_msg_size_t MachNotifyServer::MachMessageServerRequestSize() { return kRequestSize; }

mach_msg_size_t MachNotifyServer::MachMessageServerReplySize() { return kReplySize; }

}  // namespace crashwatch
