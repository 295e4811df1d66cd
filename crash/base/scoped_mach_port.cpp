#include "crash/base/scoped_mach_port.h"

#include "crash/base/mach_logging.h"

namespace base {
namespace mac {
namespace internal {

void ReleaseSendRight(crashwatch::mach_port_t name)
{
    const crashwatch::kern_return_t kr = crashwatch::mach_port_deallocate(crashwatch::mach_task_self(), name);
    if (kr != crashwatch::KERN_SUCCESS)
        MACH_LOG(ERROR, kr) << "mach_port_deallocate";
}

void ReleaseReceiveRight(crashwatch::mach_port_t name)
{
    const crashwatch::kern_return_t kr =
        crashwatch::mach_port_mod_refs(crashwatch::mach_task_self(), name, crashwatch::MACH_PORT_RIGHT_RECEIVE, -1);
    if (kr != crashwatch::KERN_SUCCESS)
        MACH_LOG(ERROR, kr) << "mach_port_mod_refs";
}

}  // namespace internal
}  // namespace mac
}  // namespace base
