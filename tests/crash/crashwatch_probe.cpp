// A second process for the crash client tests. It links the crash client
// alone (no Qt), so building it proves the library stands on its own.
//   crashwatch_probe log              one ERROR and one errno entry
//   crashwatch_probe fatal            a failing comparison check
//   crashwatch_probe fds FD           writes its session id and its open
//                                     descriptors to FD
//   crashwatch_probe settings DUMPS time|toggle N
//       N changes of "settings.dat" (last upload time 1..N, or uploads
//       allowed on and off), each followed by a read of the client ID;
//       prints the changes that succeeded, the last value written and the
//       number of reads that failed or saw another ID
//   crashwatch_probe settings-loop DUMPS
//       changes "settings.dat" until killed
//   crashwatch_probe reports DUMPS N UUID...
//       N rounds over the reports: open for upload (a failed attempt when
//       the handle goes), find, list; prints the opens that succeeded and
//       the operations that failed other than by a busy lock

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "crash/base/logging.h"
#include "crash/client/crashreportdatabase.h"
#include "crash/util/directoryreader.h"

namespace {

int Log()
{
    LOG(ERROR) << "probe entry";
    errno = ENOENT;
    PLOG(WARNING) << "probe errno entry";
    return 0;
}

int Fatal()
{
    const int one = 1;
    CHECK_EQ(one, 2) << "probe check";
    puts("still running");
    return 0;
}

int Fds(int out)
{
    crashwatch::DirectoryReader reader;
    if (!reader.Open(base::FilePath("/proc/self/fd")))
        return 3;
    std::string text = std::to_string(getsid(0));
    base::FilePath name;
    while (reader.NextFile(&name) == crashwatch::DirectoryReader::Result::kSuccess) {
        if (name.value() != std::to_string(reader.DirectoryFD()))
            text += " " + name.value();
    }
    return crashwatch::LoggingWriteFile(out, text.data(), text.size()) ? 0 : 3;
}

// Busy report locks are expected when two processes share reports.
bool QuietBusyLocks(int, const char*, int, size_t start, const std::string& line)
{
    return line.compare(start, 10, "open lock ") == 0;
}

int Settings(const char* dumps, const std::string& mode, int rounds)
{
    std::unique_ptr<crashwatch::CrashReportDatabase> db =
        crashwatch::CrashReportDatabase::OpenExisting(base::FilePath(dumps));
    if (!db)
        return 3;
    crashwatch::Settings* settings = db->AccessSettings();
    crashwatch::UUID id;
    if (!settings->GetClientID(&id))
        return 3;
    int changed = 0;
    int last = 0;
    int bad = 0;
    for (int i = 1; i <= rounds; ++i) {
        const bool ok = mode == "time" ? settings->WriteLastUploadAttemptTime(i) : settings->SetUploadsAllowed(i % 2);
        if (ok) {
            ++changed;
            last = mode == "time" ? i : i % 2;
        }
        crashwatch::UUID now;
        if (!settings->GetClientID(&now) || now != id)
            ++bad;
    }
    printf("%d %d %d\n", changed, last, bad);
    return 0;
}

int SettingsLoop(const char* dumps)
{
    std::unique_ptr<crashwatch::CrashReportDatabase> db =
        crashwatch::CrashReportDatabase::OpenExisting(base::FilePath(dumps));
    if (!db)
        return 3;
    for (int i = 0;; ++i) {
        db->AccessSettings()->SetUploadsAllowed(i % 2);
        db->AccessSettings()->WriteLastUploadAttemptTime(i);
    }
}

int Reports(const char* dumps, int rounds, const std::vector<std::string>& texts)
{
    base::SetLogMessageHandler(QuietBusyLocks);
    std::unique_ptr<crashwatch::CrashReportDatabase> db =
        crashwatch::CrashReportDatabase::OpenExisting(base::FilePath(dumps));
    if (!db)
        return 3;
    std::vector<crashwatch::UUID> uuids(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!uuids[i].ParseText(texts[i]))
            return 3;
    }
    using Database = crashwatch::CrashReportDatabase;
    int opened = 0;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const crashwatch::UUID& uuid : uuids) {
            std::unique_ptr<Database::ReportForUpload> upload;
            const Database::OperationStatus status = db->OpenReportForUpload(uuid, &upload, false);
            if (status == Database::kNoError)
                ++opened;
            else if (status != Database::kBusyError)
                ++failures;
            upload.reset();
            Database::Report report;
            const Database::OperationStatus found = db->FindReport(uuid, &report);
            if (found != Database::kNoError && found != Database::kBusyError)
                ++failures;
        }
        std::vector<Database::Report> pending;
        if (db->ListPendingReports(&pending) != Database::kNoError)
            ++failures;
    }
    printf("%d %d\n", opened, failures);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    if (!strcmp(argv[1], "log"))
        return Log();
    if (!strcmp(argv[1], "fatal"))
        return Fatal();
    if (!strcmp(argv[1], "fds") && argc == 3)
        return Fds(atoi(argv[2]));
    if (!strcmp(argv[1], "settings") && argc == 5)
        return Settings(argv[2], argv[3], atoi(argv[4]));
    if (!strcmp(argv[1], "settings-loop") && argc == 3)
        return SettingsLoop(argv[2]);
    if (!strcmp(argv[1], "reports") && argc >= 4)
        return Reports(argv[2], atoi(argv[3]), std::vector<std::string>(argv + 4, argv + argc));
    return 2;
}
