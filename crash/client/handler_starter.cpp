#include "crash/client/handler_starter.h"

#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "crash/base/logging.h"
#include "crash/base/mach_logging.h"
#include "crash/base/strings.h"
#include "crash/client/crashwatch_client.h"
#include "crash/port/port.h"
#include "crash/util/child_port_handshake.h"
#include "crash/util/mach_message_server.h"
#include "crash/util/mach_util.h"
#include "crash/util/process.h"

namespace crashwatch {

namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000u;
constexpr uint64_t kMinimumStartSpacing = kNanosecondsPerSecond;

// Failed restarts double the spacing up to this cap and end the restarts
// after this many in a row. Both can be changed through the environment,
// so tests need not wait minutes.
constexpr uint64_t kDefaultBackoffCapMs = 5 * 60 * 1000;
constexpr int kDefaultFailureLimit = 10;

uint64_t EnvironmentNumber(const char* name, uint64_t fallback)
{
    const char* text = getenv(name);
    uint64_t value;
    if (!text || !base::StringToUint64(text, &value))
        return fallback;
    return value;
}

uint64_t BackoffCapNanoseconds()
{
    static const uint64_t cap =
        std::min<uint64_t>(EnvironmentNumber("CRASHWATCH_RESTART_BACKOFF_CAP_MS", kDefaultBackoffCapMs),
                           24 * 3600 * 1000ull) *
        1000000u;
    return cap;
}

int FailureLimit()
{
    static const int limit = static_cast<int>(
        std::min<uint64_t>(std::max<uint64_t>(EnvironmentNumber("CRASHWATCH_RESTART_FAILURE_LIMIT",
                                                                 kDefaultFailureLimit),
                                              1),
                           1000));
    return limit;
}

// The program's environment, with the folder of its ports: the handler, and
// every handler started again, binds its ports where the program looks.
std::vector<std::string> HandlerEnvironment()
{
    const std::string prefix = std::string(kPortDirectoryVariable) + "=";
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry)
        if (strncmp(*entry, prefix.c_str(), prefix.size()) != 0)
            environment.push_back(*entry);
    environment.push_back(prefix + PortDirectory());
    return environment;
}

std::string Switch(const char* name, const std::string& value)
{
    return base::StringPrintf("--%s=%s", name, value.c_str());
}

}  // namespace

std::vector<std::string> HandlerArgumentVector(const base::FilePath& handler, const base::FilePath& database,
                                               const base::FilePath& metrics_dir, const std::string& url,
                                               const std::map<std::string, std::string>& annotations,
                                               const std::vector<std::string>& arguments, int handshake_fd)
{
    std::vector<std::string> argv;
    argv.push_back(handler.value());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (!database.empty())
        argv.push_back(Switch("database", database.value()));
    if (!metrics_dir.empty())
        argv.push_back(Switch("metrics-dir", metrics_dir.value()));
    if (!url.empty())
        argv.push_back(Switch("url", url));
    for (const auto& annotation : annotations)
        argv.push_back(Switch("annotation", annotation.first + "=" + annotation.second));
    argv.push_back(base::StringPrintf("--%s=%d", "handshake-fd", handshake_fd));
    return argv;
}

HandlerStarter::~HandlerStarter() = default;

HandlerStarter* HandlerStarter::NewForRestarts()
{
    base::mac::ScopedMachReceiveRight notify_port(NewMachPort(MACH_PORT_RIGHT_RECEIVE));
    if (!notify_port.is_valid())
        return nullptr;
    HandlerStarter* starter = new HandlerStarter();
    starter->notify_port_ = std::move(notify_port);
    return starter;
}

void HandlerStarter::SaveStartValues(const base::FilePath& handler, const base::FilePath& database,
                                     const base::FilePath& metrics_dir, const std::string& url,
                                     const std::map<std::string, std::string>& annotations,
                                     const std::vector<std::string>& arguments)
{
    handler_ = handler;
    database_ = database;
    metrics_dir_ = metrics_dir;
    url_ = url;
    annotations_ = annotations;
    arguments_ = arguments;
}

uint64_t HandlerStarter::RestartSpacing() const
{
    if (failed_restarts_ == 0)
        return kMinimumStartSpacing;
    const int doublings = std::min(failed_restarts_, 30);
    return std::max(kMinimumStartSpacing, std::min(kMinimumStartSpacing << doublings, BackoffCapNanoseconds()));
}

bool HandlerStarter::CommonStart(const base::FilePath& handler, const base::FilePath& database,
                                 const base::FilePath& metrics_dir, const std::string& url,
                                 const std::map<std::string, std::string>& annotations,
                                 const std::vector<std::string>& arguments,
                                 base::mac::ScopedMachReceiveRight* receive_right, HandlerStarter* starter,
                                 bool restart)
{
    if (starter) {
        // The right comes back to the notify port when the handler holding
        // it dies.
        mach_port_t previous = MACH_PORT_NULL;
        const kern_return_t kr =
            mach_port_request_notification(mach_task_self(), receive_right->get(), MACH_NOTIFY_PORT_DESTROYED, 0,
                                           starter->notify_port_.get(), MACH_MSG_TYPE_MAKE_SEND_ONCE, &previous);
        if (previous != MACH_PORT_NULL)
            base::mac::ScopedMachSendRight release_previous(previous);
        if (kr != KERN_SUCCESS) {
            MACH_LOG(WARNING, kr) << "mach_port_request_notification";
            // Ends the restarts: the restart thread's next receive fails.
            starter->notify_port_.reset();
        }

        if (!restart) {
            starter->last_start_time_ = MonotonicTimeNanoseconds();
        } else {
            const uint64_t deadline = starter->last_start_time_ + starter->RestartSpacing();
            const uint64_t now = MonotonicTimeNanoseconds();
            if (now >= deadline) {
                LOG(INFO) << "restarting handler";
            } else {
                const uint64_t sleep_time = deadline - now;
                LOG(INFO) << "restarting handler"
                          << base::StringPrintf(" in %.3fs", static_cast<double>(sleep_time) / kNanosecondsPerSecond);
                SleepForNanoseconds(sleep_time);
            }
            starter->last_start_time_ = MonotonicTimeNanoseconds();
        }
    }

    ChildPortHandshake handshake;
    base::ScopedFD server_write_fd = handshake.TakeServerWriteFD();
    const std::vector<std::string> argv = HandlerArgumentVector(handler, database, metrics_dir, url, annotations,
                                                                arguments, server_write_fd.get());
    const std::vector<std::string> environment = HandlerEnvironment();
    if (!DoubleForkAndExec(argv, &environment, server_write_fd.get(), true,
                           restart ? CrashWatchClient::RestoreSystemCrashReporter : nullptr)) {
        return false;
    }
    // Only the handler keeps its end: a handler that dies before writing
    // makes the read below meet end of file.
    server_write_fd.reset();

    if (!handshake.SendPortToServer(receive_right->get(), MACH_MSG_TYPE_MOVE_RECEIVE))
        return false;
    // The right left with the check-in message.
    (void)receive_right->release();
    return true;
}

bool HandlerStarter::StartRestartThread(HandlerStarter* starter)
{
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error != 0) {
        errno = error;
        PLOG(WARNING) << "pthread_attr_init";
        return false;
    }
    bool started = false;
    error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (error != 0) {
        errno = error;
        PLOG(WARNING) << "pthread_attr_setdetachstate";
    } else {
        pthread_t thread;
        error = pthread_create(&thread, &attributes, RestartThreadMain, starter);
        if (error != 0) {
            errno = error;
            PLOG(WARNING) << "pthread_create";
        } else {
            started = true;
        }
    }
    error = pthread_attr_destroy(&attributes);
    if (error != 0) {
        errno = error;
        PLOG(WARNING) << "pthread_attr_destroy";
    }
    return started;
}

void* HandlerStarter::RestartThreadMain(void* argument)
{
    HandlerStarter* starter = static_cast<HandlerStarter*>(argument);
    MachNotifyServer notify_server(starter);
    for (;;) {
        const mach_msg_return_t mr =
            MachMessageServer::Run(&notify_server, starter->notify_port_.get(), MACH_MSG_OPTION_NONE,
                                   MachMessageServer::kPersistent, MachMessageServer::kReceiveLargeError,
                                   kMachMessageTimeoutWaitIndefinitely);
        // Restarts that were ended on purpose have been logged already.
        if (!starter->notify_port_.is_valid())
            break;
        if (mr != MACH_MSG_SUCCESS) {
            MACH_LOG(ERROR, mr) << "MachMessageServer::Run";
            break;
        }
    }
    delete starter;
    return nullptr;
}

kern_return_t HandlerStarter::DoMachNotifyPortDeleted(mach_port_t, mach_port_name_t, const mach_msg_trailer_t*)
{
    return MIG_BAD_ID;
}

kern_return_t HandlerStarter::DoMachNotifyPortDestroyed(mach_port_t notify, mach_port_t rights,
                                                        const mach_msg_trailer_t*, bool* destroy_request)
{
    if (notify != notify_port_.get()) {
        LOG(WARNING) << "notify port mismatch";
        return KERN_FAILURE;  // the server releases the right with the request
    }
    *destroy_request = false;
    base::mac::ScopedMachReceiveRight receive_right(rights);

    if (CommonStart(handler_, database_, metrics_dir_, url_, annotations_, arguments_, &receive_right, this, true)) {
        failed_restarts_ = 0;
        return KERN_SUCCESS;
    }

    // Releasing the right below would bring it straight back with its
    // notification, so a handler that cannot start would be tried for
    // ever: space the tries out more each time and give up in the end.
    ++failed_restarts_;
    if (failed_restarts_ >= FailureLimit()) {
        LOG(ERROR) << "handler restart failed " << failed_restarts_ << " times in a row, no more restarts";
        // Without the notify port the right goes away for good and the
        // restart thread ends.
        notify_port_.reset();
    } else {
        LOG(WARNING) << "handler restart failed, " << failed_restarts_ << " in a row";
    }
    return KERN_SUCCESS;
}

kern_return_t HandlerStarter::DoMachNotifyNoSenders(mach_port_t, uint32_t, const mach_msg_trailer_t*)
{
    return MIG_BAD_ID;
}

kern_return_t HandlerStarter::DoMachNotifySendOnce(mach_port_t, const mach_msg_trailer_t*) { return MIG_BAD_ID; }

kern_return_t HandlerStarter::DoMachNotifyDeadName(mach_port_t, mach_port_name_t, const mach_msg_trailer_t*)
{
    return MIG_BAD_ID;
}

}  // namespace crashwatch
