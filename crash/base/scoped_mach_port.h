#pragma once
// Owner types for port rights: each releases its right when destroyed or
// reset, logging a failure.

#include "crash/port/port.h"

namespace base {
namespace mac {

namespace internal {
void ReleaseSendRight(crashwatch::mach_port_t name);
void ReleaseReceiveRight(crashwatch::mach_port_t name);
}  // namespace internal

template <void (*Release)(crashwatch::mach_port_t)>
class ScopedPortRight {
public:
    ScopedPortRight() = default;
    explicit ScopedPortRight(crashwatch::mach_port_t name) : name_(name) {}
    ~ScopedPortRight() { reset(); }
    ScopedPortRight(ScopedPortRight&& other) noexcept : name_(other.release()) {}
    ScopedPortRight& operator=(ScopedPortRight&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ScopedPortRight(const ScopedPortRight&) = delete;
    ScopedPortRight& operator=(const ScopedPortRight&) = delete;

    crashwatch::mach_port_t get() const { return name_; }
    bool is_valid() const { return name_ != crashwatch::MACH_PORT_NULL; }
    void reset(crashwatch::mach_port_t name = crashwatch::MACH_PORT_NULL)
    {
        if (name_ != crashwatch::MACH_PORT_NULL && name_ != crashwatch::MACH_PORT_DEAD)
            Release(name_);
        name_ = name;
    }
    crashwatch::mach_port_t release()
    {
        const crashwatch::mach_port_t name = name_;
        name_ = crashwatch::MACH_PORT_NULL;
        return name;
    }

private:
    crashwatch::mach_port_t name_ = crashwatch::MACH_PORT_NULL;
};

// Released with mach_port_deallocate.
using ScopedMachSendRight = ScopedPortRight<internal::ReleaseSendRight>;
// Released with mach_port_mod_refs(MACH_PORT_RIGHT_RECEIVE, -1).
using ScopedMachReceiveRight = ScopedPortRight<internal::ReleaseReceiveRight>;

}  // namespace mac
}  // namespace base
