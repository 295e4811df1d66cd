// The crash handler process the crash client starts beside the program.
// It takes the program's exception port over the start-up handshake,
// writes a report into the crash report database for every crash message
// and answers it, and ends when the program it serves is gone. It uploads
// nothing: the upload switches are accepted and kept unused.

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <map>
#include <string>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"
#include "crash/base/mach_logging.h"
#include "crash/base/scoped_mach_port.h"
#include "crash/base/scopedfd.h"
#include "crash/base/strings.h"
#include "crash/handler/exception_reporter.h"
#include "crash/util/child_port_handshake.h"
#include "crash/util/mach_message_server.h"
#include "crash/util/mach_util.h"

namespace crashwatch {
namespace {

struct Options {
    base::FilePath database;
    base::FilePath metrics_dir;
    std::string url;
    std::map<std::string, std::string> annotations;
    int handshake_fd = -1;
    bool rate_limit = true;
};

bool StartsWith(const std::string& text, const char* prefix, std::string* rest)
{
    const size_t length = strlen(prefix);
    if (text.compare(0, length, prefix) != 0)
        return false;
    *rest = text.substr(length);
    return true;
}

bool ParseCommandLine(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument(argv[i]);
        std::string value;
        if (StartsWith(argument, "--database=", &value)) {
            options->database = base::FilePath(value);
        } else if (StartsWith(argument, "--metrics-dir=", &value)) {
            options->metrics_dir = base::FilePath(value);
        } else if (StartsWith(argument, "--url=", &value)) {
            options->url = value;
        } else if (StartsWith(argument, "--annotation=", &value)) {
            const size_t equals = value.find('=');
            if (equals == std::string::npos || equals == 0) {
                LOG(ERROR) << "--annotation requires KEY=VALUE";
                return false;
            }
            options->annotations[value.substr(0, equals)] = value.substr(equals + 1);
        } else if (StartsWith(argument, "--handshake-fd=", &value)) {
            if (!base::StringToInt(value, &options->handshake_fd) || options->handshake_fd < 0) {
                LOG(ERROR) << "--handshake-fd requires a descriptor number";
                return false;
            }
        } else if (argument == "--no-rate-limit") {
            options->rate_limit = false;
        } else {
            LOG(ERROR) << "unrecognized option " << argument;
            return false;
        }
    }
    if (options->handshake_fd < 0 || options->database.empty()) {
        LOG(ERROR) << "--database and --handshake-fd are required";
        return false;
    }
    return true;
}

// Watches the process on the other end of the handshake socket: the
// program, which holds the exception port's only send rights.
class ProgramWatch {
public:
    explicit ProgramWatch(int handshake_fd)
    {
        ucred credentials;
        socklen_t size = sizeof(credentials);
        if (getsockopt(handshake_fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || credentials.pid <= 0) {
            PLOG(WARNING) << "SO_PEERCRED";
            return;
        }
        pid_ = credentials.pid;
        pidfd_.reset(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)));
        if (!pidfd_.is_valid())
            PLOG(WARNING) << "pidfd_open";
    }

    // The descriptor that becomes readable when the program ends, or -1.
    int fd() const { return pidfd_.get(); }
    // How long to wait before looking again when there is no descriptor.
    int PollTimeout() const { return pidfd_.is_valid() || pid_ <= 0 ? -1 : 500; }

    bool ProgramGone() const
    {
        if (pidfd_.is_valid()) {
            pollfd wait = {pidfd_.get(), POLLIN, 0};
            return HANDLE_EINTR(poll(&wait, 1, 0)) > 0;
        }
        return pid_ > 0 && kill(pid_, 0) != 0 && errno == ESRCH;
    }

private:
    pid_t pid_ = 0;
    base::ScopedFD pidfd_;
};

// Serves every message waiting on the port; false on a receive failure.
bool ServeWaitingMessages(ExceptionReporter* reporter, mach_port_t port)
{
    for (;;) {
        const mach_msg_return_t mr =
            MachMessageServer::Run(reporter, port, ExceptionReporter::ReceiveOptions(), MachMessageServer::kOneShot,
                                   MachMessageServer::kReceiveLargeError, kMachMessageTimeoutNonblocking);
        if (mr == MACH_RCV_TIMED_OUT)
            return true;
        if (mr != MACH_MSG_SUCCESS) {
            MACH_LOG(ERROR, mr) << "MachMessageServer::Run";
            return false;
        }
    }
}

int HandlerMain(int argc, char** argv)
{
    Options options;
    if (!ParseCommandLine(argc, argv, &options))
        return EXIT_FAILURE;
    signal(SIGPIPE, SIG_IGN);

    base::ScopedFD handshake_fd(options.handshake_fd);
    const ProgramWatch program(handshake_fd.get());

    ChildPortHandshake::PortRightType right_type = 0;
    const mach_port_t port = ChildPortHandshake::RunServerForFD(std::move(handshake_fd), &right_type);
    if (port == MACH_PORT_NULL)
        return EXIT_FAILURE;
    if (right_type != MACH_MSG_TYPE_PORT_RECEIVE) {
        LOG(ERROR) << "expected a receive right, got right type " << right_type;
        MachMessageDestroyReceivedPort(port, right_type);
        return EXIT_FAILURE;
    }
    base::mac::ScopedMachReceiveRight exception_port(port);

    ExceptionReporter reporter(options.database, options.annotations);
    const int port_fd = PortReceiveDescriptor(exception_port.get());
    for (;;) {
        pollfd waits[2] = {{port_fd, POLLIN, 0}, {program.fd(), POLLIN, 0}};
        if (HANDLE_EINTR(poll(waits, program.fd() >= 0 ? 2 : 1, program.PollTimeout())) < 0) {
            PLOG(ERROR) << "poll";
            return EXIT_FAILURE;
        }
        // Messages first: a crashed program may be gone by the time its
        // message is read.
        if (!ServeWaitingMessages(&reporter, exception_port.get()))
            return EXIT_FAILURE;
        if (program.ProgramGone()) {
            ServeWaitingMessages(&reporter, exception_port.get());
            LOG(INFO) << "program ended, handler exiting";
            return EXIT_SUCCESS;
        }
    }
}

}  // namespace
}  // namespace crashwatch

int main(int argc, char** argv)
{
    return crashwatch::HandlerMain(argc, argv);
}
