/* Preloaded into the program by the launch tests: reports on standard
 * error each thread that gets an alternate signal stack. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

int sigaltstack(const stack_t* stack, stack_t* old)
{
    static int (*real)(const stack_t*, stack_t*);
    if (!real)
        real = (int (*)(const stack_t*, stack_t*))dlsym(RTLD_NEXT, "sigaltstack");
    const int result = real(stack, old);
    if (result == 0 && stack && !(stack->ss_flags & SS_DISABLE))
        dprintf(STDERR_FILENO, "alternate signal stack for thread %ld\n", (long)syscall(SYS_gettid));
    return result;
}
