// The settings store on a full disk: each value that cannot be stored is
// named in the log, once, whoever wrote it; nothing else changes. The
// store's folder is a tiny file system of its own, in a mount namespace of
// this process, filled to the last byte. And a store file that turns
// unreadable while the program runs is kept aside at the next save.

#include <QDir>
#include <QFile>
#include <QtTest>
#include <sys/stat.h>
#include <type_traits>

#include "app/languages.h"
#include "app/settings.h"
#include "app/settings_filecheck.h"
#include "tests/support/fullstore.h"
#include "tests/support/hostileinputs.h"

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

// Whether Qt's reader gave anything but text, a list of texts or nothing
// ("@Invalid()"): a value of another kind, or the text of a "@Variant".
bool decodedByQt(const QVariant& value)
{
    const QVariantList list = value.toList();
    if (value.type() == QVariant::List)
        return std::any_of(list.begin(), list.end(), decodedByQt);
    return value.type() == QVariant::String ? value.toString() == "decoded"
                                            : value.isValid() && value.type() != QVariant::StringList;
}

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
    void checkRefusesWhatQtDecodes_data();
    void checkRefusesWhatQtDecodes();

private:
    QString m_config;
};

void TestSettings::initTestCase()
{
    m_config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(!m_config.isEmpty());
    qInstallMessageHandler(collect);
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_config + "/system:" + m_config + "/sound"));
    QVERIFY(QDir().mkpath(m_config + "/sound/Harnwick") && QDir().mkpath(m_config + "/system/Harnwick"));
    QFile sound(m_config + "/sound/Harnwick/lumora.conf");
    QVERIFY(sound.open(QIODevice::WriteOnly) && sound.write("[G]\nSOUND=7\n") > 0);
    ::umask(022);  // as most desktops start programs
}

void TestSettings::unreadableFileIsKeptAsideAtTheNextSave_data()
{
    // What another program adds to the file.
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("claims 2^31 elements") << QByteArray("ZZZ=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n");
    const QByteArray level = "\\0\\0\\0\\t\\0\\0\\0\\x1";
    QTest::newRow("nested 50,000 deep") << "ZZZ=@Variant(" + level.repeated(50000) + "\\0\\0\\0\\t\\0\\0\\0\\0)\n";
    QTest::newRow("2 MB") << QByteArray("key=0123456789abcdef0123456789\n").repeated(65536);
    for (const auto& value : hostile::settingsValuesOfOtherKinds())
        QTest::newRow(value.first) << "ZZZ=" + value.second + "\n";
}

void TestSettings::unreadableFileIsKeptAsideAtTheNextSave()
{
    QFETCH(QByteArray, damage);
    saveSetting("TBRR", 20);
    const QString path = openSettings()->fileName();
    // One an older version left readable by others is closed when read.
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    QCOMPARE(openSettings()->value("G/TBRR").toInt(), 20);
    QCOMPARE(QFile::permissions(path) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write(damage);
    file.close();
    QFile damaged(path);
    QVERIFY(damaged.open(QIODevice::ReadOnly));
    const QByteArray content = damaged.readAll();

    saveSetting("NBD", 4);
    QCOMPARE(g_warnings.size(), 1);
    QVERIFY2(g_warnings.at(0).startsWith("LumoraSettings: the settings file " + path + " cannot be read"),
             qPrintable(g_warnings.at(0)));
    const QStringList aside = QDir(QFileInfo(path).path()).entryList({"lumora.conf.unreadable-*"}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QFile kept(QFileInfo(path).path() + "/" + aside.first());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
    // The new file holds the new value, for the user's eyes only; the old
    // ones take their defaults.
    QCOMPARE(QFile::permissions(path) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(openSettings()->value("G/NBD").toInt(), 4);
    QCOMPARE(openSettings()->value("G/TBRR", 50).toInt(), 50);
    QCOMPARE(g_warnings.size(), 1);
    QFile::remove(kept.fileName());

    // A file the store reads for keys it lacks (the organisation's, the
    // system-wide ones) is damaged: left out with one warning, never read;
    // the program's own file stays where it is, the sound ones are read.
    for (const QString& other : {m_config + "/Harnwick.conf", m_config + "/system/Harnwick/lumora.conf",
                                 m_config + "/system/Harnwick.conf"}) {
        g_warnings.clear();
        QFile organisation(other);
        QVERIFY(organisation.open(QIODevice::WriteOnly));
        organisation.write("[G]\n" + damage);
        organisation.close();
        QCOMPARE(openSettings()->value("G/NBD").toInt(), 4);
        QCOMPARE(openSettings()->value("G/SOUND").toInt(), 7);
        saveSetting("TBRR", 9);
        QCOMPARE(openSettings()->value("G/TBRR").toInt(), 9);
        QVERIFY(QDir(QFileInfo(path).path()).entryList({"lumora.conf.*"}, QDir::Files).isEmpty());
        QVERIFY2(g_warnings.size() == 1 && g_warnings.at(0).contains(other + " cannot be read"),
                 qPrintable(other));
        QVERIFY(organisation.remove());
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

void TestSettings::checkRefusesWhatQtDecodes_data()
{
    QTest::addColumn<QByteArray>("file");
    // A mark before a value, after a comma, an escape, a quote and a
    // continued line; invalid UTF-8; letters typed by the user.
    const QByteArray m = "\xef\xbb\xbf";
    for (const QByteArray& value : {m + "@Rect(1 2 3 4)", "a, " + m + "@Size(1 2)", "\\x40" + m + "Point(1 2)",
                                    "\"" + m + "@Rect(1 2 3 4)\"", "\\\n" + m + "@ByteArray(a)",
                                    QByteArray("\xc3@Point(1 2)"), QByteArray("Gr\xc3\xbc\xc3\x9f")})
        for (const QByteArray& start : {m, QByteArray()})
            QTest::newRow((start + value).toPercentEncoding(" ,@()").constData()) << start + "[LL]\nX=" + value;
    for (quint32 seed = 0; seed < 3000; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(seed))) << hostile::randomSettingsFile(seed);
}

// The check refuses exactly the files in which Qt's reader decodes a value.
void TestSettings::checkRefusesWhatQtDecodes()
{
    QFETCH(QByteArray, file);
    QTemporaryFile out;  // a new name for each row: Qt's reader keeps what it read by name
    QVERIFY(out.open() && out.write(file) == file.size() && out.flush());
    QSettings qt(out.fileName(), QSettings::IniFormat);
    bool decoded = false;
    for (const QString& key : qt.allKeys())
        decoded = decodedByQt(qt.value(key)) || decoded;
    const QString why = settingsfiles::unusableBecause(out.fileName());
    QVERIFY2(why.isEmpty() != decoded, qPrintable(why + " | " + file.toPercentEncoding()));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
