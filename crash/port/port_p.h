#pragma once
// What port.cpp and port_exception.cpp share beyond port.h: closing a
// descriptor and an owner for one. The ports include nothing else of the
// project, as the crash client's own code is written against them.

#include <sys/syscall.h>
#include <unistd.h>

namespace crashwatch {
namespace port_internal {

// The raw system call, unlike close(3), is not a cancellation point.
inline void CloseDescriptor(int fd)
{
    if (fd >= 0)
        syscall(SYS_close, fd);
}

// Closes the descriptor it holds when destroyed or reset.
class OwnedDescriptor {
public:
    OwnedDescriptor() = default;
    ~OwnedDescriptor() { reset(); }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;

    int get() const { return fd_; }
    bool is_valid() const { return fd_ >= 0; }
    void reset(int fd = -1)
    {
        CloseDescriptor(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Hands a refused message's report to the reporter set with
// SetPortWarningReporter.
void ReportWarning(const char* file, int line, const char* text);

}  // namespace port_internal
}  // namespace crashwatch
