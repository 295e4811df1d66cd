// A second process for the crash client tests. It links the crash client
// alone (no Qt), so building it proves the library stands on its own.
//   crashwatch_probe log              one ERROR and one errno entry
//   crashwatch_probe fatal            a failing comparison check

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "crash/base/logging.h"

namespace {

int Log()
{
    LOG(ERROR) << "probe entry";
    errno = ENOENT;
    PLOG(WARNING) << "probe errno entry";
    return 0;
}

int Fatal()
{
    const int one = 1;
    CHECK_EQ(one, 2) << "probe check";
    puts("still running");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    if (!strcmp(argv[1], "log"))
        return Log();
    if (!strcmp(argv[1], "fatal"))
        return Fatal();
    return 2;
}
