#include "app/settings.h"

#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <exception>
#include <new>
#include <sys/stat.h>

#include "core/ownfiles.h"

namespace {

const QString kOrganisation = QStringLiteral("Harnwick");
const QString kApplication = QStringLiteral("lumora");

QMutex g_checkMutex;
// The store file as it was last read whole: while it stays the same file
// with the same size and time, it is not read again.
bool g_checked = false;
struct stat g_checkedStat {};

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
           && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Where QSettings keeps the native store of a user on this platform. Found
// without opening the store: opening reads the file, and a FIFO there would
// hold the caller.
QString storePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
           + kOrganisation + QLatin1Char('/') + kApplication + QStringLiteral(".conf");
}

// Runs a read or a write of the store. Qt parses the values of the file
// lazily, at the first read or sync, and a damaged value (a list that claims
// 2^31 elements) makes it throw std::bad_alloc there. False with the reason
// then.
template <typename Access>
bool guarded(Access access, QString* why)
{
    try {
        access();
        return true;
    } catch (const std::bad_alloc&) {
        *why = QStringLiteral("a value claims more memory than there is");
    } catch (const std::exception& e) {
        *why = QString::fromLocal8Bit(e.what());
    }
    return false;
}

// Moves the unreadable store file aside whole, with one warning. True when
// it is out of the way, so that the next write makes a new file of its own.
// A file that cannot be moved is reported once.
bool keepStoreAside(const QString& path, const struct stat& st, const QString& why)
{
    static bool unmovable = false;
    static struct stat unmovableStat {};
    g_checked = false;
    if (unmovable && sameFile(st, unmovableStat))
        return false;
    QString error;
    const QString aside = ownfiles::keepAside(path, QStringLiteral("unreadable"), &error);
    if (!aside.isEmpty()) {
        qWarning().noquote() << QStringLiteral("LumoraSettings: the settings file %1 cannot be read (%2): kept aside as "
                                               "%3, the defaults stand")
                                    .arg(path, why, aside);
        return true;
    }
    unmovable = true;
    unmovableStat = st;
    qWarning().noquote() << QStringLiteral("LumoraSettings: the settings file %1 cannot be read (%2) nor kept aside "
                                           "(%3): the defaults stand, and nothing is stored")
                                .arg(path, why, error);
    return false;
}

// Makes sure the store file can be read before anything reads it: a file
// that cannot is kept aside. After a failed read or write (the file may
// have changed since it was checked) it is read again whatever its stamp;
// true then when it is out of the way.
bool checkStoreFile(bool afterFailure = false)
{
    QMutexLocker lock(&g_checkMutex);
    const QString path = storePath();
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return afterFailure;  // no file (any more): the defaults, and a new file at the first write
    if (!S_ISREG(st.st_mode))
        return keepStoreAside(path, st, QStringLiteral("not a regular file"));
    if (!afterFailure && g_checked && sameFile(st, g_checkedStat))
        return false;
    // This file alone: a damaged file of the organisation, which the store
    // also reads, is not this one's fault.
    QSettings probe(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    probe.setFallbacksEnabled(false);
    QString why;
    if (guarded([&] { probe.allKeys(); }, &why)) {
        g_checked = true;
        g_checkedStat = st;
        return false;
    }
    return keepStoreAside(path, st, why);
}

}  // namespace

QSettings::Format LumoraSettings::checkedFormat()
{
    checkStoreFile();
    return QSettings::NativeFormat;
}

LumoraSettings::LumoraSettings()
    : QSettings(checkedFormat(), QSettings::UserScope, kOrganisation, kApplication)
{
}

LumoraSettings::~LumoraSettings()
{
    sync();
}

QVariant LumoraSettings::value(const QString& key, const QVariant& defaultValue) const
{
    QVariant result = defaultValue;
    QString why;
    if (!guarded([&] { result = QSettings::value(key, defaultValue); }, &why))
        checkStoreFile(true);
    return result;
}

void LumoraSettings::setValue(const QString& key, const QVariant& value)
{
    m_written << (group().isEmpty() ? key : group() + QLatin1Char('/') + key);
    QSettings::setValue(key, value);
}

void LumoraSettings::remove(const QString& key)
{
    m_written << (group().isEmpty() ? key : group() + QLatin1Char('/') + key);
    QSettings::remove(key);
}

void LumoraSettings::sync()
{
    // A sync reads the file again when it changed on disk. One that cannot
    // be read is kept aside, and the values go into a new file; while it
    // cannot be moved, it is never written.
    QString why;
    bool synced = guarded([this] { QSettings::sync(); }, &why);
    if (!synced && checkStoreFile(true))
        synced = guarded([this] { QSettings::sync(); }, &why);
    // A full disk or a folder that cannot be written: the values stay
    // unsaved. Only the log hears of it.
    if (!synced || status() == QSettings::AccessError) {
        m_written.removeDuplicates();
        for (const QString& key : qAsConst(m_written))
            qWarning().noquote() << "LumoraSettings::sync() the settings store could not be written, not stored:"
                                 << key;
    }
    m_written.clear();
}

std::unique_ptr<LumoraSettings> openSettings()
{
    return std::make_unique<LumoraSettings>();
}

void saveSetting(QString key, QVariant value)
{
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("G"));
    settings->setValue(key, value);
    settings->endGroup();
}
