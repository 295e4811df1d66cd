#pragma once
// Log entries that explain a port layer result code:
//   MACH_LOG(ERROR, kr) << "mach_port_allocate";
//     ... ": " + its text + " (0x%08x)" above 255, " (%d)" otherwise
//   BOOTSTRAP_LOG(ERROR, kr) << "bootstrap_look_up " << name;
//     bootstrap codes (0, 1100 to 1106) as " (" + decimal + ")"

#include "crash/base/logging.h"
#include "crash/port/port.h"

namespace base {

class MachLogEntry : public LogEntry {
public:
    MachLogEntry(const char* file, int line, int severity, crashwatch::kern_return_t code);
    ~MachLogEntry() override;

private:
    crashwatch::kern_return_t code_;
};

class BootstrapLogEntry : public LogEntry {
public:
    BootstrapLogEntry(const char* file, int line, int severity, crashwatch::kern_return_t code);
    ~BootstrapLogEntry() override;

private:
    crashwatch::kern_return_t code_;
};

}  // namespace base

#define MACH_LOG(sev, code) ::base::MachLogEntry(__FILE__, __LINE__, ::base::severity::sev, (code)).stream()
#define BOOTSTRAP_LOG(sev, code) \
    ::base::BootstrapLogEntry(__FILE__, __LINE__, ::base::severity::sev, (code)).stream()
