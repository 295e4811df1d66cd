#pragma once
// Starting another program from the crash client.

#include <stdint.h>
#include <string>
#include <vector>

namespace crashwatch {

// Makes every descriptor from fd upward close on exec (or closes it when
// that fails), except preserve_fd.
void CloseMultipleNowOrOnExec(int fd, int preserve_fd);

// Starts argv as a grandchild in a session of its own, so the caller
// neither waits for it nor leaves a zombie behind. The intermediate child
// runs child_function (when given) first. The new program gets only
// descriptors 0, 1, 2 and preserve_fd; it sees environment when given,
// otherwise the caller's, and is found on PATH when use_path is set.
// False only when the first fork fails.
bool DoubleForkAndExec(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                       int preserve_fd, bool use_path, void (*child_function)());

// Sleeps the whole time, also across signals.
void SleepForNanoseconds(uint64_t nanoseconds);

// The kernel's major version and the system's minor version derived from
// it (major - 4), in the numbering the crash client's version-dependent
// choices are made in.
int DarwinMajorVersion();
int SystemMinorVersion();

}  // namespace crashwatch
