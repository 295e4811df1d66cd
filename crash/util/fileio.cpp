#include "crash/util/fileio.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"
#include "crash/base/scopedfd.h"

namespace crashwatch {

namespace {

class FileHandleReader : public internal::ReadExactlyInternal {
public:
    explicit FileHandleReader(FileHandle file) : file_(file) {}

private:
    FileOperationResult Read(void* buffer, size_t size, bool can_log) override
    {
        const FileOperationResult rv = ReadFile(file_, buffer, size);
        if (rv < 0 && can_log)
            PLOG(ERROR) << "read";
        return rv;
    }

    FileHandle file_;
};

int OpenFlags(int access, FileWriteMode mode)
{
    int flags = access | O_NOCTTY | O_CLOEXEC;
    switch (mode) {
    case FileWriteMode::kReuseOnly: break;
    case FileWriteMode::kReuseOrCreate: flags |= O_CREAT; break;
    case FileWriteMode::kTruncateOrCreate: flags |= O_CREAT | O_TRUNC; break;
    case FileWriteMode::kCreateOrFail: flags |= O_CREAT | O_EXCL; break;
    }
    return flags;
}

mode_t FileMode(FilePermissions permissions)
{
    return permissions == FilePermissions::kWorldReadable ? 0644 : 0600;
}

FileHandle OpenLogged(const base::FilePath& path, int flags, mode_t mode, bool log)
{
    const FileHandle file = HANDLE_EINTR(open(path.value().c_str(), flags, mode));
    if (file < 0 && log)
        PLOG(ERROR) << "open " << path.value();
    return file;
}

}  // namespace

bool internal::ReadExactlyInternal::ReadExactly(void* buffer, size_t size, bool can_log)
{
    char* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (total < size) {
        const FileOperationResult rv = Read(out + total, size - total, can_log);
        if (rv < 0)
            return false;
        if (rv == 0)
            break;
        total += static_cast<size_t>(rv);
    }
    if (total != size) {
        LOG_IF(ERROR, can_log) << "ReadExactly: expected " << size << ", observed " << total;
        return false;
    }
    return true;
}

FileOperationResult ReadFile(FileHandle file, void* buffer, size_t size)
{
    const size_t chunk = std::min<size_t>(size, SSIZE_MAX);
    return HANDLE_EINTR(read(file, buffer, chunk));
}

FileOperationResult WriteFile(FileHandle file, const void* buffer, size_t size)
{
    const size_t chunk = std::min<size_t>(size, SSIZE_MAX);
    return HANDLE_EINTR(write(file, buffer, chunk));
}

bool ReadFileExactly(FileHandle file, void* buffer, size_t size)
{
    FileHandleReader reader(file);
    return reader.ReadExactly(buffer, size, false);
}

bool LoggingReadFileExactly(FileHandle file, void* buffer, size_t size)
{
    FileHandleReader reader(file);
    return reader.ReadExactly(buffer, size, true);
}

bool LoggingWriteFile(FileHandle file, const void* buffer, size_t size)
{
    const char* in = static_cast<const char*>(buffer);
    size_t total = 0;
    while (total < size) {
        const FileOperationResult rv = WriteFile(file, in + total, size - total);
        if (rv < 0) {
            PLOG(ERROR) << "write";
            return false;
        }
        if (rv == 0) {
            LOG(ERROR) << "write: returned 0";
            return false;
        }
        total += static_cast<size_t>(rv);
    }
    return true;
}

void CheckedReadFileExactly(FileHandle file, void* buffer, size_t size)
{
    CHECK(LoggingReadFileExactly(file, buffer, size));
}

void CheckedWriteFile(FileHandle file, const void* buffer, size_t size)
{
    CHECK(LoggingWriteFile(file, buffer, size));
}

void CheckedReadFileAtEOF(FileHandle file)
{
    char c;
    const FileOperationResult rv = ReadFile(file, &c, 1);
    if (rv < 0) {
        PCHECK(rv == 0) << "read";
    } else {
        CHECK_EQ(rv, 0) << "read";
    }
}

void CheckedCloseFile(FileHandle file)
{
    CHECK(LoggingCloseFile(file));
}

bool LoggingReadToEOF(FileHandle file, std::string* contents)
{
    char buffer[4096];
    for (;;) {
        const FileOperationResult rv = ReadFile(file, buffer, sizeof(buffer));
        if (rv < 0) {
            PLOG(ERROR) << "read";
            return false;
        }
        if (rv == 0)
            return true;
        contents->append(buffer, static_cast<size_t>(rv));
    }
}

FileHandle OpenFileForRead(const base::FilePath& path)
{
    return OpenLogged(path, O_RDONLY | O_NOCTTY | O_CLOEXEC, 0, false);
}

FileHandle OpenFileForWrite(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions)
{
    return OpenLogged(path, OpenFlags(O_WRONLY, mode), FileMode(permissions), false);
}

FileHandle OpenFileForReadAndWrite(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions)
{
    return OpenLogged(path, OpenFlags(O_RDWR, mode), FileMode(permissions), false);
}

FileHandle LoggingOpenFileForRead(const base::FilePath& path)
{
    return OpenLogged(path, O_RDONLY | O_NOCTTY | O_CLOEXEC, 0, true);
}

FileHandle LoggingOpenFileForWrite(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions)
{
    return OpenLogged(path, OpenFlags(O_WRONLY, mode), FileMode(permissions), true);
}

FileHandle LoggingOpenFileForReadAndWrite(const base::FilePath& path, FileWriteMode mode,
                                          FilePermissions permissions)
{
    return OpenLogged(path, OpenFlags(O_RDWR, mode), FileMode(permissions), true);
}

FileHandle OpenRegularFile(const base::FilePath& path, bool read_only, FileWriteMode mode,
                           FilePermissions permissions, bool log)
{
    // O_NONBLOCK keeps the open of a FIFO from waiting for its other end;
    // the descriptor itself says what was opened, links followed.
    const FileHandle file =
        OpenLogged(path, OpenFlags(read_only ? O_RDONLY : O_RDWR, mode) | O_NONBLOCK, FileMode(permissions), log);
    if (file < 0)
        return file;
    struct stat st;
    if (fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (log)
            LOG(ERROR) << path.value() << " is not a regular file";
        LoggingCloseFile(file);
        return kInvalidFileHandle;
    }
    const int flags = fcntl(file, F_GETFL);
    if (flags != -1)
        fcntl(file, F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

bool LoggingLockFile(FileHandle file, FileLocking locking)
{
    const int operation = locking == FileLocking::kShared ? LOCK_SH : LOCK_EX;
    if (HANDLE_EINTR(flock(file, operation)) != 0) {
        PLOG(ERROR) << "flock";
        return false;
    }
    return true;
}

bool LoggingUnlockFile(FileHandle file)
{
    if (flock(file, LOCK_UN) != 0) {
        PLOG(ERROR) << "flock";
        return false;
    }
    return true;
}

FileOffset LoggingSeekFile(FileHandle file, FileOffset offset, int whence)
{
    const FileOffset rv = lseek(file, offset, whence);
    PLOG_IF(ERROR, rv < 0) << "lseek";
    return rv;
}

bool LoggingTruncateFile(FileHandle file)
{
    if (HANDLE_EINTR(ftruncate(file, 0)) != 0) {
        PLOG(ERROR) << "ftruncate";
        return false;
    }
    return true;
}

bool LoggingCloseFile(FileHandle file)
{
    const int rv = IGNORE_EINTR(base::CloseFileDescriptor(file));
    PLOG_IF(ERROR, rv != 0) << "close";
    return rv == 0;
}

FileOffset LoggingFileSizeByHandle(FileHandle file)
{
    struct stat st;
    if (fstat(file, &st) != 0) {
        PLOG(ERROR) << "fstat";
        return -1;
    }
    return st.st_size;
}

FileHandle StdioFileHandle(StdioStream stdio_stream)
{
    switch (stdio_stream) {
    case StdioStream::kStandardInput: return STDIN_FILENO;
    case StdioStream::kStandardOutput: return STDOUT_FILENO;
    case StdioStream::kStandardError: return STDERR_FILENO;
    }
    return kInvalidFileHandle;
}

}  // namespace crashwatch
