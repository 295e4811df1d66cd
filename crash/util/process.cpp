#include "crash/util/process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"
#include "crash/base/scopedfd.h"
#include "crash/base/strings.h"
#include "crash/util/directoryreader.h"
#include "crash/util/fileio.h"

namespace crashwatch {

namespace {

// Marks fd close-on-exec; when that fails the descriptor is closed at once.
void CloseNowOrOnExec(int fd, bool ebadf_ok)
{
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) == 0)
        return;
    if (ebadf_ok && errno == EBADF)
        return;
    PLOG(WARNING) << "fcntl";
    if (IGNORE_EINTR(base::CloseFileDescriptor(fd)) != 0 && !(ebadf_ok && errno == EBADF))
        PLOG(WARNING) << "close";
}

// Lists the process's open descriptors; false when the listing cannot be
// trusted, so the caller falls back to trying every number.
bool CloseMultipleFromListing(int fd, int preserve_fd)
{
    DirectoryReader reader;
    if (!reader.Open(base::FilePath("/dev/fd")))
        return false;
    const int reader_fd = reader.DirectoryFD();
    base::FilePath name;
    DirectoryReader::Result result;
    while ((result = reader.NextFile(&name)) == DirectoryReader::Result::kSuccess) {
        int entry;
        if (!base::StringToInt(name.value(), &entry))
            return false;
        if (entry == reader_fd || entry < fd || entry == preserve_fd)
            continue;
        CloseNowOrOnExec(entry, false);
    }
    return result == DirectoryReader::Result::kNoMoreFiles;
}

}  // namespace

void CloseMultipleNowOrOnExec(int fd, int preserve_fd)
{
    if (CloseMultipleFromListing(fd, preserve_fd))
        return;

    // Every number a descriptor may have. The kernel's ceiling for one
    // process takes the place of the per-process maximum of the sysctl.
    long limit = std::max<long>(getdtablesize(), sysconf(_SC_OPEN_MAX));
    limit = std::max<long>(limit, 10240);
    base::ScopedFD nr_open(HANDLE_EINTR(open("/proc/sys/fs/nr_open", O_RDONLY | O_CLOEXEC)));
    std::string text;
    int ceiling;
    if (!nr_open.is_valid() || !LoggingReadToEOF(nr_open.get(), &text) ||
        !base::StringToInt(text.substr(0, text.find('\n')), &ceiling)) {
        PLOG(WARNING) << "sysctl";
    } else {
        limit = std::max<long>(limit, ceiling);
    }
    nr_open.reset();
    for (long entry = fd; entry < limit; ++entry) {
        if (entry != preserve_fd)
            CloseNowOrOnExec(static_cast<int>(entry), true);
    }
}

bool DoubleForkAndExec(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                       int preserve_fd, bool use_path, void (*child_function)())
{
    // Everything that allocates happens before the fork.
    std::vector<char*> argv_c;
    for (const std::string& argument : argv)
        argv_c.push_back(const_cast<char*>(argument.c_str()));
    argv_c.push_back(nullptr);
    std::vector<char*> envp_c;
    if (environment) {
        for (const std::string& entry : *environment)
            envp_c.push_back(const_cast<char*>(entry.c_str()));
        envp_c.push_back(nullptr);
    }

    const pid_t pid = fork();
    if (pid < 0) {
        PLOG(ERROR) << "fork";
        return false;
    }
    if (pid == 0) {
        if (child_function)
            child_function();
        // A session of its own keeps the program out of the caller's
        // process group and its terminal's signals.
        PCHECK(setsid() != -1) << "setsid";
        const pid_t grandchild = fork();
        if (grandchild < 0)
            PLOG(FATAL) << "fork";
        if (grandchild > 0)
            _exit(EXIT_SUCCESS);

        CloseMultipleNowOrOnExec(STDERR_FILENO + 1, preserve_fd);
        // The kept descriptor may be close-on-exec everywhere else (the
        // handshake socket is); only here does it go through exec.
        if (preserve_fd >= 0)
            fcntl(preserve_fd, F_SETFD, 0);
        if (environment && use_path) {
            execvpe(argv_c[0], &argv_c[0], &envp_c[0]);
            PLOG(FATAL) << "execvp " << argv_c[0];
        } else if (environment) {
            execve(argv_c[0], &argv_c[0], &envp_c[0]);
            PLOG(FATAL) << "execve " << argv_c[0];
        } else if (use_path) {
            execvp(argv_c[0], &argv_c[0]);
            PLOG(FATAL) << "execvp " << argv_c[0];
        } else {
            execv(argv_c[0], &argv_c[0]);
            PLOG(FATAL) << "execv " << argv_c[0];
        }
    }

    int status;
    const pid_t wait_pid = HANDLE_EINTR(waitpid(pid, &status, 0));
    if (wait_pid != pid) {
        PLOG(WARNING) << "waitpid";
        return true;
    }
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        LOG(WARNING) << base::StringPrintf("intermediate process terminated by signal %d (%s)%s", sig, strsignal(sig),
                                           WCOREDUMP(status) ? " (core dumped)" : "");
    } else if (!WIFEXITED(status)) {
        LOG(WARNING) << base::StringPrintf("intermediate process: unknown termination 0x%x", status);
    } else if (WEXITSTATUS(status) != EXIT_SUCCESS) {
        LOG(WARNING) << "intermediate process exited with code " << WEXITSTATUS(status);
    }
    return true;
}

void SleepForNanoseconds(uint64_t nanoseconds)
{
    timespec remaining;
    remaining.tv_sec = static_cast<time_t>(nanoseconds / 1000000000u);
    remaining.tv_nsec = static_cast<long>(nanoseconds % 1000000000u);
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

int DarwinMajorVersion()
{
    // The version-dependent choices of the crash client (restarts, the
    // exception mask) were made for another desktop system's numbering,
    // which this platform's kernel release has no counterpart in: it
    // reports that system's current release line (minor version 13), so
    // every choice takes its newest branch.
    return 17;
}

int SystemMinorVersion()
{
    return DarwinMajorVersion() - 4;
}

}  // namespace crashwatch
