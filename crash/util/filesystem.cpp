#include "crash/util/filesystem.h"

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crash/base/logging.h"

namespace crashwatch {

bool LoggingCreateDirectory(const base::FilePath& path, FilePermissions permissions, bool may_reuse)
{
    const mode_t mode = permissions == FilePermissions::kWorldReadable ? 0755 : 0700;
    if (mkdir(path.value().c_str(), mode) == 0)
        return true;
    if (may_reuse && errno == EEXIST) {
        if (!IsDirectory(path, true)) {
            LOG(ERROR) << path.value() << " not a directory";
            return false;
        }
        return true;
    }
    PLOG(ERROR) << "mkdir " << path.value();
    return false;
}

bool MoveFileOrDirectory(const base::FilePath& source, const base::FilePath& dest)
{
    if (rename(source.value().c_str(), dest.value().c_str()) != 0) {
        PLOG(ERROR) << "rename " << source.value() << ", " << dest.value();
        return false;
    }
    return true;
}

bool IsRegularFile(const base::FilePath& path)
{
    struct stat st;
    if (lstat(path.value().c_str(), &st) != 0) {
        PLOG(ERROR) << "stat " << path.value();
        return false;
    }
    return S_ISREG(st.st_mode);
}

bool IsDirectory(const base::FilePath& path, bool allow_symlinks)
{
    struct stat st;
    if (allow_symlinks) {
        if (stat(path.value().c_str(), &st) != 0) {
            PLOG(ERROR) << "stat " << path.value();
            return false;
        }
    } else if (lstat(path.value().c_str(), &st) != 0) {
        PLOG(ERROR) << "lstat " << path.value();
        return false;
    }
    return S_ISDIR(st.st_mode);
}

bool LoggingRemoveFile(const base::FilePath& path)
{
    if (unlink(path.value().c_str()) != 0) {
        PLOG(ERROR) << "unlink " << path.value();
        return false;
    }
    return true;
}

bool LoggingRemoveDirectory(const base::FilePath& path)
{
    if (rmdir(path.value().c_str()) != 0) {
        PLOG(ERROR) << "rmdir " << path.value();
        return false;
    }
    return true;
}

bool FileModificationTime(const base::FilePath& path, timespec* mtime)
{
    struct stat st;
    if (lstat(path.value().c_str(), &st) != 0) {
        PLOG(ERROR) << "lstat " << path.value();
        return false;
    }
    *mtime = st.st_mtim;
    return true;
}

}  // namespace crashwatch
