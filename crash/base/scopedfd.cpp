#include "crash/base/scopedfd.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"

namespace base {

namespace {

// Unqualified close() below means this one.
int close(int fd)
{
    return CloseFileDescriptor(fd);
}

}  // namespace

int CloseFileDescriptor(int fd)
{
    // The raw system call is not a cancellation point, unlike close(3).
    return static_cast<int>(syscall(SYS_close, fd));
}

void ScopedFD::reset(int new_fd)
{
    const int fd = fd_;
    fd_ = new_fd;
    if (fd >= 0)
        PCHECK(IGNORE_EINTR(close(fd)) == 0);
}

void internal::CloseFILE(FILE* file)
{
    if (fclose(file) != 0)
        PLOG(ERROR) << "fclose";
}

void internal::CloseDIR(DIR* dir)
{
    if (IGNORE_EINTR(closedir(dir)) != 0)
        PLOG(ERROR) << "closedir";
}

}  // namespace base
