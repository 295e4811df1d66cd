// The message call and what the ports report: the error texts, the
// warnings about refused datagrams and the bounded log of drops (see
// README-ports.md).

#include <pthread.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "crash/port/port.h"
#include "crash/port/port_p.h"

namespace crashwatch {

using namespace port_internal;

const NDR_record_t NDR_record = {0, 0, 0, 0, 1, 0, 0, 0};

namespace {

// Dropped datagrams are logged at a bounded rate: anyone on the machine can
// send to a port's address, and no sender may fill the log. A drop gets an
// entry of its own when none was written for the interval; the drops in
// between are counted, and the count is written with the next entry or, by
// a receive that is waiting, once the interval is over.
pthread_mutex_t g_drop_lock = PTHREAD_MUTEX_INITIALIZER;
uint64_t g_drop_interval = 10 * uint64_t{1000000000};
bool g_drop_logged = false;
uint64_t g_drop_last_entry = 0;
uint64_t g_drops_unlogged = 0;
std::atomic<PortWarningReporter> g_warning_reporter{nullptr};

}  // namespace

namespace port_internal {

void NoteDroppedMessage(ssize_t length, pid_t pid, const char* reason)
{
    const uint64_t now = MonotonicTimeNanoseconds();
    uint64_t earlier = 0;
    pthread_mutex_lock(&g_drop_lock);
    const bool log = !g_drop_logged || now - g_drop_last_entry >= g_drop_interval;
    if (log) {
        earlier = g_drops_unlogged;
        g_drops_unlogged = 0;
        g_drop_logged = true;
        g_drop_last_entry = now;
    } else {
        ++g_drops_unlogged;
    }
    pthread_mutex_unlock(&g_drop_lock);
    if (!log)
        return;
    std::string text = "dropping message of " + std::to_string(length) + " bytes from pid " + std::to_string(pid) +
                       ": " + reason;
    if (earlier > 0)
        text += " (" + std::to_string(earlier) + " more dropped since the last entry)";
    port_internal::ReportWarning(__FILE__, __LINE__, text.c_str());
}

uint64_t DroppedCountDue()
{
    pthread_mutex_lock(&g_drop_lock);
    const uint64_t due = g_drops_unlogged > 0 ? g_drop_last_entry + g_drop_interval : kForever;
    pthread_mutex_unlock(&g_drop_lock);
    return due;
}

void WriteDroppedCountIfDue()
{
    const uint64_t now = MonotonicTimeNanoseconds();
    uint64_t count = 0;
    pthread_mutex_lock(&g_drop_lock);
    if (g_drops_unlogged > 0 && now - g_drop_last_entry >= g_drop_interval) {
        count = g_drops_unlogged;
        g_drops_unlogged = 0;
        g_drop_last_entry = now;
    }
    pthread_mutex_unlock(&g_drop_lock);
    if (count > 0) {
        const std::string text = std::to_string(count) + " more messages dropped since the last entry";
        port_internal::ReportWarning(__FILE__, __LINE__, text.c_str());
    }
}

void ReportWarning(const char* file, int line, const char* text)
{
    if (const PortWarningReporter reporter = g_warning_reporter) {
        reporter(file, line, text);
        return;
    }
    const std::string out = std::string(text) + "\n";
    if (write(STDERR_FILENO, out.data(), out.size()) < 0) {
        // Nowhere else to say it.
    }
}

}  // namespace port_internal

mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t send_size,
                           mach_msg_size_t rcv_size, mach_port_t rcv_name, mach_msg_timeout_t timeout,
                           mach_port_t)
{
    const uint64_t start = MonotonicTimeNanoseconds();
    if (option & MACH_SEND_MSG) {
        const uint64_t deadline =
            (option & MACH_SEND_TIMEOUT) ? start + uint64_t{timeout} * 1000000u : kForever;
        const mach_msg_return_t result = SendMessage(msg, option, send_size, deadline);
        if (result != MACH_MSG_SUCCESS)
            return result;
    }
    if (option & MACH_RCV_MSG) {
        const uint64_t deadline = (option & MACH_RCV_TIMEOUT) ? start + uint64_t{timeout} * 1000000u : kForever;
        return ReceiveMessage(msg, option, rcv_size, rcv_name, deadline);
    }
    return MACH_MSG_SUCCESS;
}

void mach_msg_destroy(mach_msg_header_t* msg)
{
    auto destroy = [](mach_port_t name, mach_msg_type_name_t type) {
        if (name == MACH_PORT_NULL || name == MACH_PORT_DEAD)
            return;
        if (type == MACH_MSG_TYPE_PORT_RECEIVE)
            mach_port_mod_refs(kTaskName, name, MACH_PORT_RIGHT_RECEIVE, -1);
        else if (type == MACH_MSG_TYPE_PORT_SEND || type == MACH_MSG_TYPE_PORT_SEND_ONCE)
            mach_port_deallocate(kTaskName, name);
    };
    destroy(msg->msgh_remote_port, MACH_MSGH_BITS_REMOTE(msg->msgh_bits));
    if (!(msg->msgh_bits & MACH_MSGH_BITS_COMPLEX))
        return;
    const char* data = reinterpret_cast<const char*>(msg);
    uint32_t count;
    memcpy(&count, data + sizeof(mach_msg_header_t), sizeof(count));
    const char* first = data + sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t);
    for (uint32_t i = 0; i < count && first + (i + 1) * sizeof(mach_msg_port_descriptor_t) <= data + msg->msgh_size;
         ++i) {
        mach_msg_port_descriptor_t port;
        memcpy(&port, first + i * sizeof(port), sizeof(port));
        if (port.type == MACH_MSG_PORT_DESCRIPTOR)
            destroy(port.name, port.disposition);
    }
}

const char* mach_error_string(kern_return_t code)
{
    switch (code) {
    case KERN_SUCCESS:
        return "(os/kern) successful";
    case KERN_INVALID_ARGUMENT:
        return "(os/kern) invalid argument";
    case KERN_FAILURE:
        return "(os/kern) failure";
    case KERN_RESOURCE_SHORTAGE:
        return "(os/kern) resource shortage";
    case KERN_INVALID_NAME:
        return "(os/kern) invalid name";
    case KERN_INVALID_TASK:
        return "(os/kern) invalid task";
    case KERN_INVALID_RIGHT:
        return "(os/kern) invalid right";
    case KERN_INVALID_VALUE:
        return "(os/kern) invalid value";
    case KERN_UREFS_OVERFLOW:
        return "(os/kern) urefs overflow";
    case KERN_INVALID_CAPABILITY:
        return "(os/kern) invalid capability";
    case KERN_NOT_SUPPORTED:
        return "(os/kern) operation not supported";
    case MACH_SEND_INVALID_DATA:
        return "(ipc/send) invalid data";
    case MACH_SEND_INVALID_DEST:
        return "(ipc/send) invalid destination port";
    case MACH_SEND_TIMED_OUT:
        return "(ipc/send) timed out";
    case MACH_SEND_INTERRUPTED:
        return "(ipc/send) interrupted";
    case MACH_SEND_MSG_TOO_SMALL:
        return "(ipc/send) message size changed while being copied";
    case MACH_SEND_INVALID_REPLY:
        return "(ipc/send) invalid reply port";
    case MACH_SEND_INVALID_RIGHT:
        return "(ipc/send) invalid port right";
    case MACH_SEND_NO_BUFFER:
        return "(ipc/send) no buffer space";
    case MACH_SEND_TOO_LARGE:
        return "(ipc/send) message too large";
    case MACH_SEND_INVALID_TYPE:
        return "(ipc/send) invalid msg-type";
    case MACH_RCV_INVALID_NAME:
        return "(ipc/rcv) invalid name";
    case MACH_RCV_TIMED_OUT:
        return "(ipc/rcv) timed out";
    case MACH_RCV_TOO_LARGE:
        return "(ipc/rcv) message too large";
    case MACH_RCV_INTERRUPTED:
        return "(ipc/rcv) interrupted";
    case MACH_RCV_INVALID_TRAILER:
        return "(ipc/rcv) invalid trailer";
    case MIG_TYPE_ERROR:
        return "(ipc/mig) type check error";
    case MIG_BAD_ID:
        return "(ipc/mig) bad request message ID";
    case MIG_BAD_ARGUMENTS:
        return "(ipc/mig) server detected bad arguments";
    case MIG_NO_REPLY:
        return "(ipc/mig) no reply should be sent";
    default:
        return "unknown error code";
    }
}

void SetDroppedMessageLogInterval(int milliseconds)
{
    pthread_mutex_lock(&g_drop_lock);
    g_drop_interval = uint64_t(milliseconds < 0 ? 0 : milliseconds) * 1000000u;
    pthread_mutex_unlock(&g_drop_lock);
}

void SetPortWarningReporter(PortWarningReporter reporter)
{
    g_warning_reporter = reporter;
}

}  // namespace crashwatch
