// The settings store on a full disk: each value that cannot be stored is
// named in the log, once, whoever wrote it; nothing else changes. The
// store's folder is a tiny file system of its own, in a mount namespace of
// this process, filled to the last byte. And a store file that turns
// unreadable while the program runs is kept aside at the next save, or
// left unopened when it cannot be moved.

#include <QDir>
#include <QFile>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <type_traits>
#include <unistd.h>

#include "app/languages.h"
#include "app/settings.h"
#include "tests/support/fullstore.h"

namespace {

QStringList g_warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        g_warnings << text;
}

// The file on disk as it is, past the process's cache of the store (which
// keeps values it could not write).
QByteArray onDisk()
{
    QFile file(openSettings()->fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The folder mounted read-only over itself, in a mount namespace of this
// process of its own. False where that is not allowed.
bool mountReadOnly(const QString& folder)
{
    const QByteArray dir = QFile::encodeName(folder);
    static const bool own = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return own && ::mount(dir.constData(), dir.constData(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, dir.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// Notices a reader of the FIFO at path, also one still waiting in its
// open: a writer's non-blocking open then succeeds, and lets it go on.
class FifoWatch
{
public:
    explicit FifoWatch(const QString& path)
        : m_path(QFile::encodeName(path)), m_thread([this] {
              while (!m_stop) {
                  const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
                  if (fd >= 0) {
                      m_opened = true;
                      ::close(fd);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          })
    {
    }
    ~FifoWatch()
    {
        m_stop = true;
        m_thread.join();
    }
    bool opened() const { return m_opened; }

private:
    const QByteArray m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_opened{false};
    std::thread m_thread;
};

}  // namespace

// Every read goes through the store's guard: no QSettings reference to the
// store can pass it by.
static_assert(!std::is_base_of<QSettings, LumoraSettings>::value, "the store is no QSettings");

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void unreadableFileIsKeptAsideAtTheNextSave_data();
    void unreadableFileIsKeptAsideAtTheNextSave();
    void lostWritesAreLoggedWithTheirKeys();

private:
    QString m_config;
};

void TestSettings::initTestCase()
{
    m_config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(!m_config.isEmpty());
    qInstallMessageHandler(collect);
}

void TestSettings::unreadableFileIsKeptAsideAtTheNextSave_data()
{
    // What another program adds to the file; nothing: the file becomes a
    // FIFO in a folder that cannot be written, so that it cannot be moved.
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("claims 2^31 elements") << QByteArray("ZZZ=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n");
    const QByteArray level = "\\0\\0\\0\\t\\0\\0\\0\\x1";
    QTest::newRow("nested 50,000 deep") << "ZZZ=@Variant(" + level.repeated(50000) + "\\0\\0\\0\\t\\0\\0\\0\\0)\n";
    QTest::newRow("2 MB") << QByteArray("key=0123456789abcdef0123456789\n").repeated(65536);
    QTest::newRow("FIFO that cannot be moved") << QByteArray();
}

void TestSettings::unreadableFileIsKeptAsideAtTheNextSave()
{
    QFETCH(QByteArray, damage);
    saveSetting("TBRR", 20);
    QCOMPARE(openSettings()->value("G/TBRR").toInt(), 20);
    const QString path = openSettings()->fileName();
    const QString folder = QFileInfo(path).path();
    QScopedPointer<FifoWatch> watch;
    if (damage.isEmpty()) {
        QVERIFY(QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        if (!mountReadOnly(folder)) {
            QFile::remove(path);
            QSKIP("a folder even root cannot write takes a read-only mount, in a mount namespace of root's");
        }
        watch.reset(new FifoWatch(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(damage);
    }
    QFile damaged(path);
    QVERIFY(damage.isEmpty() || damaged.open(QIODevice::ReadOnly));
    const QByteArray content = damage.isEmpty() ? QByteArray() : damaged.readAll();

    saveSetting("NBD", 4);
    const auto fileWarnings = [] {
        return g_warnings.filter(QRegularExpression("^LumoraSettings: the settings file"));
    };
    QCOMPARE(fileWarnings().size(), 1);
    QVERIFY2(fileWarnings().at(0).startsWith("LumoraSettings: the settings file " + path + " cannot be read"),
             qPrintable(fileWarnings().at(0)));
    const QStringList aside = QDir(folder).entryList({"lumora.conf.unreadable-*"}, QDir::Files);
    QCOMPARE(aside.size(), damage.isEmpty() ? 0 : 1);
    if (!damage.isEmpty()) {
        QFile kept(folder + "/" + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);
        QVERIFY(QFile::remove(kept.fileName()));
    }
    // The new file (or the memory) holds the new value; the old ones take
    // their defaults.
    QCOMPARE(openSettings()->value("G/NBD").toInt(), 4);
    QCOMPARE(openSettings()->value("G/TBRR", 50).toInt(), 50);
    QCOMPARE(fileWarnings().size(), 1);

    // The organisation's file, which the store reads for keys it lacks,
    // is damaged: the program's own file stays where it is.
    g_warnings.clear();
    QFile organisation(m_config + "/Harnwick.conf");
    if (damage.isEmpty()) {
        QCOMPARE(::mkfifo(QFile::encodeName(organisation.fileName()).constData(), 0600), 0);
        watch.reset(new FifoWatch(organisation.fileName()));
    } else {
        QVERIFY(organisation.open(QIODevice::WriteOnly));
        organisation.write("[G]\n" + damage);
        organisation.close();
    }
    QCOMPARE(openSettings()->value("G/NBD").toInt(), 4);
    QCOMPARE(openSettings()->value("G/TBRR", 50).toInt(), 50);
    saveSetting("TBRR", 9);
    QCOMPARE(openSettings()->value("G/TBRR").toInt(), 9);
    QVERIFY(QDir(folder).entryList({"lumora.conf.*"}, QDir::Files).isEmpty());
    QVERIFY(organisation.remove());
    if (watch)
        QVERIFY2(!watch->opened(), "a FIFO was opened");
    if (damage.isEmpty()) {
        ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        QVERIFY(QFile::remove(path));
    }
}

void TestSettings::cleanup()
{
    QFile::remove(m_config + "/filler");
    g_warnings.clear();
}

void TestSettings::lostWritesAreLoggedWithTheirKeys()
{
    if (!mountSmallFileSystem(m_config))
        QSKIP("needs root and a mount namespace of its own for a small file system");
    // With room, nothing is said.
    saveSetting("TBRR", 5);
    QVERIFY(onDisk().contains("TBRR=5"));
    QCOMPARE(g_warnings, QStringList());

    QVERIFY(fillFileSystem(m_config));
    // The settings page's writer.
    saveSetting("TBRR", 9);
    QCOMPARE(g_warnings.size(), 1);
    QVERIFY2(g_warnings.at(0).startsWith("LumoraSettings::sync() ") && g_warnings.at(0).endsWith(" G/TBRR"),
             qPrintable(g_warnings.at(0)));
    QVERIFY(onDisk().contains("TBRR=5"));

    // A writer of its own group, which also removes a key: one line each.
    g_warnings.clear();
    {
        auto settings = openSettings();
        settings->beginGroup("LL");
        settings->setValue("DICP", "MAC-x");
        settings->setValue("FIRST", 1);
        settings->endGroup();
        settings->remove("G/TBRR");
    }
    g_warnings.sort();
    QCOMPARE(g_warnings.size(), 3);
    QVERIFY(g_warnings.at(0).endsWith(" G/TBRR"));
    QVERIFY(g_warnings.at(1).endsWith(" LL/DICP"));
    QVERIFY(g_warnings.at(2).endsWith(" LL/FIRST"));

    // A writer that syncs by itself before the store closes: still once.
    g_warnings.clear();
    languages::startIndex();
    QCOMPARE(g_warnings.filter("LumoraSettings::").size(), 1);
    QVERIFY(g_warnings.filter("LumoraSettings::").at(0).endsWith(" G/QT_locale_name"));

    // Room again: the next change is stored, without a word.
    QFile::remove(m_config + "/filler");
    g_warnings.clear();
    saveSetting("TBRR", 9);
    QCOMPARE(g_warnings, QStringList());
    QVERIFY(onDisk().contains("TBRR=9"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
