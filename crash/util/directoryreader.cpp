#include "crash/util/directoryreader.h"

#include <errno.h>
#include <string.h>

#include "crash/base/logging.h"

namespace crashwatch {

bool DirectoryReader::Open(const base::FilePath& path)
{
    dir_.reset(opendir(path.value().c_str()));
    if (!dir_.get()) {
        PLOG(ERROR) << "opendir " << path.value();
        return false;
    }
    return true;
}

DirectoryReader::Result DirectoryReader::NextFile(base::FilePath* filename)
{
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir_.get());
        if (!entry) {
            if (errno == EINTR)
                continue;
            if (errno) {
                PLOG(ERROR) << "readdir";
                return Result::kError;
            }
            return Result::kNoMoreFiles;
        }
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
            continue;
        *filename = base::FilePath(entry->d_name);
        return Result::kSuccess;
    }
}

int DirectoryReader::DirectoryFD()
{
    const int fd = dirfd(dir_.get());
    PLOG_IF(ERROR, fd < 0) << "dirfd";
    return fd;
}

}  // namespace crashwatch
