#pragma once
// Running a check as another local user. Root ignores file modes, so what
// another user may see is tried for real in a child process that has given
// up root for a plain numeric user id (no password entry needed).

#include <functional>
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Numeric user ids that no account on a test machine has.
constexpr uid_t kTestUser = 47301;
constexpr uid_t kOtherTestUser = 47302;

// Runs what in a child process of the given user (no groups); true when it
// answers true there. Only system calls belong in what.
inline bool asUser(uid_t uid, const std::function<bool()>& what)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0 && what() ? 0 : 1);
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
