#pragma once
// Path-level filesystem operations; each logs one ERROR entry on failure.

#include <time.h>

#include "crash/base/filepath.h"
#include "crash/util/fileio.h"

namespace crashwatch {

// Creates a directory (0755 or 0700); an existing directory is accepted
// when may_reuse is set.
bool LoggingCreateDirectory(const base::FilePath& path, FilePermissions permissions, bool may_reuse);
bool MoveFileOrDirectory(const base::FilePath& source, const base::FilePath& dest);
// A regular file itself, not a link to one.
bool IsRegularFile(const base::FilePath& path);
bool IsDirectory(const base::FilePath& path, bool allow_symlinks);
bool LoggingRemoveFile(const base::FilePath& path);
bool LoggingRemoveDirectory(const base::FilePath& path);
bool FileModificationTime(const base::FilePath& path, timespec* mtime);

}  // namespace crashwatch
