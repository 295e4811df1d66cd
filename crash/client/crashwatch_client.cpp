#include "crash/client/crashwatch_client.h"

#include <memory>

#include "crash/base/logging.h"
#include "crash/base/mach_logging.h"
#include "crash/client/handler_starter.h"
#include "crash/util/exception_ports.h"
#include "crash/util/mach_util.h"
#include "crash/util/process.h"

namespace crashwatch {

namespace {

bool SetTaskExceptionPort(mach_port_t port)
{
    return ExceptionPorts(ExceptionPorts::kTargetTypeTask, MACH_PORT_NULL)
        .SetExceptionPort(ExceptionMaskForSystem() & kClientExceptionMask, port, kClientExceptionBehavior,
                          kClientThreadStateFlavor);
}

}  // namespace

CrashWatchClient::CrashWatchClient() = default;

CrashWatchClient::~CrashWatchClient() = default;

bool CrashWatchClient::LaunchHandler(const base::FilePath& handler, const base::FilePath& database,
                                     const base::FilePath& metrics_dir, const std::string& url,
                                     const std::map<std::string, std::string>& annotations,
                                     const std::vector<std::string>& arguments, bool restartable, bool)
{
    const bool restarts_wanted = restartable && SystemMinorVersion() > 9;

    base::mac::ScopedMachReceiveRight receive_right(NewMachPort(MACH_PORT_RIGHT_RECEIVE));
    if (!receive_right.is_valid())
        return false;

    mach_port_t send_name = MACH_PORT_NULL;
    mach_msg_type_name_t acquired;
    const kern_return_t kr = mach_port_extract_right(mach_task_self(), receive_right.get(), MACH_MSG_TYPE_MAKE_SEND,
                                                     &send_name, &acquired);
    if (kr != KERN_SUCCESS) {
        MACH_LOG(ERROR, kr) << "mach_port_extract_right";
        return false;
    }
    base::mac::ScopedMachSendRight send_right(send_name);

    std::unique_ptr<HandlerStarter> starter;
    if (restarts_wanted)
        starter.reset(HandlerStarter::NewForRestarts());

    const bool started = HandlerStarter::CommonStart(handler, database, metrics_dir, url, annotations, arguments,
                                                     &receive_right, starter.get(), false);
    receive_right.reset();
    if (!started)
        return false;

    if (starter) {
        starter->SaveStartValues(handler, database, metrics_dir, url, annotations, arguments);
        if (HandlerStarter::StartRestartThread(starter.get()))
            (void)starter.release();  // the thread owns it now
        else
            starter.reset();
    }

    if (SetTaskExceptionPort(send_right.get()))
        exception_port_ = std::move(send_right);
    return true;
}

bool CrashWatchClient::SetHandlerMachPort(base::mac::ScopedMachSendRight exception_port)
{
    if (!exception_port.is_valid() || !SetTaskExceptionPort(exception_port.get()))
        return false;
    exception_port_ = std::move(exception_port);
    return true;
}

bool CrashWatchClient::SetHandlerMachService(const std::string& service)
{
    base::mac::ScopedMachSendRight exception_port = BootstrapLookUp(service);
    if (!exception_port.is_valid())
        return false;
    return SetHandlerMachPort(std::move(exception_port));
}

base::mac::ScopedMachSendRight CrashWatchClient::GetHandlerMachPort() const
{
    const kern_return_t kr =
        mach_port_mod_refs(mach_task_self(), exception_port_.get(), MACH_PORT_RIGHT_SEND, 1);
    if (kr != KERN_SUCCESS) {
        MACH_LOG(ERROR, kr) << "mach_port_mod_refs";
        return base::mac::ScopedMachSendRight();
    }
    return base::mac::ScopedMachSendRight(exception_port_.get());
}

void CrashWatchClient::RestoreSystemCrashReporter()
{
    base::mac::ScopedMachSendRight system_crash_reporter = SystemCrashReporterPort();
    if (!system_crash_reporter.is_valid() || !SetTaskExceptionPort(system_crash_reporter.get()))
        SetTaskExceptionPort(MACH_PORT_NULL);
}

}  // namespace crashwatch
