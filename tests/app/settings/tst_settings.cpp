// The settings store on a full disk: each value that cannot be stored is
// named in the log, once, whoever wrote it; nothing else changes. The
// store's folder is a tiny file system of its own, in a mount namespace of
// this process, filled to the last byte.

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "app/languages.h"
#include "app/settings.h"

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

}  // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void lostWritesAreLoggedWithTheirKeys();

private:
    void fill();
    QString m_config;
    QString m_filler;
};

void TestSettings::initTestCase()
{
    m_config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(!m_config.isEmpty());
    if (::geteuid() != 0)
        QSKIP("needs root for a small file system of its own");
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        QSKIP("no mount namespace of its own here");
    QVERIFY2(::mount("tmpfs", QFile::encodeName(m_config).constData(), "tmpfs", 0, "size=64k,mode=0700") == 0,
             std::strerror(errno));
    m_filler = m_config + "/filler";
    qInstallMessageHandler(collect);
}

void TestSettings::cleanup()
{
    QFile::remove(m_filler);
    g_warnings.clear();
}

// Takes every free byte of the store's file system.
void TestSettings::fill()
{
    const int fd = ::open(QFile::encodeName(m_filler).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    QVERIFY(fd >= 0);
    const QByteArray block(4096, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    while (::write(fd, "x", 1) > 0) {
    }
    QCOMPARE(errno, ENOSPC);
    ::close(fd);
}

void TestSettings::lostWritesAreLoggedWithTheirKeys()
{
    // With room, nothing is said.
    saveSetting("TBRR", 5);
    QVERIFY(onDisk().contains("TBRR=5"));
    QCOMPARE(g_warnings, QStringList());

    fill();
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
    QFile::remove(m_filler);
    g_warnings.clear();
    saveSetting("TBRR", 9);
    QCOMPARE(g_warnings, QStringList());
    QVERIFY(onDisk().contains("TBRR=9"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
