#pragma once
// The exception ports of a host, task or thread, and the exception mask
// the running system accepts.

#include <vector>

#include "crash/port/port.h"

namespace crashwatch {

// Every exception mask bit the running system accepts.
exception_mask_t ExceptionMaskForSystem();

class ExceptionPorts {
public:
    enum TargetType {
        kTargetTypeHost = 0,
        kTargetTypeTask = 1,
        kTargetTypeThread = 2,
    };

    struct ExceptionHandler {
        exception_mask_t mask;
        mach_port_t port;
        exception_behavior_t behavior;
        thread_state_flavor_t flavor;
    };

    // Owns the send rights of its entries.
    class ExceptionHandlerVector : public std::vector<ExceptionHandler> {
    public:
        ExceptionHandlerVector() = default;
        ~ExceptionHandlerVector() { Deallocate(); }
        ExceptionHandlerVector(const ExceptionHandlerVector&) = delete;
        ExceptionHandlerVector& operator=(const ExceptionHandlerVector&) = delete;

        void clear()
        {
            Deallocate();
            std::vector<ExceptionHandler>::clear();
        }

    private:
        void Deallocate();
    };

    // target_port 0 means the caller's own host, task or thread.
    ExceptionPorts(int target_type, mach_port_t target_port);

    bool GetExceptionPorts(exception_mask_t mask, ExceptionHandlerVector* handlers) const;
    bool SetExceptionPort(exception_mask_t mask, mach_port_t port, exception_behavior_t behavior,
                          thread_state_flavor_t flavor) const;
    const char* TargetTypeName() const { return target_name_; }

private:
    using GetFunction = kern_return_t (*)(mach_port_t, exception_mask_t, exception_mask_t*, uint32_t*,
                                          mach_port_t*, exception_behavior_t*, thread_state_flavor_t*);
    using SetFunction = kern_return_t (*)(mach_port_t, exception_mask_t, mach_port_t, exception_behavior_t,
                                          thread_state_flavor_t);

    GetFunction get_ = nullptr;
    SetFunction set_ = nullptr;
    const char* target_name_ = nullptr;
    mach_port_t target_port_ = MACH_PORT_NULL;
};

}  // namespace crashwatch
