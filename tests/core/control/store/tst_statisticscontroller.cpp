// The measurement store: the file it keeps, the series it publishes, the
// upload document, and that no failure ever costs the stored history.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimeZone>

#include <atomic>
#include <csignal>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/control/statisticscontroller.h"
#include "core/lumoratypes.h"
#include "tests/support/logcapture.h"

// A file system whose lock service is down (NFS without its lock daemon).
static std::atomic<bool> lockServiceDown{false};
extern "C" int flock(int fd, int operation) noexcept
{
    static const auto real = reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "flock"));
    if (lockServiceDown) {
        errno = ENOLCK;
        return -1;
    }
    return real(fd, operation);
}

namespace {

using Series = std::tuple<QVector<double>, QVector<int>, QVector<QDateTime>>;

// Sets the process time zone for the lifetime of the object.
class ZoneGuard
{
public:
    explicit ZoneGuard(const QByteArray& zone)
        : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneGuard()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_old;
};

// Record i of a made-up history: one per hour from 2024-01-10 08:00 UTC,
// its length (100 + i) tells which record a series element came from.
QDateTime recordTime(int i)
{
    return QDateTime(QDate(2024, 1, 10), QTime(8, 0), Qt::UTC).addSecs(3600 * i);
}

QJsonObject record(int i)
{
    return QJsonObject{{"datetime", recordTime(i).toOffsetFromUtc(3600).toString(Qt::ISODate)},
                       {"blinkrate", 10.0 + i / 10.0},
                       {"note", QStringLiteral("n%1").arg(i)},
                       {"length", 100 + i}};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<cannot open>";
    return f.readAll();
}

QByteArray historyBytes(int count)
{
    QJsonArray data;
    for (int i = 0; i < count; ++i)
        data.append(record(i));
    return QJsonDocument(QJsonObject{{"data", data}}).toJson();
}

// The "data" array of the file, or an invalid value when the file is not a
// whole history.
QJsonValue fileData(const QString& path)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(readFile(path), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject() || !doc.object().value("data").isArray())
        return QJsonValue(QJsonValue::Undefined);
    return doc.object().value("data");
}

// The notes of the file's records, in their order.
QString fileNotes(const QString& path)
{
    QStringList notes;
    for (const QJsonValue& r : fileData(path).toArray())
        notes << r["note"].toString();
    return notes.join(' ');
}

// The file is in the indented form the whole document renders to.
void checkRendered(const QString& path)
{
    const QByteArray bytes = readFile(path);
    QCOMPARE(bytes, QJsonDocument::fromJson(bytes).toJson(QJsonDocument::Indented));
}

Series lastSmall(const QSignalSpy& spy)
{
    const QList<QVariant> args = spy.last();
    return {args.at(0).value<QVector<double>>(), args.at(1).value<QVector<int>>(),
            args.at(2).value<QVector<QDateTime>>()};
}

Series lastRange(const QSignalSpy& spy, int* total)
{
    const QList<QVariant> args = spy.last();
    *total = args.at(3).toInt();
    return {args.at(0).value<QVector<double>>(), args.at(1).value<QVector<int>>(),
            args.at(2).value<QVector<QDateTime>>()};
}

// Checks that a published series is exactly records first..first+count-1.
void checkRecords(const Series& s, int first, int count)
{
    const auto& [rates, lengths, times] = s;
    QCOMPARE(rates.size(), count);
    QCOMPARE(lengths.size(), count);
    QCOMPARE(times.size(), count);
    for (int k = 0; k < count; ++k) {
        const int i = first + k;
        QCOMPARE(lengths.at(k), 100 + i);
        QCOMPARE(rates.at(k), 10.0 + i / 10.0);
        QCOMPARE(times.at(k), recordTime(i));
        QCOMPARE(times.at(k).timeSpec(), Qt::LocalTime);
    }
}

// The zones every time-related case runs in: one without an offset, one
// with an offset that changes over the year.
void addZoneRows()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("UTC") << QByteArray("UTC");
    QTest::newRow("Europe/Prague") << QByteArray("Europe/Prague");
}

QStringList asideFiles(const QString& dir)
{
    return QDir(dir).entryList({"statistics.json.unreadable-*"}, QDir::Files, QDir::Name);
}

}  // namespace

class TestStatisticsController : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void missingOrEmptyFile_data();
    void missingOrEmptyFile();
    void addThenReload_data();
    void addThenReload();
    void loadReadsRecordsLeniently();
    void offsetText_data();
    void offsetText();
    void ranges_data();
    void ranges();
    void deleteThenAdd();
    void uploadDocument_data();
    void uploadDocument();
    void unreadableFileKeptAside_data();
    void unreadableFileKeptAside();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void noLockService();
    void killedWhileWriting();
    void staleTemporaryFilesRemoved();
    void fifoNeverWaitedOn();
    void storesShareFolder_data();
    void storesShareFolder();
    void leftBesideFile_data();
    void leftBesideFile();
    void writersShareFolder_data();
    void writersShareFolder();
    void lockHeldPastBound_data();
    void lockHeldPastBound();
    void unusableLockPath_data();
    void unusableLockPath();

private:
    QScopedPointer<QTemporaryDir> m_tmp;
    QString m_dir;
    QString m_file;
};

void TestStatisticsController::initTestCase()
{
    registerCrossThreadTypes();
    QCoreApplication::setApplicationVersion(QStringLiteral("3.7.4.0"));
}

void TestStatisticsController::init()
{
    m_tmp.reset(new QTemporaryDir());
    QVERIFY(m_tmp->isValid());
    m_dir = m_tmp->path() + QStringLiteral("/");
    m_file = m_dir + QStringLiteral("statistics.json");
}

void TestStatisticsController::missingOrEmptyFile_data()
{
    QTest::addColumn<QString>("subfolder");
    QTest::addColumn<QByteArray>("content");  // "-" for no file
    QTest::newRow("missing file") << QString() << QByteArray("-");
    QTest::newRow("missing folders") << QStringLiteral("a/b/c/") << QByteArray("-");
    QTest::newRow("empty file") << QString() << QByteArray();
    QTest::newRow("blank file") << QString() << QByteArray(" \n\n");
}

void TestStatisticsController::missingOrEmptyFile()
{
    QFETCH(QString, subfolder);
    QFETCH(QByteArray, content);
    const QString dir = m_dir + subfolder;
    if (content != "-")
        writeFile(dir + "statistics.json", content);

    StatisticsController store(dir);
    QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
    QSignalSpy ready(&store, &StatisticsController::statsControllerInitialized);
    store.init();
    QCOMPARE(fileData(dir + "statistics.json"), QJsonValue(QJsonArray()));
    QVERIFY(asideFiles(dir).isEmpty());
    QCOMPARE(ready.count(), 1);
    QCOMPARE(small.count(), 1);
    checkRecords(lastSmall(small), 0, 0);
}

void TestStatisticsController::addThenReload_data()
{
    addZoneRows();
}

void TestStatisticsController::addThenReload()
{
    QFETCH(QByteArray, zone);
    ZoneGuard guard(zone);
    Series before;
    {
        StatisticsController store(m_dir);
        store.init();
        QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
        store.addMeasurement(12.3, QStringLiteral("a"), 150);
        store.addMeasurement(7.5, QString(), 90);
        store.addMeasurement(20.1, QStringLiteral("ž note"), 300);
        QCOMPARE(small.count(), 3);
        before = lastSmall(small);
    }
    QCOMPARE(std::get<0>(before), (QVector<double>{12.3, 7.5, 20.1}));
    QCOMPARE(std::get<1>(before), (QVector<int>{150, 90, 300}));

    const QJsonArray data = fileData(m_file).toArray();
    QCOMPARE(data.size(), 3);
    const QJsonObject last = data.at(2).toObject();
    QCOMPARE(last.keys(), (QStringList{"blinkrate", "datetime", "length", "note"}));
    QCOMPARE(last.value("note").toString(), QStringLiteral("ž note"));
    QCOMPARE(last.value("length").toInt(), 300);
    QCOMPARE(last.value("blinkrate").toDouble(), 20.1);
    checkRendered(m_file);

    StatisticsController reloaded(m_dir);
    QSignalSpy small(&reloaded, &StatisticsController::smallStatisticsChanged);
    reloaded.init();
    QCOMPARE(lastSmall(small), before);
}

void TestStatisticsController::loadReadsRecordsLeniently()
{
    // Rates are cut to one decimal; missing keys read as nothing, 0.0 and 0;
    // keys the store does not know stay in the file.
    writeFile(m_file, R"({"data": [
        {"datetime": "2024-03-05T14:07:09+01:00", "blinkrate": 12.37, "note": "", "length": 210},
        {"note": "keys missing"},
        {"datetime": "2024-03-05T15:00:00Z", "blinkrate": 9.99, "length": 80}
    ], "zzz": [1]})");
    StatisticsController store(m_dir);
    QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
    store.init();
    const auto [rates, lengths, times] = lastSmall(small);
    QCOMPARE(rates, (QVector<double>{12.3, 0.0, 9.9}));
    QCOMPARE(lengths, (QVector<int>{210, 0, 80}));
    QCOMPARE(times.size(), 3);
    QCOMPARE(times.at(0), QDateTime(QDate(2024, 3, 5), QTime(13, 7, 9), Qt::UTC));
    QVERIFY(!times.at(1).isValid());
    QCOMPARE(times.at(2), QDateTime(QDate(2024, 3, 5), QTime(15, 0), Qt::UTC));

    store.addMeasurement(5.5, QString(), 55);
    checkRendered(m_file);
    const QJsonObject top = QJsonDocument::fromJson(readFile(m_file)).object();
    QCOMPARE(top.value("zzz"), QJsonValue(QJsonArray{1}));
    QCOMPARE(top.value("data").toArray().size(), 4);
    QCOMPARE(top.value("data").toArray().at(3).toObject().value("length").toInt(), 55);
}

void TestStatisticsController::offsetText_data()
{
    addZoneRows();
}

void TestStatisticsController::offsetText()
{
    QFETCH(QByteArray, zone);
    ZoneGuard guard(zone);

    // Written: the local wall-clock time with the zone's offset, whole seconds.
    {
        StatisticsController store(m_dir);
        store.init();
        store.addMeasurement(15.0, QString(), 100);
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString text = fileData(m_file).toArray().at(0).toObject().value("datetime").toString();
    const int offset = QTimeZone(zone).offsetFromUtc(now);
    const QString sign = offset < 0 ? "-" : "+";
    const QString suffix = sign + QTime(0, 0).addSecs(qAbs(offset)).toString("hh:mm");
    QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)").match(text).hasMatch(),
             qPrintable(text));
    QVERIFY2(text.endsWith(suffix), qPrintable(text + " vs " + suffix));
    const QDateTime written = QDateTime::fromString(text, Qt::ISODate);
    QVERIFY(qAbs(written.secsTo(now)) <= 5);
    QCOMPARE(written.time().hour(), now.toTimeZone(QTimeZone(zone)).time().hour());

    // Read: times with any offset become local times of this zone.
    writeFile(m_file, R"({"data": [
        {"datetime": "2024-03-05T14:07:09+01:00", "blinkrate": 1, "note": "", "length": 1},
        {"datetime": "2024-07-05T14:07:09+02:00", "blinkrate": 1, "note": "", "length": 1}
    ]})");
    StatisticsController store(m_dir);
    QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
    store.init();
    const QVector<QDateTime> times = std::get<2>(lastSmall(small));
    QCOMPARE(times.size(), 2);
    const bool utc = zone == "UTC";
    QCOMPARE(times.at(0).timeSpec(), Qt::LocalTime);
    QCOMPARE(times.at(0).time(), QTime(utc ? 13 : 14, 7, 9));
    QCOMPARE(times.at(1).time(), QTime(utc ? 12 : 14, 7, 9));
}

void TestStatisticsController::ranges_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("call");  // "small", "create" or "update"
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("size");
    QTest::newRow("5 of 5") << 5 << "small" << 0 << 0 << 0 << 5;
    QTest::newRow("last eight of 20") << 20 << "small" << 0 << 0 << 12 << 8;
    QTest::newRow("exactly 8") << 8 << "small" << 0 << 0 << 0 << 8;
    QTest::newRow("window last eight of 20") << 20 << "create" << 0 << 0 << 12 << 8;
    QTest::newRow("window of 3") << 3 << "create" << 0 << 0 << 0 << 3;
    QTest::newRow("window of none") << 0 << "create" << 0 << 0 << 0 << 0;
    QTest::newRow("reversed") << 10 << "update" << 3 << 1 << 0 << 0;
    QTest::newRow("past the end") << 10 << "update" << 2 << 100 << 2 << 8;
    QTest::newRow("wholly past the end") << 10 << "update" << 12 << 15 << 0 << 0;
    QTest::newRow("negative start") << 10 << "update" << -3 << 2 << 0 << 3;
    QTest::newRow("all negative") << 10 << "update" << -5 << -2 << 0 << 0;
    QTest::newRow("single") << 10 << "update" << 4 << 4 << 4 << 1;
}

void TestStatisticsController::ranges()
{
    QFETCH(int, count);
    QFETCH(QString, call);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, first);
    QFETCH(int, size);
    writeFile(m_file, historyBytes(count));
    StatisticsController store(m_dir);
    QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
    QSignalSpy window(&store, &StatisticsController::statisticsChanged);
    store.init();
    if (call == "small") {
        QCOMPARE(window.count(), 0);
        checkRecords(lastSmall(small), first, size);
        return;
    }
    if (call == "create")
        store.createStatistics();
    else
        store.updateStatistics(start, end);
    QCOMPARE(window.count(), 1);
    int total = -1;
    checkRecords(lastRange(window, &total), first, size);
    QCOMPARE(total, count);
}

void TestStatisticsController::deleteThenAdd()
{
    writeFile(m_file, historyBytes(10));
    StatisticsController store(m_dir);
    store.init();
    QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
    QSignalSpy window(&store, &StatisticsController::statisticsChanged);

    store.deleteAllMeasurements();
    QCOMPARE(small.count(), 1);
    QCOMPARE(window.count(), 1);
    checkRecords(lastSmall(small), 0, 0);
    int total = -1;
    checkRecords(lastRange(window, &total), 0, 0);
    QCOMPARE(total, 0);
    QCOMPARE(fileData(m_file), QJsonValue(QJsonArray()));

    store.addMeasurement(17.4, QStringLiteral("after"), 222);
    const auto [rates, lengths, times] = lastSmall(small);
    QCOMPARE(rates, QVector<double>{17.4});
    QCOMPARE(lengths, QVector<int>{222});
    QCOMPARE(times.size(), 1);
    store.createStatistics();
    QCOMPARE(std::get<1>(lastRange(window, &total)), QVector<int>{222});
    QCOMPARE(total, 1);
    QCOMPARE(fileData(m_file).toArray().size(), 1);
    checkRendered(m_file);
}

void TestStatisticsController::uploadDocument_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("lastDateTime");
    QTest::addColumn<int>("first");  // -1: the empty string is sent
    QTest::addColumn<int>("size");
    const QString newest = recordTime(9).toString(Qt::ISODate);
    QTest::newRow("empty last") << 10 << QString() << 0 << 10;
    QTest::newRow("newest") << 10 << newest << -1 << 0;
    QTest::newRow("newest with offset") << 10 << record(9).value("datetime").toString() << -1 << 0;
    QTest::newRow("middle") << 10 << recordTime(4).toString(Qt::ISODate) << 5 << 5;
    QTest::newRow("between records") << 10 << recordTime(4).addSecs(1).toString(Qt::ISODate) << 5 << 5;
    QTest::newRow("before all") << 10 << "2020-01-01T00:00:00+00:00" << 0 << 10;
    QTest::newRow("unreadable last") << 10 << "yesterday" << 0 << 10;
    // A server's answer of any length: the log keeps only its start.
    QTest::newRow("huge unreadable last") << 10 << QString(1 << 20, QLatin1Char('9')) << 0 << 10;
    QTest::newRow("no history, empty last") << 0 << QString() << 0 << 0;
    QTest::newRow("no history, some last") << 0 << newest << -1 << 0;
}

void TestStatisticsController::uploadDocument()
{
    QFETCH(int, count);
    QFETCH(QString, lastDateTime);
    QFETCH(int, first);
    QFETCH(int, size);
    writeFile(m_file, historyBytes(count));
    const QByteArray fileBefore = readFile(m_file);
    StatisticsController store(m_dir);
    store.init();
    QSignalSpy ready(&store, &StatisticsController::measurementsUploadReady);

    static int longestWarning;
    longestWarning = 0;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& line) {
        if (type == QtWarningMsg)
            longestWarning = qMax(longestWarning, int(line.size()));
    });
    store.createJsonData(lastDateTime, QStringLiteral("MAC-1234"));
    qInstallMessageHandler(previous);
    QVERIFY2(longestWarning < 1000, qPrintable(QString("a warning of %1 characters").arg(longestWarning)));
    QCOMPARE(ready.count(), 1);
    const QString upload = ready.last().at(0).toString();
    QCOMPARE(readFile(m_file), fileBefore);
    if (first < 0) {
        QCOMPARE(upload, QString());
        return;
    }
    QVERIFY(upload.contains("\n    \"pcid\": \"MAC-1234\""));  // the indented form
    const QJsonObject doc = QJsonDocument::fromJson(upload.toUtf8()).object();
    QCOMPARE(doc.keys(), (QStringList{"data", "pcid", "version"}));
    QCOMPARE(doc.value("version").toString(), QStringLiteral("3.7.4.0"));
    const QJsonArray data = doc.value("data").toArray();
    QCOMPARE(data.size(), size);
    for (int k = 0; k < size; ++k)
        QCOMPARE(data.at(k).toObject(), record(first + k));
}

void TestStatisticsController::unreadableFileKeptAside_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray history = historyBytes(30);
    QTest::newRow("cut in half") << history.left(history.size() / 2);
    QByteArray garbage(4096, '\0');
    for (char& c : garbage)
        c = char(QRandomGenerator::global()->bounded(256));
    QTest::newRow("garbage") << garbage;
    QTest::newRow("array") << QByteArray("[1, 2, 3]");
    QTest::newRow("no data array") << QByteArray(R"({"data": {"datetime": "x"}})");
    // A second "data" would hide the first array, and the history with it.
    QByteArray twice = historyBytes(3);
    twice.insert(twice.indexOf('{') + 1, QByteArray("\n    \"d\\u0061ta\": [],"));
    QTest::newRow("data twice") << twice;
}

void TestStatisticsController::unreadableFileKeptAside()
{
    QFETCH(QByteArray, content);
    writeFile(m_file, content);
    // Older kept copies that have the names this run would pick stay as they are.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int s = 0; s <= 2; ++s) {
        taken << m_file + ".unreadable-" + now.addSecs(s).toString("yyyyMMdd-HHmmss");
        writeFile(taken.last(), "older copy");
    }

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept aside as"));
    StatisticsController store(m_dir);
    QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
    store.init();
    checkRecords(lastSmall(small), 0, 0);

    const QStringList aside = asideFiles(m_dir);
    QCOMPARE(aside.size(), 4);
    QString kept;
    for (const QString& name : aside) {
        if (taken.contains(m_dir + name))
            QCOMPARE(readFile(m_dir + name), QByteArray("older copy"));
        else
            kept = m_dir + name;
    }
    QVERIFY(!kept.isEmpty());
    QCOMPARE(readFile(kept), content);

    // The store goes on in a new file and never touches the kept copy.
    QCOMPARE(fileData(m_file), QJsonValue(QJsonArray()));
    store.addMeasurement(11.1, QString(), 120);
    store.deleteAllMeasurements();
    store.addMeasurement(12.2, QString(), 130);
    QCOMPARE(fileData(m_file).toArray().size(), 1);
    QCOMPARE(readFile(kept), content);
    QCOMPARE(asideFiles(m_dir).size(), 4);
}

void TestStatisticsController::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<bool>("endsFailing");  // else a later write works
    QTest::newRow("a later write works") << false;
    QTest::newRow("the store ends while writes fail") << true;
}

void TestStatisticsController::failedWriteKeepsOldFile()
{
    // A file size limit makes every write past it fail, as a full disk does.
    QFETCH(bool, endsFailing);
    writeFile(m_file, historyBytes(50));
    QScopedPointer<StatisticsController> store(new StatisticsController(m_dir));
    QSignalSpy small(store.data(), &StatisticsController::smallStatisticsChanged);
    store->init();
    const QByteArray before = readFile(m_file);
    QVERIFY(before.size() > 4096);

    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small4k = old;
    small4k.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small4k), 0);
    // Once, in the system's words.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("cannot be written, the previous file is kept \"File too large\""));
    store->addMeasurement(33.3, QStringLiteral("lost write"), 333);
    store->addMeasurement(34.4, QString(), 344);
    if (endsFailing) {  // what waits is left beside the file
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("measurements left beside it"));
        store.reset();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(readFile(m_file), before);
    if (!endsFailing) {
        QCOMPARE(QDir(m_dir).entryList(QDir::Files), (QStringList{"statistics.json", "statistics.json.lock"}));
        QCOMPARE(std::get<1>(lastSmall(small)).mid(6), (QVector<int>{333, 344}));  // shown
        // The waiting write is tried again and stores the whole history.
        QTRY_COMPARE_WITH_TIMEOUT(fileData(m_file).toArray().size(), 52, 5000);
    } else {
        store.reset(new StatisticsController(m_dir));
        store->init();
    }
    const QJsonArray data = fileData(m_file).toArray();
    QCOMPARE(data.size(), 52);
    QCOMPARE(data.at(50).toObject().value("length").toInt(), 333);
    QCOMPARE(data.at(51).toObject().value("length").toInt(), 344);
    QCOMPARE(QDir(m_dir).entryList(QDir::Files), (QStringList{"statistics.json", "statistics.json.lock"}));
    checkRendered(m_file);
}

void TestStatisticsController::noLockService()
{
    // Three runs of two measurements on a file system whose lock service
    // is down: each start shows all that the runs before stored.
    lockServiceDown = true;
    const auto restore = qScopeGuard([] { lockServiceDown = false; });
    for (int run = 0; run < 3; ++run) {
        const LogCapture log;
        {
            StatisticsController store(m_dir);
            QSignalSpy small(&store, &StatisticsController::smallStatisticsChanged);
            store.init();
            QCOMPARE(std::get<1>(lastSmall(small)).size(), 2 * run);
            store.addMeasurement(15.0, QString(), 2 * run);
            store.addMeasurement(15.0, QString(), 2 * run + 1);
            QCOMPARE(std::get<1>(lastSmall(small)).size(), 2 * run + 2);
        }
        QCOMPARE(log.lines().filter("gives statistics.json no locks").size(), 1);
    }
    QCOMPARE(fileData(m_file).toArray().size(), 6);
    QCOMPARE(QDir(m_dir).entryList({"statistics.json.pending-*"}), QStringList());
}

void TestStatisticsController::killedWhileWriting()
{
    // A history of about a year makes each write long enough to be hit.
    const int initial = 20000;
    writeFile(m_file, historyBytes(initial));
    int stored = initial;
    int grew = 0;
    for (int round = 0; round < 12; ++round) {
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QStringLiteral(LUMORA_BIN_DIR "/lumora_store_writer"), {m_dir});
        QVERIFY(writer.waitForStarted());
        while (!writer.canReadLine())
            QVERIFY(writer.waitForReadyRead(30000));
        QCOMPARE(writer.readLine(), QByteArray("ready\n"));
        QThread::msleep(5 + QRandomGenerator::global()->bounded(60));
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));

        const QJsonValue data = fileData(m_file);
        QVERIFY2(data.isArray(), qPrintable(QStringLiteral("broken file after round %1").arg(round)));
        const int size = data.toArray().size();
        QVERIFY(size >= stored);
        grew += size > stored;
        stored = size;
        QVERIFY(asideFiles(m_dir).isEmpty());
    }
    QVERIFY(grew > 0);  // the writer really was writing when killed
    // What the last kill left of its write goes when a store starts.
    StatisticsController(m_dir).init();
    QCOMPARE(QDir(m_dir).entryList(QDir::Files | QDir::Hidden), (QStringList{"statistics.json", "statistics.json.lock"}));
}

void TestStatisticsController::staleTemporaryFilesRemoved()
{
    writeFile(m_file, historyBytes(5));
    // Files written without the lock leave theirs only once unchanged for a
    // while; until then they may be writes in flight.
    const QStringList oldUnlocked{"statistics.json.pending-12-ab.saving-Ab3xZq",
                                  "statistics.json.deletes-asked.saving-Qw3rty"};
    const QStringList stale = QStringList{"statistics.json.saving-Ab3xZq", "statistics.json.saving-XYZabc"} + oldUnlocked;
    const QStringList others{"statistics.json.backup", "statistics.json.saving-Ab3xZ", "statistics.json.saving-Ab3xZq.txt",
                             "statistics.json.unreadable-20240101-000000", "other.json.saving-Ab3xZq",
                             "statistics.json.pending-12-ab.saving-Fresh1"};
    for (const QString& name : stale + others) {
        writeFile(m_dir + name, "{\"data\": [");
        QFile file(m_dir + name);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (oldUnlocked.contains(name))
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime));
    }
    writeFile(m_tmp->path() + "/elsewhere", "the user's");
    QVERIFY(QFile::link(m_tmp->path() + "/elsewhere", m_dir + "statistics.json.saving-Lnkabc"));

    StatisticsController(m_dir).init();
    for (const QString& name : stale)
        QVERIFY2(!QFileInfo::exists(m_dir + name), qPrintable(name));
    for (const QString& name : others)
        QVERIFY2(QFileInfo::exists(m_dir + name), qPrintable(name));
    QVERIFY(QFileInfo(m_dir + "statistics.json.saving-Lnkabc").isSymLink());
    QCOMPARE(readFile(m_tmp->path() + "/elsewhere"), QByteArray("the user's"));
    QCOMPARE(fileData(m_file).toArray().size(), 5);
}

void TestStatisticsController::fifoNeverWaitedOn()
{
    QCOMPARE(mkfifo(QFile::encodeName(m_file).constData(), 0600), 0);
    // Should the store wait for a writer, this one lets it go after a while
    // and the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::atomic<bool> released{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !done; ++i)
            QThread::msleep(50);
        if (done)
            return;
        const int fd = ::open(QFile::encodeName(m_file).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            released = true;
            ::close(fd);
        }
    });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("file cannot be opened"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept aside as"));
    StatisticsController store(m_dir);
    store.init();
    done = true;
    watchdog.join();
    QVERIFY(!released);

    // The FIFO is kept aside as it is; the store goes on in a regular file.
    const QFileInfoList aside =
        QDir(m_dir).entryInfoList({"statistics.json.unreadable-*"}, QDir::Files | QDir::System);
    QCOMPARE(aside.size(), 1);
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(aside.first().absoluteFilePath()).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    store.addMeasurement(12.5, QString(), 150);
    QVERIFY(QFileInfo(m_file).isFile());
    QCOMPARE(fileData(m_file).toArray().size(), 1);
}

void TestStatisticsController::storesShareFolder_data()
{
    // Two stores on one folder, as two processes: "a+" adds a measurement
    // in store a (notes a1, a2, ...), "a-" deletes the history there, "a."
    // ends a; "L" and "U": another process takes the lock and lets it go.
    // A store started afterwards writes what still waits.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("notes");  // of the file's records afterwards
    QTest::newRow("both add") << "a+ b+ a+ b+" << "n0 n1 n2 a1 b1 a2 b2";
    QTest::newRow("one adds twice in between") << "a+ b+ b+ a+" << "n0 n1 n2 a1 b1 b2 a2";
    QTest::newRow("a delete stays a delete") << "a+ b+ a- b+ a+" << "b2 a2";
    // "x": another process rewrites the file in place, same size.
    QTest::newRow("other content, same size") << "a+ x a+" << "n0 n1 n2 x1 a2";
    // "a!": a adds while no descriptor is left for its read of the file.
    QTest::newRow("a read fails for a moment") << "a+ b+ a! a+" << "n0 n1 n2 a1 b1 a2 a3";
    // A delete: what was made before it goes, wherever it waits; what is
    // made after it stays, whoever gets the lock first.
    QTest::newRow("left beside the file before a delete") << "L b+ b+ b. a- U a." << "";
    QTest::newRow("made after a waiting delete, stored first") << "L a- b+ b+ U b. a." << "b1 b2";
    QTest::newRow("made before a delete, stored after it") << "L b+ a- U a+ b." << "a1";
    QTest::newRow("a delete outlives its process") << "L a- a. U b+" << "b1";
}

void TestStatisticsController::storesShareFolder()
{
    QFETCH(QString, steps);
    QFETCH(QString, notes);
    writeFile(m_file, historyBytes(3));
    // A lock held from the start makes the stores wait briefly, as after
    // their first miss.
    const QByteArray lockFile = QFile::encodeName(m_file + ".lock");
    const int holder = steps.startsWith('L') ? ::open(lockFile, O_RDWR | O_CREAT, 0600) : -1;
    QVERIFY(holder < 0 || ::flock(holder, LOCK_EX) == 0);
    QScopedPointer<StatisticsController> stores[2];
    QSignalSpy* spies[2];
    for (int s = 0; s < 2; ++s) {
        stores[s].reset(new StatisticsController(m_dir));
        stores[s]->init();
        spies[s] = new QSignalSpy(stores[s].data(), &StatisticsController::smallStatisticsChanged);
        spies[s]->setParent(stores[s].data());
    }
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QHash<QChar, int> added;
    for (const QString& step : steps.split(' ')) {
        if (step == "U")
            ::close(holder);
        if (step == "x")
            writeFile(m_file, readFile(m_file).replace("\"a1\"", "\"x1\""));
        if (step.size() == 1)
            continue;
        StatisticsController* store = stores[step[0] == 'b'].data();
        std::vector<int> fill;
        rlimit old{};
        getrlimit(RLIMIT_NOFILE, &old);
        if (step[1] == '!') {
            rlimit low = old;
            low.rlim_cur = qMin<rlim_t>(old.rlim_cur, 512);
            setrlimit(RLIMIT_NOFILE, &low);
            for (int fd; (fd = ::dup(0)) >= 0;)
                fill.push_back(fd);
            ::close(fill.back());
            fill.pop_back();
        }
        if (step[1] == '-')
            store->deleteAllMeasurements();
        else if (step[1] == '.')
            stores[step[0] == 'b'].reset();
        else
            store->addMeasurement(15.0, step[0] + QString::number(++added[step[0]]), 200);
        for (int fd : fill)
            ::close(fd);
        setrlimit(RLIMIT_NOFILE, &old);
    }
    StatisticsController reloaded(m_dir);
    QSignalSpy small(&reloaded, &StatisticsController::smallStatisticsChanged);
    reloaded.init();
    qInstallMessageHandler(previous);
    QCOMPARE(fileNotes(m_file), notes);
    QCOMPARE(QDir(m_dir).entryList({"statistics.json.pending-*", "statistics.json.unreadable-*"}), QStringList());
    checkRendered(m_file);
    // The store that wrote last shows the file's history, as a new start does.
    if (!steps.contains('.'))
        QCOMPARE(lastSmall(*spies[steps.endsWith("b+")]), lastSmall(small));
}

void TestStatisticsController::leftBesideFile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("notes");  // of the file's records afterwards
    QTest::addColumn<int>("keptAside");
    const QByteArray p1 = QJsonDocument(record(7)).toJson(QJsonDocument::Compact);
    QTest::newRow("records") << "[" + p1 + "]" << "n0 n1 n2 n7" << 0;
    QTest::newRow("not only records") << "[" + p1 + ", 5, \"str\", null]" << "n0 n1 n2" << 1;
}

void TestStatisticsController::leftBesideFile()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, notes);
    QFETCH(int, keptAside);
    writeFile(m_file, historyBytes(3));
    writeFile(m_file + ".pending-12-ab", "{\"data\": " + data + "}");
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    StatisticsController(m_dir).init();
    qInstallMessageHandler(previous);
    QCOMPARE(fileNotes(m_file), notes);
    QCOMPARE(QDir(m_dir).entryList({"statistics.json.pending-*"}).size(), keptAside);
}

void TestStatisticsController::writersShareFolder_data()
{
    QTest::addColumn<int>("writers");  // processes adding 200 measurements each
    QTest::addColumn<bool>("starts");  // stores start here while they write
    QTest::newRow("three writers at once") << 3 << false;
    QTest::newRow("stores start during writes with named temporary files") << 1 << true;
}

void TestStatisticsController::writersShareFolder()
{
    QFETCH(int, writers);
    QFETCH(bool, starts);
    writeFile(m_file, historyBytes(10));
    QProcess processes[3];
    for (int w = 0; w < writers; ++w)
        processes[w].start(QStringLiteral(LUMORA_BIN_DIR "/lumora_store_writer"),
                           {m_dir, "200", QStringLiteral("w%1").arg(w), starts ? "named" : ""});
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    while (starts && !processes[0].waitForFinished(5))
        StatisticsController(m_dir).init();
    qInstallMessageHandler(previous);
    for (int w = 0; w < writers; ++w) {
        QVERIFY(processes[w].state() == QProcess::NotRunning || processes[w].waitForFinished(60000));
        QCOMPARE(processes[w].readAll(), QByteArray("ready\nwarnings 0\n"));
    }
    QCOMPARE(fileData(m_file).toArray().size(), 10 + 200 * writers);
}

void TestStatisticsController::lockHeldPastBound_data()
{
    QTest::addColumn<bool>("heldPastEnd");  // else let go while the store runs
    QTest::newRow("let go while running") << false;
    QTest::newRow("held past the store's end") << true;
}

void TestStatisticsController::lockHeldPastBound()
{
    QFETCH(bool, heldPastEnd);
    writeFile(m_file, historyBytes(3));
    const QByteArray before = readFile(m_file);
    // A holder that never lets go until told: another process stopped mid-write.
    const int holder = ::open(QFile::encodeName(m_file + ".lock").constData(), O_RDWR | O_CREAT, 0600);
    QCOMPARE(::flock(holder, LOCK_EX), 0);
    QScopedPointer<StatisticsController> store(new StatisticsController(m_dir));
    QSignalSpy small(store.data(), &StatisticsController::smallStatisticsChanged);
    QSignalSpy ready(store.data(), &StatisticsController::statsControllerInitialized);
    store->init();
    QCOMPARE(ready.count(), 1);  // the start goes on with the file's history
    checkRecords(lastSmall(small), 0, 3);
    store->addMeasurement(15.0, "w1", 201);
    store->addMeasurement(15.0, "w2", 202);
    QCOMPARE(std::get<1>(lastSmall(small)).mid(3), (QVector<int>{201, 202}));
    if (heldPastEnd)
        store.reset();
    QCOMPARE(readFile(m_file), before);  // nothing written while held
    ::close(holder);
    if (heldPastEnd) {  // the next store takes in what was left beside the file
        store.reset(new StatisticsController(m_dir));
        store->init();
    }
    QTRY_COMPARE_WITH_TIMEOUT(fileData(m_file).toArray().size(), 5, 5000);
    QCOMPARE(QDir(m_dir).entryList(QDir::Files), (QStringList{"statistics.json", "statistics.json.lock"}));
}

void TestStatisticsController::unusableLockPath_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("link to a file elsewhere") << "link";
}

void TestStatisticsController::unusableLockPath()
{
    QFETCH(QString, kind);
    const QByteArray lock = QFile::encodeName(m_file + ".lock");
    const QString elsewhere = m_tmp->path() + "/elsewhere";
    writeFile(elsewhere, "the user's");
    QCOMPARE(kind == "folder" ? ::mkdir(lock, 0700)
                 : kind == "fifo" ? ::mkfifo(lock, 0600)
                                  : ::symlink(QFile::encodeName(elsewhere), lock),
             0);
    writeFile(m_file, historyBytes(3));
    QProcess processes[3];
    for (int w = 0; w < 3; ++w)
        processes[w].start(QStringLiteral(LUMORA_BIN_DIR "/lumora_store_writer"),
                           {m_dir, "20", QStringLiteral("w%1").arg(w)});
    for (QProcess& process : processes)
        QVERIFY(process.waitForFinished(60000));
    QCOMPARE(fileData(m_file).toArray().size(), 3 + 3 * 20);
    struct stat st {};
    QVERIFY(::lstat(lock, &st) == 0 && S_ISREG(st.st_mode));
    QCOMPARE(QDir(m_dir).entryList({"statistics.json.lock.not-a-file-*"}, QDir::AllEntries | QDir::System).size(), 1);
    QCOMPARE(readFile(elsewhere), QByteArray("the user's"));
}

QTEST_GUILESS_MAIN(TestStatisticsController)
#include "tst_statisticscontroller.moc"
