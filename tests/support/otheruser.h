#pragma once
// Running a check as another local user. Root ignores file modes, so what
// another user may see is tried for real in a child process that has given
// up root for a plain numeric user id (no password entry needed).

#include <functional>
#include <grp.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Numeric user ids that no account on a test machine has. Tests that may
// run at the same time use pairs of their own, since each removes what its
// users left behind.
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

// Removes the shared memory blocks and semaphores the two test users left
// behind (a killed process keeps them); they would meet the next run.
inline void removeTestUsersIpc(uid_t user = kTestUser, uid_t other = kOtherTestUser)
{
    const auto ours = [user, other](uid_t uid) { return uid == user || uid == other; };
    struct shm_info shmInfo;
    const int lastShm = ::shmctl(0, SHM_INFO, reinterpret_cast<struct shmid_ds*>(&shmInfo));
    for (int i = 0; i <= lastShm; ++i) {
        struct shmid_ds ds;
        const int id = ::shmctl(i, SHM_STAT, &ds);
        if (id >= 0 && (ours(ds.shm_perm.uid) || ours(ds.shm_perm.cuid)))
            ::shmctl(id, IPC_RMID, nullptr);
    }
    struct seminfo semInfo;
    const int lastSem = ::semctl(0, 0, SEM_INFO, &semInfo);
    for (int i = 0; i <= lastSem; ++i) {
        struct semid_ds ds;
        const int id = ::semctl(i, 0, SEM_STAT, &ds);
        if (id >= 0 && (ours(ds.sem_perm.uid) || ours(ds.sem_perm.cuid)))
            ::semctl(id, 0, IPC_RMID);
    }
}
