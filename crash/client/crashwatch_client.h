#pragma once
// The crash reporting client: starts the crash handler process, hands it
// the receive right of a new port and registers a send right to that port
// as the task's exception port, so the handler gets the program's crashes.
// Uses no Qt.

#include <map>
#include <string>
#include <vector>

#include "crash/base/filepath.h"
#include "crash/base/scoped_mach_port.h"

namespace crashwatch {

class CrashWatchClient {
public:
    CrashWatchClient();
    // Releases only the client's own send right: the exception port
    // registration and a running restart thread stay in force.
    ~CrashWatchClient();
    CrashWatchClient(const CrashWatchClient&) = delete;
    CrashWatchClient& operator=(const CrashWatchClient&) = delete;

    // Starts the handler and completes its handshake before returning (the
    // asynchronous flag is accepted and has no effect). With restartable
    // set, a handler that dies is started again with the same command
    // line and the same port. False when the port rights cannot be made or
    // the first start or its handshake fails.
    bool LaunchHandler(const base::FilePath& handler, const base::FilePath& database,
                       const base::FilePath& metrics_dir, const std::string& url,
                       const std::map<std::string, std::string>& annotations,
                       const std::vector<std::string>& arguments, bool restartable, bool asynchronous);

    // Installs the given send right as the task's exception port.
    bool SetHandlerMachPort(base::mac::ScopedMachSendRight exception_port);
    // The same with a send right looked up by service name.
    bool SetHandlerMachService(const std::string& service);

    // A new reference on the stored send right, or none (logged).
    base::mac::ScopedMachSendRight GetHandlerMachPort() const;

    // Run in the intermediate process of a restart: the handler it starts
    // must not report its own crashes to the program's handler port.
    static void RestoreSystemCrashReporter();

private:
    base::mac::ScopedMachSendRight exception_port_;
};

}  // namespace crashwatch
