// The crash client's base pieces: paths, number parsing, log lines and
// exact reads.

#include <QDate>
#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include "crash/base/filepath.h"
#include "crash/base/logging.h"
#include "crash/base/random.h"
#include "crash/base/strings.h"
#include "crash/util/fileio.h"
#include "crash/util/filereader.h"
#include "crash/util/process.h"
#include "crash/util/uuid.h"
#include "tests/support/crashtestutil.h"

using base::FilePath;

namespace {

std::vector<std::string> g_lines;

bool captureLine(int, const char*, int, size_t start, const std::string& line)
{
    g_lines.push_back(line.substr(start));
    return true;
}

std::vector<std::pair<int, std::string>> g_systemLog;

void captureSystemLog(int level, const std::string& line)
{
    g_systemLog.emplace_back(level, line);
}

}  // namespace

class TestCrashBase : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        base::SetLogMessageHandler(nullptr);
        base::internal::SetSystemLogForTesting(nullptr);
        g_lines.clear();
        g_systemLog.clear();
    }

    void paths()
    {
        QCOMPARE(FilePath(std::string("a\0b", 3)).value(), std::string("a"));
        QCOMPARE(FilePath(".").Append("x").value(), std::string("x"));
        QCOMPARE(FilePath("/").Append("x").value(), std::string("/x"));
        QCOMPARE(FilePath("a//").Append("b").value(), std::string("a/b"));
        QCOMPARE(FilePath("").Append("b").value(), std::string("b"));
        QCOMPARE(FilePath("a").Append("").value(), std::string("a"));
        QCOMPARE(FilePath("/a/b/").BaseName().value(), std::string("b"));
        QCOMPARE(FilePath("/").BaseName().value(), std::string("/"));
        QCOMPARE(FilePath("b").DirName().value(), std::string("."));
        QCOMPARE(FilePath("/a//b").DirName().value(), std::string("/a"));
        QCOMPARE(FilePath("/b").DirName().value(), std::string("/"));
        QCOMPARE(FilePath("d/x.tar.gz").FinalExtension(), std::string(".gz"));
        QCOMPARE(FilePath("d/..").FinalExtension(), std::string());
        QCOMPARE(FilePath("d.e/x").FinalExtension(), std::string());
        QCOMPARE(FilePath("d/x.dmp").RemoveFinalExtension().value(), std::string("d/x"));
    }

    void numbers()
    {
        int v = 5;
        for (const char* bad : {"", " 1", "1 ", "+", "-", "1a", "0x1"})
            QVERIFY2(!base::StringToInt(bad, &v), bad);
        QVERIFY(!base::StringToInt("2147483648", &v));
        QCOMPARE(v, 2147483647);
        QVERIFY(!base::StringToInt("-2147483649", &v));
        QCOMPARE(v, int(-2147483647 - 1));
        QVERIFY(base::StringToInt("-2147483648", &v));
        QCOMPARE(v, int(-2147483647 - 1));
        QVERIFY(base::StringToInt("+7", &v));
        QCOMPARE(v, 7);
        unsigned u = 3;
        QVERIFY(!base::StringToUint("-1", &u));
        int64_t t = 0;
        QVERIFY(base::StringToInt64("1700000000000", &t));
        QCOMPARE(t, int64_t(1700000000000));
        uint64_t big = 0;
        QVERIFY(!base::StringToUint64("18446744073709551616", &big));
        QCOMPARE(big, UINT64_MAX);

        const std::string longText(5000, 'z');
        QCOMPARE(base::StringPrintf("%s|%d", longText.c_str(), 42), longText + "|42");

        const std::string mixed = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";  // a é € 😀
        base::string16 wide;
        QVERIFY(base::UTF8ToUTF16(mixed, &wide));
        QCOMPARE(wide.size(), size_t(5));  // the emoji takes a surrogate pair
        QCOMPARE(base::UTF16ToUTF8(wide), mixed);
        std::u32string code;
        QVERIFY(base::UTF8ToUTF32(mixed, &code));
        QCOMPARE(code.size(), size_t(4));
        QVERIFY(!base::UTF8ToUTF16("\xc3", &wide));
    }

    void randomValues()
    {
        QSet<int> seen;
        for (int i = 0; i < 2000; ++i) {
            const int v = base::RandInt(-3, 3);
            QVERIFY(v >= -3 && v <= 3);
            seen.insert(v);
            const double d = base::RandDouble();
            QVERIFY(d >= 0.0 && d < 1.0);
        }
        QCOMPARE(seen.size(), 7);
        QCOMPARE(base::RandInt(INT_MIN, INT_MIN), INT_MIN);
        const std::string name = base::RandomString();
        QCOMPARE(name.size(), size_t(16));
        QVERIFY(std::all_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; }));
        QVERIFY(base::RandomString() != name);
    }

    // A separate process writes through the real standard error.
    void logLinesCarryTheClientPrefix()
    {
        const ProbeRun run = runProbe({"log"});
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = QString::fromUtf8(run.err).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QRegularExpression prefix(
            QStringLiteral("^\\[(\\d+):(\\d+):(\\d{8}),(\\d{6})\\.(\\d{6}):(\\w+) crashwatch_probe\\.cpp:(\\d+)\\] (.*)$"));
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        for (int i = 0; i < 2; ++i) {
            const auto m = prefix.match(lines[i]);
            QVERIFY2(m.hasMatch(), qPrintable(lines[i]));
            QCOMPARE(m.captured(1).toLongLong(), run.pid);
            QCOMPARE(m.captured(2).toLongLong(), run.pid);  // the main thread's id
            QVERIFY(m.captured(3) == today || QDate::currentDate().addDays(-1).toString("yyyyMMdd") == m.captured(3));
            QCOMPARE(m.captured(6), i == 0 ? QStringLiteral("ERROR") : QStringLiteral("WARNING"));
        }
        // The errno kind ends with the error text and number.
        QVERIFY(lines[1].endsWith(QStringLiteral(": %1 (%2)").arg(strerror(ENOENT)).arg(ENOENT)));
    }

    void failedCheckEndsTheProcess()
    {
        const ProbeRun run = runProbe({"fatal"});
        QVERIFY(run.crashed);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(":FATAL crashwatch_probe.cpp:"), run.err.constData());
        QVERIFY2(run.err.contains("(1 vs. 2)"), run.err.constData());
    }

    void discardedErrorOutputAlsoGoesToSystemLog()
    {
        base::internal::SetSystemLogForTesting(captureSystemLog);
        LOG(INFO) << "to the terminal";
        const int saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        LOG(WARNING) << "nowhere";
        LOG(ERROR_REPORT) << "nowhere either";
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(null);
        QCOMPARE(g_systemLog.size(), size_t(2));
        QCOMPARE(g_systemLog[0].first, 4);
        QCOMPARE(g_systemLog[1].first, 5);
        QVERIFY(g_systemLog[0].second.find("nowhere\n") != std::string::npos);
    }

    void exactReadsAndWrites()
    {
        base::SetLogMessageHandler(captureLine);
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        // More than a pipe holds, so the writer must go round several times.
        std::string data(300000, '\0');
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = char(i * 7);
        std::thread writer([&] {
            QVERIFY(crashwatch::LoggingWriteFile(fds[1], data.data(), data.size()));
            close(fds[1]);
        });
        std::string got(data.size(), '\0');
        QVERIFY(crashwatch::LoggingReadFileExactly(fds[0], &got[0], got.size()));
        writer.join();
        QCOMPARE(got, data);
        char more[4];
        QVERIFY(!crashwatch::LoggingReadFileExactly(fds[0], more, 4));
        QCOMPARE(g_lines.size(), size_t(1));
        QVERIFY(!crashwatch::ReadFileExactly(fds[0], more, 4));
        QCOMPARE(g_lines.size(), size_t(1));  // the silent form stays silent
        close(fds[0]);
    }

    void uuids()
    {
        crashwatch::UUID uuid;
        QVERIFY(uuid.ParseText(base::StringPiece("00112233-4455-6677-8899-AABBCCDDEEFF")));
        QCOMPARE(uuid.FormatText(), std::string("00112233-4455-6677-8899-aabbccddeeff"));
        QCOMPARE(uuid.data_1, 0x00112233u);
        QCOMPARE(uuid.data_5[5], uint8_t(0xff));
        const crashwatch::UUID before = uuid;
        for (const char* bad : {"00112233-4455-6677-8899-aabbccddeef", "00112233-4455-6677-8899-aabbccddeeff0",
                                "+0112233-4455-6677-8899-aabbccddeeff", "00112233 4455-6677-8899-aabbccddeeff",
                                "0011223g-4455-6677-8899-aabbccddeeff"}) {
            QVERIFY2(!uuid.ParseText(base::StringPiece(bad)), bad);
            QVERIFY(uuid == before);
        }
        QVERIFY(uuid.ParseText(base::UTF8ToUTF16("ffeeddcc-bbaa-9988-7766-554433221100")));
        const uint8_t bytes[16] = {0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                   0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
        uuid.InitializeFromBytes(bytes);
        QCOMPARE(uuid.FormatText(), std::string("00112233-4455-6677-8899-aabbccddeeff"));
        crashwatch::UUID a, b;
        a.Generate();
        b.Generate();
        QVERIFY(a != b && a != crashwatch::UUID());
        QCOMPARE(a.FormatText()[14], '4');  // a random (version 4) identifier
    }

    void gatheredWrites()
    {
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        const std::string big(200000, 'b');
        std::vector<crashwatch::WritableIoVec> iovecs{{"a", 1}, {"", 0}, {big.data(), big.size()}, {"c", 1}};
        std::string got;
        std::thread reader([&] { crashwatch::LoggingReadToEOF(fds[0], &got); });
        crashwatch::WeakFileHandleFileWriter writer(fds[1]);
        QVERIFY(writer.WriteIoVec(&iovecs));
        close(fds[1]);
        reader.join();
        close(fds[0]);
        QCOMPARE(got, "a" + big + "c");
        std::vector<crashwatch::WritableIoVec> none;
        QVERIFY(!writer.WriteIoVec(&none));
    }

    // The started program keeps only 0, 1, 2 and the descriptor it is
    // given, and runs in a session of its own.
    void doubleForkAndExec()
    {
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        const int stray = dup(fds[0]);  // inherited unless closed
        QVERIFY(crashwatch::DoubleForkAndExec({PROBE, "fds", std::to_string(fds[1])}, nullptr, fds[1], true, nullptr));
        close(fds[1]);
        std::string got;
        QVERIFY(crashwatch::LoggingReadToEOF(fds[0], &got));
        close(fds[0]);
        close(stray);
        QStringList fields = QString::fromStdString(got).split(' ');
        QVERIFY(!fields.isEmpty());
        QVERIFY(fields.takeFirst().toLongLong() != getsid(0));
        QStringList expected{"0", "1", "2", QString::number(fds[1])};
        fields.sort();
        expected.sort();
        QCOMPARE(fields, expected);
    }
};

QTEST_GUILESS_MAIN(TestCrashBase)
#include "tst_crashbase.moc"
