// The crash report database and "settings.dat" on a real file system with
// extended attributes (the build tree's disk), alone and shared by several
// processes.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "crash/client/crashreportdatabase.h"
#include "crash/util/xattr.h"
#include "tests/support/crashtestutil.h"

using crashwatch::CrashReportDatabase;
using crashwatch::Settings;
using crashwatch::UUID;
using Database = CrashReportDatabase;

namespace {

const char kNewPrefix[] = "user.org.harnwick.crashwatch.database.";
const char kOldPrefix[] = "user.com.harnwick.crashwatch.";

QByteArray attribute(const QString& path, const QByteArray& name)
{
    char buffer[256];
    const ssize_t n = getxattr(QFile::encodeName(path).constData(), name.constData(), buffer, sizeof(buffer));
    return n < 0 ? QByteArray("<absent>") : QByteArray(buffer, int(n));
}

void setAttribute(const QString& path, const QByteArray& name, const QByteArray& value)
{
    QCOMPARE(setxattr(QFile::encodeName(path).constData(), name.constData(), value.constData(), value.size(), 0), 0);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), qint64(data.size()));
}

QByteArray validRecord(quint32 options, qint64 time, const QByteArray& id16)
{
    QByteArray r;
    QDataStream s(&r, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint32(0x43506473) << quint32(1) << options << quint32(0) << time;
    r += id16;
    return r;
}

int g_readErrors = 0;

crashwatch::FileOperationResult failingRead(crashwatch::FileHandle, void*, size_t)
{
    ++g_readErrors;
    errno = EIO;
    return -1;
}

}  // namespace

class TestCrashDatabase : public QObject {
    Q_OBJECT

    QTemporaryDir m_root{QStringLiteral(LUMORA_BIN_DIR "/crashdb-test-XXXXXX")};
    QString m_dumps;

    base::FilePath dumps() const { return base::FilePath(QFile::encodeName(m_dumps).toStdString()); }
    QString settingsPath() const { return m_dumps + QStringLiteral("/settings.dat"); }

    // A new report with some content, finished into "pending".
    UUID addReport(Database* db, const QByteArray& content = "dump")
    {
        std::unique_ptr<Database::NewReport> report;
        UUID uuid;
        if (db->StartNewReport(&report) != Database::kNoError)
            return uuid;
        report->Writer()->Write(content.constData(), size_t(content.size()));
        db->FinishedWritingCrashReport(std::move(report), &uuid);
        return uuid;
    }

    // A database with the client identity it was made with.
    std::unique_ptr<Database> openDatabase(UUID* id)
    {
        std::unique_ptr<Database> db = Database::OpenOrCreate(dumps());
        if (db && !db->AccessSettings()->GetClientID(id))
            db.reset();
        return db;
    }

    QString pathOf(const char* state, const UUID& uuid) const
    {
        return m_dumps + '/' + state + '/' + QString::fromStdString(uuid.FormatText()) + ".dmp";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        const QByteArray probe = QFile::encodeName(m_root.path());
        if (setxattr(probe.constData(), "user.lumora.probe", "1", 1, 0) != 0)
            QSKIP(qPrintable(QStringLiteral("the build tree's file system lacks user extended attributes: %1")
                                 .arg(strerror(errno))));
    }

    void init()
    {
        static int n = 0;
        m_dumps = m_root.path() + QStringLiteral("/dumps%1").arg(++n);
        Settings::SetReadFunctionForTesting(nullptr);
    }

    void typedAttributes()
    {
        using crashwatch::XattrStatus;
        QVERIFY(QDir().mkpath(m_dumps));
        const base::FilePath dir = dumps();
        bool flag = false;
        int number = 0;
        time_t when = 0;
        std::string text;
        QCOMPARE(crashwatch::ReadXattr(dir, "a", &text), XattrStatus::kNoAttribute);
        QCOMPARE(crashwatch::RemoveXattr(dir, "a"), XattrStatus::kNoAttribute);
        QVERIFY(crashwatch::WriteXattrTimeT(dir, "t", time_t(1) << 40));
        QCOMPARE(crashwatch::ReadXattrTimeT(dir, "t", &when), XattrStatus::kOK);
        QCOMPARE(when, time_t(1) << 40);
        QCOMPARE(attribute(m_dumps, "user.t"), QByteArray("1099511627776"));
        QVERIFY(crashwatch::WriteXattrInt(dir, "n", -12));
        QCOMPARE(crashwatch::ReadXattrInt(dir, "n", &number), XattrStatus::kOK);
        QCOMPARE(number, -12);
        for (const QByteArray& bad : {QByteArray("2"), QByteArray("true"), QByteArray()}) {
            setAttribute(m_dumps, "user.b", bad);
            QCOMPARE(crashwatch::ReadXattrBool(dir, "b", &flag), XattrStatus::kOtherError);
        }
        for (const QByteArray& bad : {QByteArray("x1"), QByteArray("1 "), QByteArray()}) {
            setAttribute(m_dumps, "user.n", bad);
            QCOMPARE(crashwatch::ReadXattrInt(dir, "n", &number), XattrStatus::kOtherError);
        }
        QVERIFY(crashwatch::WriteXattrBool(dir, "b", true));
        QCOMPARE(crashwatch::ReadXattrBool(dir, "b", &flag), XattrStatus::kOK);
        QVERIFY(flag);
        QCOMPARE(crashwatch::RemoveXattr(dir, "b"), XattrStatus::kOK);
        QCOMPARE(crashwatch::ReadXattrBool(dir, "b", &flag), XattrStatus::kNoAttribute);
        QCOMPARE(crashwatch::ReadXattr(base::FilePath(dir.Append("missing")), "b", &text), XattrStatus::kOtherError);
    }

    void freshLayout()
    {
        std::unique_ptr<Database> db = Database::OpenOrCreate(dumps());
        QVERIFY(db);
        for (const char* dir : {"new", "pending", "completed"}) {
            struct stat st;
            QCOMPARE(stat(QFile::encodeName(m_dumps + '/' + dir).constData(), &st), 0);
            QVERIFY(S_ISDIR(st.st_mode));
            QCOMPARE(st.st_mode & 0777, mode_t(0755));
        }
        QCOMPARE(attribute(m_dumps, QByteArray(kNewPrefix) + "initialized"), QByteArray("1"));
        const QByteArray record = readAll(settingsPath());
        QCOMPARE(record.size(), 40);
        QCOMPARE(record.left(12), validRecord(0, 0, QByteArray(16, 0)).left(12));
        QCOMPARE(record.mid(16, 8), QByteArray(8, 0));
        QVERIFY(record.mid(24) != QByteArray(16, 0));

        UUID id;
        QVERIFY(db->AccessSettings()->GetClientID(&id));
        QVERIFY(db->AccessSettings()->SetUploadsAllowed(true));
        db.reset();

        // What main does at every start keeps the identity.
        db = Database::OpenOrCreate(dumps());
        QVERIFY(db);
        UUID again;
        bool allowed = false;
        QVERIFY(db->AccessSettings()->GetClientID(&again));
        QVERIFY(db->AccessSettings()->GetUploadsAllowed(&allowed));
        QCOMPARE(again.FormatText(), id.FormatText());
        QVERIFY(allowed);
    }

    void unusableDirectory()
    {
        writeAll(m_dumps, "not a directory");
        QVERIFY(!Database::OpenOrCreate(dumps()));
        QVERIFY(!Database::OpenExisting(base::FilePath(QFile::encodeName(m_dumps + "-missing").toStdString())));
    }

    void olderDatabaseKeepsItsNames()
    {
        QVERIFY(QDir().mkpath(m_dumps));
        setAttribute(m_dumps, QByteArray(kOldPrefix) + "initialized", "1");
        std::unique_ptr<Database> db = Database::OpenOrCreate(dumps());
        QVERIFY(db);
        QCOMPARE(attribute(m_dumps, QByteArray(kNewPrefix) + "initialized"), QByteArray("<absent>"));
        const UUID uuid = addReport(db.get());
        const QString path = pathOf("pending", uuid);
        QCOMPARE(attribute(path, QByteArray(kOldPrefix) + "uuid"), QByteArray(uuid.FormatText().c_str()));
        QCOMPARE(attribute(path, QByteArray(kNewPrefix) + "uuid"), QByteArray("<absent>"));
    }

    void reportLifecycle()
    {
        std::unique_ptr<Database> db = Database::OpenOrCreate(dumps());
        QVERIFY(db);

        // Unfinished reports leave nothing behind.
        {
            std::unique_ptr<Database::NewReport> abandoned;
            QCOMPARE(db->StartNewReport(&abandoned), Database::kNoError);
            QVERIFY(QFile::exists(pathOf("new", abandoned->ReportID())));
            const UUID gone = abandoned->ReportID();
            abandoned.reset();
            QVERIFY(!QFile::exists(pathOf("new", gone)));
        }

        const qint64 before = time(nullptr);
        const UUID a = addReport(db.get(), QByteArray(1000, 'x'));
        QVERIFY(QFile::exists(pathOf("pending", a)));
        struct stat st;
        QCOMPARE(stat(QFile::encodeName(pathOf("pending", a)).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        Database::Report report;
        QCOMPARE(db->FindReport(a, &report), Database::kNoError);
        QCOMPARE(report.total_size, uint64_t(1000));
        QVERIFY(report.creation_time >= before && report.creation_time <= time(nullptr));
        QCOMPARE(report.upload_attempts, 0);

        // A report whose recorded identity differs from its name is not it.
        const UUID b = addReport(db.get());
        setAttribute(pathOf("pending", b), QByteArray(kNewPrefix) + "uuid", QByteArray(a.FormatText().c_str()));
        QCOMPARE(db->FindReport(b, &report), Database::kReportNotFound);

        // A failed attempt when the handle goes, a success through it.
        {
            std::unique_ptr<Database::ReportForUpload> upload;
            QCOMPARE(db->OpenReportForUpload(a, &upload, false), Database::kNoError);
            char head[4];
            QVERIFY(upload->Reader()->ReadExactly(head, 4));
            QCOMPARE(db->FindReport(a, &report), Database::kBusyError);  // the handle holds the lock
        }
        QCOMPARE(db->FindReport(a, &report), Database::kNoError);
        QCOMPARE(report.upload_attempts, 1);
        QVERIFY(!report.uploaded);
        time_t lastAttempt = 0;
        QVERIFY(db->AccessSettings()->GetLastUploadAttemptTime(&lastAttempt));
        QVERIFY(lastAttempt >= before);

        std::unique_ptr<Database::ReportForUpload> upload;
        QCOMPARE(db->OpenReportForUpload(a, &upload, false), Database::kNoError);
        QCOMPARE(db->CompleteUpload(std::move(upload), "srv-7"), Database::kNoError);
        QCOMPARE(db->FindReport(a, &report), Database::kNoError);
        QCOMPARE(report.file_path.value(), QFile::encodeName(pathOf("completed", a)).toStdString());
        QVERIFY(report.uploaded);
        QCOMPARE(report.id, std::string("srv-7"));
        QCOMPARE(report.upload_attempts, 2);

        // An uploaded report cannot be asked for again; nothing changes.
        QCOMPARE(db->RequestUpload(a), Database::kCannotRequestUpload);
        QVERIFY(QFile::exists(pathOf("completed", a)));
        QCOMPARE(attribute(pathOf("completed", a), QByteArray(kNewPrefix) + "upload_explicitly_requested"),
                 QByteArray("<absent>"));

        // Declined, asked for again, declined once more.
        const UUID c = addReport(db.get());
        QCOMPARE(db->DeclineReportUpload(c, 0), Database::kNoError);
        QCOMPARE(db->RequestUpload(c), Database::kNoError);
        QCOMPARE(db->FindReport(c, &report), Database::kNoError);
        QVERIFY(report.upload_explicitly_requested);
        QVERIFY(QFile::exists(pathOf("pending", c)));
        QCOMPARE(db->DeclineReportUpload(c, 0), Database::kNoError);
        QCOMPARE(db->FindReport(c, &report), Database::kNoError);
        QVERIFY(!report.upload_explicitly_requested);

        std::vector<Database::Report> completed;
        QCOMPARE(db->ListCompletedReports(&completed), Database::kNoError);
        QCOMPARE(completed.size(), size_t(2));
        QCOMPARE(db->DeleteReport(c), Database::kNoError);
        QCOMPARE(db->DeleteReport(c), Database::kReportNotFound);
        QCOMPARE(db->ListCompletedReports(&completed), Database::kNoError);
        QCOMPARE(completed.size(), size_t(1));
    }

    void damagedSettingsRecovered_data()
    {
        const QByteArray id = QByteArray::fromHex("33221100554477668899aabbccddeeff");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("kept");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("this is not the settings record at all!!") << false;
        QTest::newRow("short") << validRecord(1, 5, id).left(39) << false;
        QTest::newRow("zero-filled") << QByteArray(40, 0) << false;
        QTest::newRow("version 2") << validRecord(1, 5, id).replace(4, 1, "\x02") << false;
        QTest::newRow("long") << validRecord(1, 5, id) + QByteArray(25, 'z') << true;
    }

    void damagedSettingsRecovered()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, kept);
        QVERIFY(QDir().mkpath(m_dumps));
        writeAll(settingsPath(), content);
        std::unique_ptr<Database> db = Database::OpenOrCreate(dumps());
        QVERIFY(db);
        Settings* settings = db->AccessSettings();
        UUID id;
        bool allowed = true;
        time_t last = -1;
        QVERIFY(settings->GetClientID(&id));
        QVERIFY(settings->GetUploadsAllowed(&allowed));
        QVERIFY(settings->GetLastUploadAttemptTime(&last));
        if (kept) {
            QCOMPARE(id.FormatText(), std::string("00112233-4455-6677-8899-aabbccddeeff"));
            QVERIFY(allowed);
            QCOMPARE(last, time_t(5));
        } else {
            QVERIFY(id != UUID());
            QVERIFY(!allowed);
            QCOMPARE(last, time_t(0));
        }
        QCOMPARE(readAll(settingsPath()).size(), kept ? content.size() : 40);

        // A change writes exactly one record and keeps the rest.
        QVERIFY(settings->SetUploadsAllowed(true));
        const QByteArray once = readAll(settingsPath());
        QVERIFY(settings->SetUploadsAllowed(true));
        QCOMPARE(readAll(settingsPath()), once);
        QCOMPARE(once.size(), 40);
        UUID after;
        QVERIFY(settings->GetClientID(&after));
        QVERIFY(after == id);
        QVERIFY(settings->GetLastUploadAttemptTime(&last));
        QCOMPARE(last, time_t(kept ? 5 : 0));
    }

    // A record that cannot be read right now is not damage: it stays.
    void readErrorIsNotDamage()
    {
        std::unique_ptr<Database> db = Database::OpenOrCreate(dumps());
        QVERIFY(db);
        Settings* settings = db->AccessSettings();
        QVERIFY(settings->SetUploadsAllowed(true));
        const QByteArray before = readAll(settingsPath());

        g_readErrors = 0;
        Settings::SetReadFunctionForTesting(failingRead);
        UUID id;
        bool allowed;
        QVERIFY(!settings->GetClientID(&id));
        QVERIFY(!settings->GetUploadsAllowed(&allowed));
        QVERIFY(!settings->SetUploadsAllowed(false));
        QVERIFY(!settings->WriteLastUploadAttemptTime(99));
        Settings fresh;
        QVERIFY(!fresh.OpenFile(base::FilePath(QFile::encodeName(settingsPath()).toStdString())));
        Settings::SetReadFunctionForTesting(nullptr);
        QVERIFY(g_readErrors >= 5);

        QCOMPARE(readAll(settingsPath()), before);
        QVERIFY(settings->GetUploadsAllowed(&allowed));
        QVERIFY(allowed);
    }

    // A FIFO (or a link to one) in place of the settings file is never read
    // from nor written to: each operation fails at once, and so does a new
    // database on the folder.
    void settingsThatAreNoFileAreNeverWaitedOn_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("FIFO") << false;
        QTest::newRow("link to a FIFO") << true;
    }

    void settingsThatAreNoFileAreNeverWaitedOn()
    {
        QFETCH(bool, link);
        std::unique_ptr<Database> db = Database::OpenOrCreate(dumps());
        QVERIFY(db);
        Settings* settings = db->AccessSettings();
        QVERIFY(QFile::remove(settingsPath()));
        const QString fifo = link ? m_dumps + QStringLiteral("/fifo") : settingsPath();
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        if (link)
            QVERIFY(QFile::link(fifo, settingsPath()));

        QElapsedTimer timer;
        timer.start();
        UUID id;
        bool allowed;
        QVERIFY(!settings->GetUploadsAllowed(&allowed));
        QVERIFY(!settings->GetClientID(&id));
        QVERIFY(!settings->SetUploadsAllowed(true));
        QVERIFY(!Database::OpenOrCreate(dumps()));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(QFileInfo(fifo).exists());
    }

    // Two processes on the same reports and the same settings file.
    void twoProcessesShareTheDatabase()
    {
        UUID id;
        std::unique_ptr<Database> db = openDatabase(&id);
        QVERIFY(db);
        QStringList uuids;
        for (int i = 0; i < 6; ++i)
            uuids << QString::fromStdString(addReport(db.get()).FormatText());

        QList<QProcess*> procs;
        auto start = [&](const QStringList& args) {
            auto* p = new QProcess(this);
            p->start(QStringLiteral(PROBE), args);
            procs << p;
        };
        const QString d = m_dumps;
        for (int i = 0; i < 2; ++i)
            start(QStringList{"reports", d, "300"} + uuids);
        start({"settings", d, "time", "400"});
        start({"settings", d, "toggle", "400"});
        QList<QList<QByteArray>> results;
        for (QProcess* p : procs) {
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitCode(), 0);
            results << p->readAllStandardOutput().trimmed().split(' ');
            const QByteArray err = p->readAllStandardError();
            QVERIFY2(err.isEmpty(), err.constData());
        }

        // Every successful open recorded exactly one attempt; none lost.
        const int opened = results[0][0].toInt() + results[1][0].toInt();
        QVERIFY(results[0][0].toInt() > 0 && results[1][0].toInt() > 0);
        QCOMPARE(results[0][1].toInt() + results[1][1].toInt(), 0);
        std::vector<Database::Report> pending;
        QCOMPARE(db->ListPendingReports(&pending), Database::kNoError);
        QCOMPARE(pending.size(), size_t(6));
        int attempts = 0;
        for (const Database::Report& r : pending)
            attempts += r.upload_attempts;
        QCOMPARE(attempts, opened);

        // Each writer's last change survived the other's; no reader ever
        // saw a torn record or another identity.
        QCOMPARE(results[2], (QList<QByteArray>{"400", "400", "0"}));
        QCOMPARE(results[3], (QList<QByteArray>{"400", "0", "0"}));
        const QByteArray record = readAll(settingsPath());
        QCOMPARE(record.size(), 40);
        Settings* settings = db->AccessSettings();
        time_t last = 0;
        bool allowed = true;
        UUID after;
        QVERIFY(settings->GetLastUploadAttemptTime(&last));
        QVERIFY(settings->GetUploadsAllowed(&allowed));
        QVERIFY(settings->GetClientID(&after));
        // Upload attempts stamp the time as well, so the last writer of
        // the time is either process; only the toggling one sets the flag.
        QVERIFY(last == 400 || last >= time(nullptr) - 60);
        QVERIFY(!allowed);
        QVERIFY(after == id);
        qDeleteAll(procs);
    }

    void killedWriterNeverLosesTheClientID()
    {
        UUID id;
        QVERIFY(openDatabase(&id));
        for (int i = 0; i < 200; ++i) {
            QProcess p;
            p.start(QStringLiteral(PROBE), {"settings-loop", m_dumps});
            QVERIFY(p.waitForStarted());
            QThread::usleep(QRandomGenerator::global()->bounded(1000, 6000));
            p.kill();
            QVERIFY(p.waitForFinished());
            Settings settings;
            QVERIFY(settings.OpenFile(base::FilePath(QFile::encodeName(settingsPath()).toStdString())));
            UUID now;
            QVERIFY(settings.GetClientID(&now));
            QVERIFY2(now == id, qPrintable(QStringLiteral("identity lost after kill %1").arg(i)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCrashDatabase)
#include "tst_crashdatabase.moc"
