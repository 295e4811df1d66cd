#include "crash/client/settings.h"

#include <errno.h>
#include <stddef.h>
#include <unistd.h>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"

namespace crashwatch {

static_assert(offsetof(Settings::Data, last_upload_attempt_time) == 16, "record layout");
static_assert(offsetof(Settings::Data, client_id) == 24, "record layout");

namespace {

Settings::ReadFunction g_read = ReadFile;

}  // namespace

void Settings::SetReadFunctionForTesting(ReadFunction read)
{
    g_read = read ? read : ReadFile;
}

Settings::ScopedLockedFile& Settings::ScopedLockedFile::operator=(ScopedLockedFile&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

void Settings::ScopedLockedFile::reset(FileHandle new_file)
{
    const FileHandle file = file_;
    file_ = new_file;
    if (file >= 0) {
        LoggingUnlockFile(file);
        CHECK(LoggingCloseFile(file));
    }
}

FileHandle Settings::ScopedLockedFile::release()
{
    const FileHandle file = file_;
    file_ = kInvalidFileHandle;
    return file;
}

Settings::~Settings()
{
    initialized_ = kDestroyed;
}

bool Settings::OpenFile(const base::FilePath& path)
{
    initialized_ = kInitializing;
    file_path_ = path;
    Data data;
    ScopedLockedFile file = LockForUpdate(&data);
    if (!file.is_valid())
        return false;
    file.reset();
    initialized_ = kValid;
    return true;
}

template <typename T, typename Field>
bool Settings::ReadField(T* value, Field field)
{
    Data data;
    if (!LockAndRead(&data))
        return false;
    *value = field(data);
    return true;
}

bool Settings::GetClientID(UUID* client_id)
{
    return ReadField(client_id, [](const Data& data) { return data.client_id; });
}

bool Settings::GetUploadsAllowed(bool* allowed)
{
    return ReadField(allowed, [](const Data& data) { return (data.options & Data::kUploadsEnabled) != 0; });
}

bool Settings::GetLastUploadAttemptTime(time_t* time)
{
    return ReadField(time, [](const Data& data) { return static_cast<time_t>(data.last_upload_attempt_time); });
}

bool Settings::SetUploadsAllowed(bool allowed)
{
    return ChangeData([allowed](Data* data) {
        if (allowed)
            data->options |= Data::kUploadsEnabled;
        else
            data->options &= ~static_cast<uint32_t>(Data::kUploadsEnabled);
    });
}

bool Settings::WriteLastUploadAttemptTime(time_t time)
{
    return ChangeData([time](Data* data) { data->last_upload_attempt_time = static_cast<int64_t>(time); });
}

// Read, change and write back under one exclusive lock, so no other
// writer's change in between is lost.
template <typename Change>
bool Settings::ChangeData(Change change)
{
    Data data;
    ScopedLockedFile file = LockForUpdate(&data);
    if (!file.is_valid())
        return false;
    change(&data);
    return WriteSettings(file.get(), data);
}

Settings::ScopedLockedFile Settings::OpenAndLock(FileWriteMode mode, FileLocking locking, bool log_open_error)
{
    // Anything but a regular file (a FIFO would hold the start in a read)
    // is not used: the open fails.
    const FileHandle file = OpenRegularFile(file_path_, locking == FileLocking::kShared,
                                            locking == FileLocking::kShared ? FileWriteMode::kReuseOnly : mode,
                                            FilePermissions::kWorldReadable, log_open_error);
    if (file < 0)
        return ScopedLockedFile();
    if (!LoggingLockFile(file, locking)) {
        CHECK(LoggingCloseFile(file));
        return ScopedLockedFile();
    }
    return ScopedLockedFile(file);
}

Settings::ScopedLockedFile Settings::LockForUpdate(Data* data)
{
    ScopedLockedFile file;
    bool log_read_error = true;
    if (initialized_ != kValid) {
        // The first open: an existing file, or else a new one, which is
        // empty, so its failed read is expected and not worth a log entry.
        file = OpenAndLock(FileWriteMode::kReuseOnly, FileLocking::kExclusive, false);
        if (!file.is_valid()) {
            file = OpenAndLock(FileWriteMode::kCreateOrFail, FileLocking::kExclusive, false);
            log_read_error = false;
        }
    }
    if (!file.is_valid()) {
        log_read_error = true;
        file = OpenAndLock(FileWriteMode::kReuseOrCreate, FileLocking::kExclusive, true);
        if (!file.is_valid())
            return ScopedLockedFile();
    }

    switch (ReadSettings(file.get(), data, log_read_error)) {
    case ReadResult::kValid:
        return file;
    case ReadResult::kInvalid:
        if (RecoverSettings(file.get(), data))
            return file;
        return ScopedLockedFile();
    case ReadResult::kReadError:
        break;
    }
    // Rewriting a record that only failed to read would throw the client's
    // identity away; the operation fails instead.
    return ScopedLockedFile();
}

bool Settings::LockAndRead(Data* data)
{
    ReadResult result;
    {
        ScopedLockedFile file = OpenAndLock(FileWriteMode::kReuseOnly, FileLocking::kShared, true);
        if (!file.is_valid())
            return false;
        result = ReadSettings(file.get(), data, true);
    }
    if (result == ReadResult::kInvalid)
        return RecoverSettings(kInvalidFileHandle, data);
    return result == ReadResult::kValid;
}

Settings::ReadResult Settings::ReadSettings(FileHandle file, Data* data, bool log_read_error)
{
    if (LoggingSeekFile(file, 0, SEEK_SET) != 0)
        return ReadResult::kReadError;

    char* out = reinterpret_cast<char*>(data);
    size_t total = 0;
    while (total < sizeof(*data)) {
        const FileOperationResult rv = g_read(file, out + total, sizeof(*data) - total);
        if (rv < 0) {
            PLOG(ERROR) << "read";
            return ReadResult::kReadError;
        }
        if (rv == 0)
            break;
        total += static_cast<size_t>(rv);
    }
    if (total != sizeof(*data)) {
        LOG_IF(ERROR, log_read_error) << "ReadExactly: expected " << sizeof(*data) << ", observed " << total;
        return ReadResult::kInvalid;
    }
    if (data->magic != Data::kSettingsMagic) {
        LOG(ERROR) << "Settings magic is not " << Data::kSettingsMagic;
        return ReadResult::kInvalid;
    }
    if (data->version != Data::kSettingsVersion) {
        LOG(ERROR) << "Settings version is not " << Data::kSettingsVersion;
        return ReadResult::kInvalid;
    }
    return ReadResult::kValid;
}

bool Settings::RecoverSettings(FileHandle file, Data* data)
{
    ScopedLockedFile own;
    if (file == kInvalidFileHandle) {
        own = OpenAndLock(FileWriteMode::kReuseOrCreate, FileLocking::kExclusive, true);
        if (!own.is_valid()) {
            LOG(ERROR) << "Invalid file handle";
            return false;
        }
        file = own.get();
        // Another process may have repaired the record meanwhile.
        switch (ReadSettings(file, data, true)) {
        case ReadResult::kValid: return true;
        case ReadResult::kReadError: return false;
        case ReadResult::kInvalid: break;
        }
    }
    if (!WriteFreshSettings(file))
        return false;
    return ReadSettings(file, data, true) == ReadResult::kValid;
}

bool Settings::WriteFreshSettings(FileHandle file)
{
    Data fresh;
    fresh.client_id.Generate();
    return WriteSettings(file, fresh);
}

// The record is written over the old one in place and only then is the
// file cut to its length, so a process killed or a disk filled at any
// point leaves either the old or the new record, never an empty file.
bool Settings::WriteSettings(FileHandle file, const Data& data)
{
    const char* in = reinterpret_cast<const char*>(&data);
    size_t total = 0;
    while (total < sizeof(data)) {
        const ssize_t rv = HANDLE_EINTR(pwrite(file, in + total, sizeof(data) - total, static_cast<off_t>(total)));
        if (rv <= 0) {
            PLOG(ERROR) << "write";
            return false;
        }
        total += static_cast<size_t>(rv);
    }
    if (HANDLE_EINTR(ftruncate(file, sizeof(data))) != 0) {
        PLOG(ERROR) << "ftruncate";
        return false;
    }
    return true;
}

}  // namespace crashwatch
