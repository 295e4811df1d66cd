#pragma once
// Readers and writers over a descriptor: the Weak forms use a borrowed
// one, FileReader and FileWriter own theirs.

#include <vector>

#include "crash/base/filepath.h"
#include "crash/base/scopedfd.h"
#include "crash/util/fileio.h"

namespace crashwatch {

class FileReaderInterface : public internal::ReadExactlyInternal {
public:
    virtual ~FileReaderInterface() = default;
    // Bytes read (0 at end of file) or -1 after an ERROR entry.
    FileOperationResult Read(void* buffer, size_t size);
    // Reads exactly size bytes; anything short is logged and false.
    bool ReadExactly(void* buffer, size_t size) { return internal::ReadExactlyInternal::ReadExactly(buffer, size, true); }
    // The new offset or -1 (logged).
    virtual FileOffset Seek(FileOffset offset, int whence) = 0;

private:
    FileOperationResult Read(void* buffer, size_t size, bool can_log) final;
    virtual FileHandle handle() const = 0;
};

class WeakFileHandleFileReader : public FileReaderInterface {
public:
    explicit WeakFileHandleFileReader(FileHandle file) : file_(file) {}
    FileOffset Seek(FileOffset offset, int whence) override;
    void set_file_handle(FileHandle file) { file_ = file; }

private:
    FileHandle handle() const override { return file_; }
    FileHandle file_;
};

class FileReader : public FileReaderInterface {
public:
    FileReader() = default;
    bool Open(const base::FilePath& path);  // fatal when already open
    void Close();                           // fatal when not open
    FileOffset Seek(FileOffset offset, int whence) override;

private:
    FileHandle handle() const override { return file_.get(); }
    base::ScopedFD file_;
};

struct WritableIoVec {
    const void* iov_base;
    size_t iov_len;
};

class FileWriterInterface {
public:
    virtual ~FileWriterInterface() = default;
    bool Write(const void* data, size_t size);
    // Writes every buffer in order, resuming after partial writes.
    bool WriteIoVec(std::vector<WritableIoVec>* iovecs);
    FileOffset Seek(FileOffset offset, int whence);

private:
    virtual FileHandle handle() const = 0;
};

class WeakFileHandleFileWriter : public FileWriterInterface {
public:
    explicit WeakFileHandleFileWriter(FileHandle file) : file_(file) {}
    void set_file_handle(FileHandle file) { file_ = file; }

private:
    FileHandle handle() const override { return file_; }
    FileHandle file_;
};

class FileWriter : public FileWriterInterface {
public:
    FileWriter() = default;
    bool Open(const base::FilePath& path, FileWriteMode mode, FilePermissions permissions);
    void Close();

private:
    FileHandle handle() const override { return file_.get(); }
    base::ScopedFD file_;
};

}  // namespace crashwatch
