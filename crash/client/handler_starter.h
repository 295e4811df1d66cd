#pragma once
// Starts the crash handler process and restarts it when it dies. Used by
// CrashWatchClient; declared here so the argument vector can be tested.

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "crash/base/filepath.h"
#include "crash/base/scoped_mach_port.h"
#include "crash/util/notify_server.h"

namespace crashwatch {

// The handler's command line: the handler path, the extra arguments, then
// the database, metrics directory and URL switches (each left out when
// empty), one annotation switch per entry in key order, and the handshake
// descriptor last.
std::vector<std::string> HandlerArgumentVector(const base::FilePath& handler, const base::FilePath& database,
                                               const base::FilePath& metrics_dir, const std::string& url,
                                               const std::map<std::string, std::string>& annotations,
                                               const std::vector<std::string>& arguments, int handshake_fd);

// The exception port registration the client makes.
constexpr exception_mask_t kClientExceptionMask = EXC_MASK_CRASH | EXC_MASK_RESOURCE | EXC_MASK_GUARD;
constexpr exception_behavior_t kClientExceptionBehavior = EXCEPTION_STATE_IDENTITY | MACH_EXCEPTION_CODES;
constexpr thread_state_flavor_t kClientThreadStateFlavor = x86_THREAD_STATE;

class HandlerStarter final : public MachNotifyServer::Interface {
public:
    ~HandlerStarter();

    // A restart object with its own notification port; null (logged) when
    // that port cannot be made.
    static HandlerStarter* NewForRestarts();

    // One start: handshake socket, handler process, check-in. On success
    // the receive right went to the handler and *receive_right is empty.
    static bool CommonStart(const base::FilePath& handler, const base::FilePath& database,
                            const base::FilePath& metrics_dir, const std::string& url,
                            const std::map<std::string, std::string>& annotations,
                            const std::vector<std::string>& arguments,
                            base::mac::ScopedMachReceiveRight* receive_right, HandlerStarter* starter,
                            bool restart);

    // Keeps the values a restart needs.
    void SaveStartValues(const base::FilePath& handler, const base::FilePath& database,
                         const base::FilePath& metrics_dir, const std::string& url,
                         const std::map<std::string, std::string>& annotations,
                         const std::vector<std::string>& arguments);

    // Hands starter to a new detached thread that restarts the handler on
    // every port-destroyed notification. False (logged) when the thread
    // could not start; starter is then still the caller's.
    static bool StartRestartThread(HandlerStarter* starter);

    kern_return_t DoMachNotifyPortDeleted(mach_port_t notify, mach_port_name_t name,
                                          const mach_msg_trailer_t* trailer) override;
    kern_return_t DoMachNotifyPortDestroyed(mach_port_t notify, mach_port_t rights,
                                            const mach_msg_trailer_t* trailer, bool* destroy_request) override;
    kern_return_t DoMachNotifyNoSenders(mach_port_t notify, uint32_t mscount,
                                        const mach_msg_trailer_t* trailer) override;
    kern_return_t DoMachNotifySendOnce(mach_port_t notify, const mach_msg_trailer_t* trailer) override;
    kern_return_t DoMachNotifyDeadName(mach_port_t notify, mach_port_name_t name,
                                       const mach_msg_trailer_t* trailer) override;

private:
    HandlerStarter() = default;
    HandlerStarter(const HandlerStarter&) = delete;
    HandlerStarter& operator=(const HandlerStarter&) = delete;

    static void* RestartThreadMain(void* argument);
    // The least time between the previous start and the next one.
    uint64_t RestartSpacing() const;

    base::FilePath handler_;
    base::FilePath database_;
    base::FilePath metrics_dir_;
    std::string url_;
    std::map<std::string, std::string> annotations_;
    std::vector<std::string> arguments_;
    base::mac::ScopedMachReceiveRight notify_port_;
    uint64_t last_start_time_ = 0;
    // Restarts that failed in a row: each doubles the spacing of the next
    // one, up to a cap; after a bounded number the restarts end.
    int failed_restarts_ = 0;
};

}  // namespace crashwatch
