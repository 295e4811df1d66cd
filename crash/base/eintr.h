#pragma once
// Wrappers for system calls that may be interrupted by a signal.
//   HANDLE_EINTR(call): repeats the call while it fails with EINTR.
//   IGNORE_EINTR(call): runs it once and counts EINTR as success (for
//   close, which must never be repeated).

#include <errno.h>

namespace base {
namespace internal {

template <typename F>
auto RetryOnEintr(F f) -> decltype(f())
{
    decltype(f()) result;
    do {
        result = f();
    } while (result == -1 && errno == EINTR);
    return result;
}

template <typename F>
auto EintrIsSuccess(F f) -> decltype(f())
{
    decltype(f()) result = f();
    if (result == -1 && errno == EINTR)
        result = 0;
    return result;
}

}  // namespace internal
}  // namespace base

#define HANDLE_EINTR(x) ::base::internal::RetryOnEintr([&]() { return (x); })
#define IGNORE_EINTR(x) ::base::internal::EintrIsSuccess([&]() { return (x); })
