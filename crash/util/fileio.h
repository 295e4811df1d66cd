#pragma once
// Descriptor-level file operations of the crash client. The Logging forms
// write one log entry on failure, the Checked forms end the process, the
// plain forms are silent.

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <sys/types.h>

#include "crash/base/filepath.h"

namespace crashwatch {

using FileHandle = int;
using FileOperationResult = ssize_t;  // a byte count, or -1 on error
using FileOffset = off_t;

constexpr FileHandle kInvalidFileHandle = -1;

enum class FileWriteMode {
    kReuseOnly = 0,        // use an existing file only
    kReuseOrCreate = 1,    // use an existing file or create it
    kTruncateOrCreate = 2, // empty an existing file or create it
    kCreateOrFail = 3,     // create a new file; fail when one exists
};

enum class FilePermissions {
    kOwnerOnly = 0,      // 0600 files, 0700 directories
    kWorldReadable = 1,  // 0644 files, 0755 directories
};

enum class FileLocking {
    kShared = 0,
    kExclusive = 1,
};

enum class StdioStream {
    kStandardInput = 0,
    kStandardOutput = 1,
    kStandardError = 2,
};

// One read or write of at most SSIZE_MAX bytes, repeated after EINTR.
FileOperationResult ReadFile(FileHandle file, void* buffer, size_t size);
FileOperationResult WriteFile(FileHandle file, const void* buffer, size_t size);

// Reads until size bytes or end of file; anything short is false.
bool ReadFileExactly(FileHandle file, void* buffer, size_t size);
bool LoggingReadFileExactly(FileHandle file, void* buffer, size_t size);

// Writes until all size bytes are written.
bool LoggingWriteFile(FileHandle file, const void* buffer, size_t size);

void CheckedReadFileExactly(FileHandle file, void* buffer, size_t size);
void CheckedWriteFile(FileHandle file, const void* buffer, size_t size);
// Fatal unless the file is at its end.
void CheckedReadFileAtEOF(FileHandle file);
void CheckedCloseFile(FileHandle file);

// Appends everything up to end of file to contents.
bool LoggingReadToEOF(FileHandle file, std::string* contents);

FileHandle OpenFileForRead(const base::FilePath& path);
FileHandle OpenFileForWrite(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions);
FileHandle OpenFileForReadAndWrite(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions);
FileHandle LoggingOpenFileForRead(const base::FilePath& path);
FileHandle LoggingOpenFileForWrite(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions);
FileHandle LoggingOpenFileForReadAndWrite(const base::FilePath& path, FileWriteMode mode,
                                          FilePermissions permissions);
// Opens a file that must be a regular one, read only (kReuseOnly) or for
// reading and writing, without waiting: a FIFO or a device at the path is
// never read from nor written to, and is an error ("is not a regular file").
FileHandle OpenRegularFile(const base::FilePath& path, bool read_only, FileWriteMode mode,
                           FilePermissions permissions, bool log);

// Advisory whole-file locks (flock), blocking.
bool LoggingLockFile(FileHandle file, FileLocking locking);
bool LoggingUnlockFile(FileHandle file);

// The new offset, or -1.
FileOffset LoggingSeekFile(FileHandle file, FileOffset offset, int whence);
// Cuts the file to 0 bytes.
bool LoggingTruncateFile(FileHandle file);
// EINTR counts as success: the descriptor is gone either way.
bool LoggingCloseFile(FileHandle file);
// The size, or -1.
FileOffset LoggingFileSizeByHandle(FileHandle file);

FileHandle StdioFileHandle(StdioStream stdio_stream);

namespace internal {

// Drives any reader's single Read until size bytes or end of file.
class ReadExactlyInternal {
public:
    // Logs "ReadExactly: expected ..., observed ..." on a short read when
    // can_log is set (Read logs its own errors).
    bool ReadExactly(void* buffer, size_t size, bool can_log);

protected:
    ~ReadExactlyInternal() = default;

private:
    // Bytes read (0 at end of file) or -1; may log when can_log is set.
    virtual FileOperationResult Read(void* buffer, size_t size, bool can_log) = 0;
};

}  // namespace internal

}  // namespace crashwatch
