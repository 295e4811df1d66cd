#include "crash/util/exception_ports.h"

#include "crash/base/mach_logging.h"
#include "crash/util/process.h"

namespace crashwatch {

exception_mask_t ExceptionMaskForSystem()
{
    return SystemMinorVersion() < 11 ? 0x1ffe : 0x3ffe;
}

void ExceptionPorts::ExceptionHandlerVector::Deallocate()
{
    for (const ExceptionHandler& handler : *this) {
        if (handler.port == MACH_PORT_NULL)
            continue;
        const kern_return_t kr = mach_port_deallocate(mach_task_self(), handler.port);
        if (kr != KERN_SUCCESS)
            MACH_LOG(ERROR, kr) << "mach_port_deallocate";
    }
}

// The self names of this port layer are not counted references, so
// nothing needs releasing when the wrapper goes.
ExceptionPorts::ExceptionPorts(int target_type, mach_port_t target_port)
{
    switch (target_type) {
    case kTargetTypeHost:
        get_ = host_get_exception_ports;
        set_ = host_set_exception_ports;
        target_name_ = "host";
        target_port_ = target_port ? target_port : mach_host_self();
        break;
    case kTargetTypeTask:
        get_ = task_get_exception_ports;
        set_ = task_set_exception_ports;
        target_name_ = "task";
        target_port_ = target_port ? target_port : mach_task_self();
        break;
    case kTargetTypeThread:
        get_ = thread_get_exception_ports;
        set_ = thread_set_exception_ports;
        target_name_ = "thread";
        target_port_ = target_port ? target_port : mach_thread_self();
        break;
    default:
        break;
    }
}

bool ExceptionPorts::GetExceptionPorts(exception_mask_t mask, ExceptionHandlerVector* handlers) const
{
    if (!get_)
        return false;
    constexpr uint32_t kCapacity = 32;
    exception_mask_t masks[kCapacity];
    mach_port_t ports[kCapacity];
    exception_behavior_t behaviors[kCapacity];
    thread_state_flavor_t flavors[kCapacity];
    uint32_t count = kCapacity;
    const kern_return_t kr = get_(target_port_, mask, masks, &count, ports, behaviors, flavors);
    if (kr != KERN_SUCCESS) {
        MACH_LOG(ERROR, kr) << target_name_ << "_get_exception_ports";
        return false;
    }
    handlers->clear();
    for (uint32_t i = 0; i < count; ++i) {
        if (ports[i] != MACH_PORT_NULL)
            handlers->push_back({masks[i], ports[i], behaviors[i], flavors[i]});
    }
    return true;
}

bool ExceptionPorts::SetExceptionPort(exception_mask_t mask, mach_port_t port, exception_behavior_t behavior,
                                      thread_state_flavor_t flavor) const
{
    if (!set_)
        return false;
    const kern_return_t kr = set_(target_port_, mask, port, behavior, flavor);
    if (kr != KERN_SUCCESS) {
        MACH_LOG(ERROR, kr) << target_name_ << "_set_exception_ports";
        return false;
    }
    return true;
}

}  // namespace crashwatch
