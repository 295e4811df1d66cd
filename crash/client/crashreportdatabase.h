#pragma once
// The crash report database: a directory shared by the program and the
// crash handler process. One file per report, named by the report's UUID;
// the report's metadata lives in extended attributes of that file, and the
// subdirectory the file lies in ("new", "pending", "completed") is its
// state. Every report operation holds that report's lock, so both
// processes may work on the database at the same time.

#include <stdint.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "crash/base/filepath.h"
#include "crash/base/scopedfd.h"
#include "crash/client/settings.h"
#include "crash/util/filereader.h"
#include "crash/util/uuid.h"

namespace crashwatch {

class CrashReportDatabase {
public:
    // One report's metadata.
    struct Report {
        UUID uuid;
        base::FilePath file_path;
        std::string id;  // the upload service's id; empty when none
        time_t creation_time = 0;
        bool uploaded = false;
        time_t last_upload_attempt_time = 0;
        int upload_attempts = 0;
        bool upload_explicitly_requested = false;
        uint64_t total_size = 0;  // the report file's size in bytes
    };

    // A report being written. Destroying it before it was finished
    // removes its file.
    class NewReport {
    public:
        ~NewReport();
        FileWriter* Writer() { return &writer_; }
        const UUID& ReportID() const { return uuid_; }
        const base::FilePath& FilePath() const { return file_path_; }

    private:
        friend class CrashReportDatabaseMac;
        NewReport() = default;

        FileWriter writer_;
        base::FilePath file_path_;  // removed on destruction unless empty
        UUID uuid_;
    };

    // A pending report opened for upload; holds the report's lock until it
    // is destroyed. Destroyed without CompleteUpload, it counts as a
    // failed upload attempt.
    class ReportForUpload : public Report {
    public:
        ~ReportForUpload();
        FileReader* Reader() { return &reader_; }

    private:
        friend class CrashReportDatabase;
        friend class CrashReportDatabaseMac;
        ReportForUpload() = default;

        base::ScopedFD lock_;  // declared first: released last
        FileReader reader_;
        CrashReportDatabase* database_ = nullptr;
        bool report_metrics_ = false;
    };

    enum OperationStatus {
        kNoError = 0,
        kReportNotFound = 1,
        kFileSystemError = 2,  // create, rename, unlink or enumerate failed
        kDatabaseError = 3,    // metadata cannot be read or written
        kBusyError = 4,        // another holds the report's lock
        kCannotRequestUpload = 5,  // the report was uploaded already
    };

    virtual ~CrashReportDatabase() = default;

    // Creates the database at path when needed; null on failure.
    static std::unique_ptr<CrashReportDatabase> OpenOrCreate(const base::FilePath& path);
    // Opens an existing database only; null on failure.
    static std::unique_ptr<CrashReportDatabase> OpenExisting(const base::FilePath& path);

    // The database's settings; never null.
    virtual Settings* AccessSettings() = 0;

    virtual OperationStatus StartNewReport(std::unique_ptr<NewReport>* report) = 0;
    // Moves a written report to "pending".
    virtual OperationStatus FinishedWritingCrashReport(std::unique_ptr<NewReport> report, UUID* uuid) = 0;
    virtual OperationStatus FindReport(const UUID& uuid, Report* report) = 0;
    virtual OperationStatus ListPendingReports(std::vector<Report>* reports) = 0;
    virtual OperationStatus ListCompletedReports(std::vector<Report>* reports) = 0;
    virtual OperationStatus OpenReportForUpload(const UUID& uuid, std::unique_ptr<ReportForUpload>* report,
                                                bool report_metrics) = 0;
    // Moves a pending report to "completed" without uploading it. The
    // reason is for upload metrics, which this build does not keep.
    virtual OperationStatus DeclineReportUpload(const UUID& uuid, int reason) = 0;
    virtual OperationStatus DeleteReport(const UUID& uuid) = 0;
    // Asks for a (new) upload of a report that was not uploaded yet.
    virtual OperationStatus RequestUpload(const UUID& uuid) = 0;
    virtual int PruneDatabase() = 0;

    // Records a successful upload of a report opened for upload.
    OperationStatus CompleteUpload(std::unique_ptr<ReportForUpload> report, const std::string& id);

protected:
    virtual OperationStatus NoteUploadAttempt(ReportForUpload* report, bool successful, const std::string& id) = 0;
};

}  // namespace crashwatch
