#include "crash/util/filereader.h"

#include <limits.h>
#include <sys/uio.h>

#include <algorithm>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"

namespace crashwatch {

FileOperationResult FileReaderInterface::Read(void* buffer, size_t size)
{
    return Read(buffer, size, true);
}

FileOperationResult FileReaderInterface::Read(void* buffer, size_t size, bool can_log)
{
    const FileOperationResult rv = ReadFile(handle(), buffer, size);
    PLOG_IF(ERROR, rv < 0 && can_log) << "read";
    return rv;
}

FileOffset WeakFileHandleFileReader::Seek(FileOffset offset, int whence)
{
    return LoggingSeekFile(file_, offset, whence);
}

bool FileReader::Open(const base::FilePath& path)
{
    CHECK(!file_.is_valid());
    file_.reset(LoggingOpenFileForRead(path));
    return file_.is_valid();
}

void FileReader::Close()
{
    CHECK(file_.is_valid());
    file_.reset();
}

FileOffset FileReader::Seek(FileOffset offset, int whence)
{
    return LoggingSeekFile(file_.get(), offset, whence);
}

bool FileWriterInterface::Write(const void* data, size_t size)
{
    return LoggingWriteFile(handle(), data, size);
}

bool FileWriterInterface::WriteIoVec(std::vector<WritableIoVec>* iovecs)
{
    if (iovecs->empty()) {
        LOG(ERROR) << "WriteIoVec(): no iovecs";
        return false;
    }
    std::vector<iovec> pending;
    for (const WritableIoVec& v : *iovecs)
        pending.push_back(iovec{const_cast<void*>(v.iov_base), v.iov_len});
    size_t first = 0;
    for (;;) {
        while (first < pending.size() && pending[first].iov_len == 0)
            ++first;
        if (first == pending.size())
            break;
        const int count = static_cast<int>(std::min<size_t>(pending.size() - first, IOV_MAX));
        const ssize_t written = HANDLE_EINTR(writev(handle(), &pending[first], count));
        if (written < 0) {
            PLOG(ERROR) << "writev";
            return false;
        }
        if (written == 0) {
            LOG(ERROR) << "writev: returned 0";
            return false;
        }
        // Skip what was written; a partly written buffer keeps its rest.
        size_t left = static_cast<size_t>(written);
        while (first < pending.size() && left >= pending[first].iov_len) {
            left -= pending[first].iov_len;
            ++first;
        }
        if (left) {
            pending[first].iov_base = static_cast<char*>(pending[first].iov_base) + left;
            pending[first].iov_len -= left;
        }
    }
    return true;
}

FileOffset FileWriterInterface::Seek(FileOffset offset, int whence)
{
    return LoggingSeekFile(handle(), offset, whence);
}

bool FileWriter::Open(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions)
{
    CHECK(!file_.is_valid());
    file_.reset(LoggingOpenFileForWrite(path, mode, permissions));
    return file_.is_valid();
}

void FileWriter::Close()
{
    CHECK(file_.is_valid());
    file_.reset();
}

}  // namespace crashwatch
