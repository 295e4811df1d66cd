#pragma once
// "settings.dat": the few settings the program and the crash handler
// process share, in one fixed 40-byte record. Both processes open the file
// for every single operation and serialise through advisory locks: readers
// hold a shared lock, writers an exclusive one from their read through
// their write. A missing, short or damaged record is replaced by a fresh
// one; a file that merely cannot be read right now is left alone.

#include <stdint.h>
#include <time.h>

#include "crash/base/filepath.h"
#include "crash/util/fileio.h"
#include "crash/util/uuid.h"

namespace crashwatch {

class Settings {
public:
    // The file's only content, little-endian, at offset 0.
    struct Data {
        static constexpr uint32_t kSettingsMagic = 0x43506473;  // "sdPC" in file order
        static constexpr uint32_t kSettingsVersion = 1;
        enum Options : uint32_t {
            kUploadsEnabled = 1 << 0,
        };

        uint32_t magic = kSettingsMagic;
        uint32_t version = kSettingsVersion;
        uint32_t options = 0;
        uint32_t padding_0 = 0;
        int64_t last_upload_attempt_time = 0;  // seconds since 1970; 0 never
        UUID client_id;
    };

    Settings() = default;
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Makes sure the file at path holds a valid record (creating it when
    // missing); the object is usable after the first success.
    bool OpenFile(const base::FilePath& path);

    bool GetClientID(UUID* client_id);
    bool GetUploadsAllowed(bool* allowed);
    bool GetLastUploadAttemptTime(time_t* time);

    bool SetUploadsAllowed(bool allowed);
    bool WriteLastUploadAttemptTime(time_t time);

    // Replaces the single reads of the file, so tests can make them fail.
    using ReadFunction = FileOperationResult (*)(FileHandle file, void* buffer, size_t size);
    static void SetReadFunctionForTesting(ReadFunction read);

private:
    // A descriptor holding an advisory lock: unlocked, then closed.
    class ScopedLockedFile {
    public:
        ScopedLockedFile() = default;
        explicit ScopedLockedFile(FileHandle file) : file_(file) {}
        ScopedLockedFile(ScopedLockedFile&& other) noexcept : file_(other.release()) {}
        ScopedLockedFile& operator=(ScopedLockedFile&& other) noexcept;
        ~ScopedLockedFile() { reset(); }

        FileHandle get() const { return file_; }
        bool is_valid() const { return file_ >= 0; }
        void reset(FileHandle file = kInvalidFileHandle);
        FileHandle release();

    private:
        FileHandle file_ = kInvalidFileHandle;
    };

    enum class ReadResult {
        kValid,
        kInvalid,    // short, or a wrong magic or version: damage
        kReadError,  // the file could not be read: not damage
    };

    enum InitializationState : uint8_t {
        kUninitialized = 0,
        kInitializing = 1,
        kValid = 2,
        kDestroyed = 3,
    };

    template <typename T, typename Field>
    bool ReadField(T* value, Field field);
    template <typename Change>
    bool ChangeData(Change change);

    ScopedLockedFile LockForUpdate(Data* data);
    bool LockAndRead(Data* data);
    ScopedLockedFile OpenAndLock(FileWriteMode mode, FileLocking locking, bool log_open_error);
    ReadResult ReadSettings(FileHandle file, Data* data, bool log_read_error);
    bool RecoverSettings(FileHandle file, Data* data);
    bool WriteSettings(FileHandle file, const Data& data);
    bool WriteFreshSettings(FileHandle file);

    base::FilePath file_path_;
    uint8_t initialized_ = kUninitialized;
};

static_assert(sizeof(Settings::Data) == 40, "the settings record is 40 bytes");

}  // namespace crashwatch
