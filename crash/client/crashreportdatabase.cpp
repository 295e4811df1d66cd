#include "crash/client/crashreportdatabase.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"
#include "crash/base/strings.h"
#include "crash/util/xattr.h"

namespace crashwatch {

namespace {

const char kWriteDirectory[] = "new";
const char kUploadPendingDirectory[] = "pending";
const char kCompletedDirectory[] = "completed";
const char kSettings[] = "settings.dat";
const char kCrashReportFileExtension[] = "dmp";

const char kXattrUUID[] = "uuid";
const char kXattrCollectorID[] = "id";
const char kXattrCreationTime[] = "creation_time";
const char kXattrIsUploaded[] = "uploaded";
const char kXattrLastUploadTime[] = "last_upload_time";
const char kXattrUploadAttemptCount[] = "upload_count";
const char kXattrIsUploadExplicitlyRequested[] = "upload_explicitly_requested";
const char kXattrDatabaseInitialized[] = "initialized";

// States a report file may be looked for in, tried in this order.
enum ReportState : int {
    kReportStateWrite = 1 << 0,
    kReportStatePending = 1 << 1,
    kReportStateCompleted = 1 << 2,
    kReportStateAny = kReportStateWrite | kReportStatePending | kReportStateCompleted,
};

bool EnsureDirectoryExists(const base::FilePath& path)
{
    struct stat st;
    if (stat(path.value().c_str(), &st) != 0) {
        PLOG(ERROR) << "stat " << path.value();
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        LOG(ERROR) << "stat " << path.value() << ": not a directory";
        return false;
    }
    return true;
}

bool CreateOrEnsureDirectoryExists(const base::FilePath& path)
{
    if (mkdir(path.value().c_str(), 0755) == 0)
        return true;
    if (errno != EEXIST) {
        PLOG(ERROR) << "mkdir " << path.value();
        return false;
    }
    return EnsureDirectoryExists(path);
}

}  // namespace

class CrashReportDatabaseMac : public CrashReportDatabase {
public:
    explicit CrashReportDatabaseMac(const base::FilePath& path) : base_dir_(path) {}

    static std::unique_ptr<CrashReportDatabase> Create(const base::FilePath& path, bool may_create);

    Settings* AccessSettings() override { return &settings_; }
    OperationStatus StartNewReport(std::unique_ptr<NewReport>* report) override;
    OperationStatus FinishedWritingCrashReport(std::unique_ptr<NewReport> report, UUID* uuid) override;
    OperationStatus FindReport(const UUID& uuid, Report* report) override;
    OperationStatus ListPendingReports(std::vector<Report>* reports) override;
    OperationStatus ListCompletedReports(std::vector<Report>* reports) override;
    OperationStatus OpenReportForUpload(const UUID& uuid, std::unique_ptr<ReportForUpload>* report,
                                        bool report_metrics) override;
    OperationStatus DeclineReportUpload(const UUID& uuid, int reason) override;
    OperationStatus DeleteReport(const UUID& uuid) override;
    OperationStatus RequestUpload(const UUID& uuid) override;
    int PruneDatabase() override { return 0; }

protected:
    OperationStatus NoteUploadAttempt(ReportForUpload* report, bool successful, const std::string& id) override;

private:
    bool PrepareStore(bool may_create);
    std::string MetadataKeyName(const char* key) const;
    base::FilePath LocateReportFile(const UUID& uuid, int states);
    static base::ScopedFD ObtainReportLock(const base::FilePath& path);
    bool ReadReportMetadataLocked(const base::FilePath& path, Report* report);
    OperationStatus ReportsInDirectory(const base::FilePath& path, std::vector<Report>* reports);
    OperationStatus MarkReportCompletedLocked(const base::FilePath& path, base::FilePath* out_path);
    // Renames a locked report file into another state's directory.
    static OperationStatus MoveReportLocked(const base::FilePath& path, const base::FilePath& directory,
                                            base::FilePath* out_path);

    base::FilePath base_dir_;
    Settings settings_;
    bool xattr_new_names_ = false;
};

CrashReportDatabase::NewReport::~NewReport()
{
    if (!file_path_.empty() && unlink(file_path_.value().c_str()) != 0)
        PLOG(ERROR) << "unlink " << file_path_.value();
}

CrashReportDatabase::ReportForUpload::~ReportForUpload()
{
    if (database_)
        database_->NoteUploadAttempt(this, false, std::string());
}

CrashReportDatabase::OperationStatus CrashReportDatabase::CompleteUpload(std::unique_ptr<ReportForUpload> report,
                                                                         const std::string& id)
{
    report->database_ = nullptr;
    return NoteUploadAttempt(report.get(), true, id);
}

std::unique_ptr<CrashReportDatabase> CrashReportDatabase::OpenOrCreate(const base::FilePath& path)
{
    return CrashReportDatabaseMac::Create(path, true);
}

std::unique_ptr<CrashReportDatabase> CrashReportDatabase::OpenExisting(const base::FilePath& path)
{
    return CrashReportDatabaseMac::Create(path, false);
}

std::unique_ptr<CrashReportDatabase> CrashReportDatabaseMac::Create(const base::FilePath& path, bool may_create)
{
    std::unique_ptr<CrashReportDatabaseMac> database(new CrashReportDatabaseMac(path));
    if (!database->PrepareStore(may_create))
        return nullptr;
    return std::unique_ptr<CrashReportDatabase>(database.release());
}

bool CrashReportDatabaseMac::PrepareStore(bool may_create)
{
    if (may_create ? !CreateOrEnsureDirectoryExists(base_dir_) : !EnsureDirectoryExists(base_dir_))
        return false;
    for (const char* state : {kWriteDirectory, kUploadPendingDirectory, kCompletedDirectory}) {
        if (!CreateOrEnsureDirectoryExists(base_dir_.Append(state)))
            return false;
    }
    if (!settings_.OpenFile(base_dir_.Append(kSettings)))
        return false;

    // A database made by an older version keeps that version's names.
    bool initialized = false;
    xattr_new_names_ = true;
    if (ReadXattrBool(base_dir_, MetadataKeyName(kXattrDatabaseInitialized), &initialized) == XattrStatus::kOK &&
        initialized)
        return true;
    xattr_new_names_ = false;
    if (ReadXattrBool(base_dir_, MetadataKeyName(kXattrDatabaseInitialized), &initialized) == XattrStatus::kOK &&
        initialized)
        return true;
    xattr_new_names_ = true;
    return WriteXattrBool(base_dir_, MetadataKeyName(kXattrDatabaseInitialized), true);
}

std::string CrashReportDatabaseMac::MetadataKeyName(const char* key) const
{
    return base::StringPrintf(xattr_new_names_ ? "org.harnwick.crashwatch.database.%s" : "com.harnwick.crashwatch.%s",
                              key);
}

base::FilePath CrashReportDatabaseMac::LocateReportFile(const UUID& uuid, int states)
{
    const std::string uuid_text = uuid.FormatText();
    const std::string name = uuid_text + "." + kCrashReportFileExtension;
    const char* directories[] = {kWriteDirectory, kUploadPendingDirectory, kCompletedDirectory};
    for (int i = 0; i < 3; ++i) {
        if (!(states & (1 << i)))
            continue;
        const base::FilePath path = base_dir_.Append(directories[i]).Append(name);
        struct stat st;
        if (lstat(path.value().c_str(), &st) != 0)
            continue;
        std::string stored;
        if (ReadXattr(path, MetadataKeyName(kXattrUUID), &stored) == XattrStatus::kOK && stored == uuid_text)
            return path;
    }
    return base::FilePath();
}

// Takes the report's exclusive lock without waiting. A report moved by
// another process between finding its path and locking it is not the file
// at that path any more; the lock then fails as if it were held.
base::ScopedFD CrashReportDatabaseMac::ObtainReportLock(const base::FilePath& path)
{
    base::ScopedFD lock(HANDLE_EINTR(open(path.value().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)));
    if (!lock.is_valid() || HANDLE_EINTR(flock(lock.get(), LOCK_EX | LOCK_NB)) != 0) {
        PLOG(ERROR) << "open lock " << path.value();
        return base::ScopedFD();
    }
    struct stat locked;
    struct stat named;
    if (fstat(lock.get(), &locked) != 0 || lstat(path.value().c_str(), &named) != 0 ||
        locked.st_ino != named.st_ino || locked.st_dev != named.st_dev) {
        LOG(ERROR) << "open lock " << path.value() << ": moved";
        return base::ScopedFD();
    }
    return lock;
}

bool CrashReportDatabaseMac::ReadReportMetadataLocked(const base::FilePath& path, Report* report)
{
    report->file_path = path;

    std::string uuid_text;
    if (ReadXattr(path, MetadataKeyName(kXattrUUID), &uuid_text) != XattrStatus::kOK ||
        !report->uuid.ParseText(uuid_text))
        return false;
    if (ReadXattrTimeT(path, MetadataKeyName(kXattrCreationTime), &report->creation_time) != XattrStatus::kOK)
        return false;

    // The upload fields are absent until the first attempt.
    report->id.clear();
    if (ReadXattr(path, MetadataKeyName(kXattrCollectorID), &report->id) == XattrStatus::kOtherError)
        return false;
    report->uploaded = false;
    if (ReadXattrBool(path, MetadataKeyName(kXattrIsUploaded), &report->uploaded) == XattrStatus::kOtherError)
        return false;
    report->last_upload_attempt_time = 0;
    if (ReadXattrTimeT(path, MetadataKeyName(kXattrLastUploadTime), &report->last_upload_attempt_time) ==
        XattrStatus::kOtherError)
        return false;
    report->upload_attempts = 0;
    if (ReadXattrInt(path, MetadataKeyName(kXattrUploadAttemptCount), &report->upload_attempts) ==
        XattrStatus::kOtherError)
        return false;
    report->upload_explicitly_requested = false;
    if (ReadXattrBool(path, MetadataKeyName(kXattrIsUploadExplicitlyRequested),
                      &report->upload_explicitly_requested) == XattrStatus::kOtherError)
        return false;

    struct stat st;
    if (stat(path.value().c_str(), &st) != 0) {
        PLOG(ERROR) << "stat " << path.value();
        return false;
    }
    report->total_size = static_cast<uint64_t>(st.st_size);
    return true;
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::StartNewReport(std::unique_ptr<NewReport>* out)
{
    std::unique_ptr<NewReport> report(new NewReport());
    report->uuid_.Generate();
    const base::FilePath path = base_dir_.Append(kWriteDirectory)
                                    .Append(report->uuid_.FormatText() + "." + kCrashReportFileExtension);
    if (!report->writer_.Open(path, FileWriteMode::kCreateOrFail, FilePermissions::kOwnerOnly))
        return kFileSystemError;
    report->file_path_ = path;
    if (!WriteXattr(path, MetadataKeyName(kXattrUUID), report->uuid_.FormatText()))
        return kDatabaseError;  // the report's destructor removes the file
    *out = std::move(report);
    return kNoError;
}

CrashReportDatabase::OperationStatus
CrashReportDatabaseMac::FinishedWritingCrashReport(std::unique_ptr<NewReport> report, UUID* uuid)
{
    const base::FilePath path = report->file_path_;
    std::string uuid_text;
    UUID stored;
    if (ReadXattr(path, MetadataKeyName(kXattrUUID), &uuid_text) != XattrStatus::kOK ||
        !stored.ParseText(uuid_text)) {
        LOG(ERROR) << "Failed to read UUID for crash report " << path.value();
        return kDatabaseError;
    }
    if (stored != report->uuid_) {
        LOG(ERROR) << "UUID mismatch for crash report " << path.value();
        return kDatabaseError;
    }
    if (!WriteXattrTimeT(path, MetadataKeyName(kXattrCreationTime), time(nullptr)))
        return kDatabaseError;

    const base::FilePath new_path = base_dir_.Append(kUploadPendingDirectory).Append(path.BaseName());
    if (rename(path.value().c_str(), new_path.value().c_str()) != 0) {
        PLOG(ERROR) << "rename " << path.value() << " to " << new_path.value();
        return kFileSystemError;
    }
    report->file_path_ = base::FilePath();  // finished: keep the file
    *uuid = report->uuid_;
    return kNoError;
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::FindReport(const UUID& uuid, Report* report)
{
    const base::FilePath path = LocateReportFile(uuid, kReportStateAny);
    if (path.empty())
        return kReportNotFound;
    base::ScopedFD lock = ObtainReportLock(path);
    if (!lock.is_valid())
        return kBusyError;
    *report = Report();
    return ReadReportMetadataLocked(path, report) ? kNoError : kDatabaseError;
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::ListPendingReports(std::vector<Report>* reports)
{
    return ReportsInDirectory(base_dir_.Append(kUploadPendingDirectory), reports);
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::ListCompletedReports(std::vector<Report>* reports)
{
    return ReportsInDirectory(base_dir_.Append(kCompletedDirectory), reports);
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::ReportsInDirectory(const base::FilePath& path,
                                                                               std::vector<Report>* reports)
{
    base::ScopedDIR dir(opendir(path.value().c_str()));
    std::vector<std::string> names;
    if (dir.get()) {
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(dir.get());
            if (!entry)
                break;
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
    }
    if (!dir.get() || errno != 0) {
        LOG(ERROR) << "Failed to enumerate reports in directory " << path.value() << ": "
                   << base::SystemErrorCodeToString(errno);
        return kFileSystemError;
    }

    reports->clear();
    reports->reserve(names.size());
    for (const std::string& name : names) {
        const base::FilePath report_path = path.Append(name);
        base::ScopedFD lock = ObtainReportLock(report_path);
        if (!lock.is_valid())
            continue;
        Report report;
        if (!ReadReportMetadataLocked(report_path, &report)) {
            LOG(WARNING) << "Failed to read report metadata for " << report_path.value();
            continue;
        }
        reports->push_back(report);
    }
    return kNoError;
}

CrashReportDatabase::OperationStatus
CrashReportDatabaseMac::OpenReportForUpload(const UUID& uuid, std::unique_ptr<ReportForUpload>* out,
                                            bool report_metrics)
{
    const base::FilePath path = LocateReportFile(uuid, kReportStatePending);
    if (path.empty())
        return kReportNotFound;
    std::unique_ptr<ReportForUpload> report(new ReportForUpload());
    report->lock_ = ObtainReportLock(path);
    if (!report->lock_.is_valid())
        return kBusyError;
    if (!ReadReportMetadataLocked(path, report.get()))
        return kDatabaseError;
    if (!report->reader_.Open(path))
        return kFileSystemError;
    report->database_ = this;
    report->report_metrics_ = report_metrics;
    *out = std::move(report);
    return kNoError;
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::DeclineReportUpload(const UUID& uuid, int)
{
    const base::FilePath path = LocateReportFile(uuid, kReportStatePending);
    if (path.empty())
        return kReportNotFound;
    base::ScopedFD lock = ObtainReportLock(path);
    if (!lock.is_valid())
        return kBusyError;
    return MarkReportCompletedLocked(path, nullptr);
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::MoveReportLocked(const base::FilePath& path,
                                                                             const base::FilePath& directory,
                                                                             base::FilePath* out_path)
{
    const base::FilePath new_path = directory.Append(path.BaseName());
    if (rename(path.value().c_str(), new_path.value().c_str()) != 0) {
        PLOG(ERROR) << "rename " << path.value() << " to " << new_path.value();
        return kFileSystemError;
    }
    if (out_path)
        *out_path = new_path;
    return kNoError;
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::MarkReportCompletedLocked(const base::FilePath& path,
                                                                                      base::FilePath* out_path)
{
    if (RemoveXattr(path, MetadataKeyName(kXattrIsUploadExplicitlyRequested)) == XattrStatus::kOtherError)
        return kDatabaseError;
    return MoveReportLocked(path, base_dir_.Append(kCompletedDirectory), out_path);
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::DeleteReport(const UUID& uuid)
{
    const base::FilePath path = LocateReportFile(uuid, kReportStateAny);
    if (path.empty())
        return kReportNotFound;
    base::ScopedFD lock = ObtainReportLock(path);
    if (!lock.is_valid())
        return kBusyError;
    if (unlink(path.value().c_str()) != 0) {
        PLOG(ERROR) << "unlink " << path.value();
        return kFileSystemError;
    }
    return kNoError;
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::RequestUpload(const UUID& uuid)
{
    const base::FilePath path = LocateReportFile(uuid, kReportStatePending | kReportStateCompleted);
    if (path.empty())
        return kReportNotFound;
    base::ScopedFD lock = ObtainReportLock(path);
    if (!lock.is_valid())
        return kBusyError;

    bool uploaded = false;
    if (ReadXattrBool(path, MetadataKeyName(kXattrIsUploaded), &uploaded) == XattrStatus::kOtherError)
        return kDatabaseError;
    if (uploaded)
        return kCannotRequestUpload;
    if (!WriteXattrBool(path, MetadataKeyName(kXattrIsUploadExplicitlyRequested), true))
        return kDatabaseError;
    return MoveReportLocked(path, base_dir_.Append(kUploadPendingDirectory), nullptr);
}

CrashReportDatabase::OperationStatus CrashReportDatabaseMac::NoteUploadAttempt(ReportForUpload* report,
                                                                              bool successful,
                                                                              const std::string& id)
{
    base::FilePath path = LocateReportFile(report->uuid, kReportStatePending);
    if (path.empty())
        return kReportNotFound;
    if (successful) {
        const OperationStatus status = MarkReportCompletedLocked(path, &path);
        if (status != kNoError)
            return status;
    }
    if (!WriteXattrBool(path, MetadataKeyName(kXattrIsUploaded), successful))
        return kDatabaseError;
    if (!WriteXattr(path, MetadataKeyName(kXattrCollectorID), id))
        return kDatabaseError;
    const time_t now = time(nullptr);
    if (!WriteXattrTimeT(path, MetadataKeyName(kXattrLastUploadTime), now))
        return kDatabaseError;
    int attempts = 0;
    if (ReadXattrInt(path, MetadataKeyName(kXattrUploadAttemptCount), &attempts) == XattrStatus::kOtherError)
        return kDatabaseError;
    if (!WriteXattrInt(path, MetadataKeyName(kXattrUploadAttemptCount), attempts + 1))
        return kDatabaseError;
    if (!settings_.WriteLastUploadAttemptTime(now))
        return kDatabaseError;
    return kNoError;
}

}  // namespace crashwatch
