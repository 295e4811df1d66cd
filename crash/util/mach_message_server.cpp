#include "crash/util/mach_message_server.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "crash/base/mach_logging.h"
#include "crash/util/mach_util.h"

namespace crashwatch {

namespace {

mach_msg_size_t RoundToPage(mach_msg_size_t size)
{
    const mach_msg_size_t page = static_cast<mach_msg_size_t>(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

// A message buffer, reallocated only when its size changes.
class MessageBuffer {
public:
    MessageBuffer() = default;
    ~MessageBuffer() { free(data_); }
    MessageBuffer(const MessageBuffer&) = delete;
    MessageBuffer& operator=(const MessageBuffer&) = delete;

    bool Resize(mach_msg_size_t size)
    {
        if (size == size_)
            return true;
        free(data_);
        data_ = static_cast<mach_msg_header_t*>(calloc(1, size));
        size_ = data_ ? size : 0;
        return data_ != nullptr;
    }
    void Clear() { memset(data_, 0, size_); }
    mach_msg_header_t* get() const { return data_; }
    mach_msg_size_t size() const { return size_; }

private:
    mach_msg_header_t* data_ = nullptr;
    mach_msg_size_t size_ = 0;
};

}  // namespace

mach_msg_return_t MachMessageServer::Run(Interface* interface, mach_port_t receive_port, mach_msg_option_t options,
                                         Persistent persistent, ReceiveLarge receive_large,
                                         mach_msg_timeout_t timeout_ms)
{
    const MachMessageDeadline deadline = DeadlineFromTimeout(timeout_ms);
    const mach_msg_size_t trailer = TrailerSizeForOptions(options);
    mach_msg_size_t request_size = ((interface->MachMessageServerRequestSize() + 3) & ~3u) + trailer;
    if (receive_large == kReceiveLargeResize) {
        options |= MACH_RCV_LARGE;
        request_size = RoundToPage(request_size);
    }
    MessageBuffer request;
    MessageBuffer reply;
    if (!request.Resize(request_size) || !reply.Resize(RoundToPage(interface->MachMessageServerReplySize())))
        return KERN_RESOURCE_SHORTAGE;

    bool first = true;
    for (;;) {
        mach_msg_return_t kr = MachMessageUntil(request.get(), options | MACH_RCV_MSG, request.size(), receive_port,
                                                deadline, MACH_PORT_NULL, first);
        first = false;
        if (kr == MACH_RCV_TOO_LARGE) {
            if (receive_large == kReceiveLargeResize) {
                if (!request.Resize(RoundToPage(request.get()->msgh_size + trailer)))
                    return KERN_RESOURCE_SHORTAGE;
                continue;
            }
            // The message has been dropped; one bad sender must not end
            // the service.
            if (receive_large == kReceiveLargeIgnore)
                MACH_LOG(WARNING, kr) << "mach_msg: ignoring large message";
            else
                MACH_LOG(ERROR, kr) << "mach_msg: dropping large message";
            continue;
        }
        if (kr != MACH_MSG_SUCCESS)
            return kr;

        reply.Clear();
        bool destroy_complex_request = false;
        interface->MachMessageServerFunction(request.get(), reply.get(), &destroy_complex_request);

        auto* reply_error = reinterpret_cast<mig_reply_error_t*>(reply.get());
        const bool reply_complex = reply.get()->msgh_bits & MACH_MSGH_BITS_COMPLEX;
        if (((!reply_complex && reply_error->RetCode != KERN_SUCCESS && reply_error->RetCode != MIG_NO_REPLY) ||
             destroy_complex_request) &&
            (request.get()->msgh_bits & MACH_MSGH_BITS_COMPLEX)) {
            request.get()->msgh_remote_port = MACH_PORT_NULL;
            mach_msg_destroy(request.get());
        }
        if (!reply_complex && reply_error->RetCode == MIG_NO_REPLY)
            reply.get()->msgh_remote_port = MACH_PORT_NULL;

        if (reply.get()->msgh_remote_port != MACH_PORT_NULL) {
            // Never wait for room for a reply when waiting without end.
            const MachMessageDeadline send_deadline =
                deadline == kMachMessageDeadlineWaitIndefinitely ? kMachMessageDeadlineNonblocking : deadline;
            kr = MachMessageUntil(reply.get(), MACH_SEND_MSG | (options & MACH_SEND_INTERRUPT), 0, MACH_PORT_NULL,
                                  send_deadline, MACH_PORT_NULL, true);
            if (kr != MACH_MSG_SUCCESS) {
                if (kr == MACH_SEND_INVALID_DEST || kr == MACH_SEND_TIMED_OUT || kr == MACH_SEND_INTERRUPTED)
                    mach_msg_destroy(reply.get());
                return kr;
            }
        }
        if (persistent == kOneShot)
            return MACH_MSG_SUCCESS;
    }
}

}  // namespace crashwatch
