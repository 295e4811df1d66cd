#include "app/settings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/settings_filecheck.h"
#include "core/ownfiles.h"

namespace {

const QString kOrganisation = QStringLiteral("Harnwick");
const QString kApplication = QStringLiteral("lumora");

enum class Verdict { Absent, Sound, Unusable };

// A file as it was last checked: while it stays the same file with the
// same size and time, it is not read again.
struct Checked
{
    bool valid = false;
    QByteArray stamp;
    bool readerMetAMark = false;
    Verdict verdict = Verdict::Absent;
};

QMutex g_checkMutex;
Checked g_own;
QHash<QString, Checked> g_fallbacks;  // by path

// The values while the program's own file can be neither used nor moved.
QMutex g_memoryMutex;
QMap<QString, QVariant> g_memory;

// Where QSettings keeps the native store of a user on this platform, and
// the organisation's file it reads beside it. Found without opening the
// store: opening reads the files.
QString configFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/');
}
QString storePath()
{
    return configFolder() + kOrganisation + QLatin1Char('/') + kApplication + QStringLiteral(".conf");
}
QString organisationPath()
{
    return configFolder() + kOrganisation + QStringLiteral(".conf");
}

// The files Qt's reader consults, in its order, for a key the program's
// own file lacks: the organisation's file beside it, then in each folder
// of $XDG_CONFIG_DIRS the application's file, then the organisation's.
QStringList fallbackPaths()
{
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    if (!folders.isEmpty())
        folders.removeFirst();  // the user's own
    QStringList paths{organisationPath()};
    for (const QString& folder : qAsConst(folders))
        paths << folder + QLatin1Char('/') + kOrganisation + QLatin1Char('/') + kApplication +
                     QStringLiteral(".conf");
    for (const QString& folder : qAsConst(folders))
        paths << folder + QLatin1Char('/') + kOrganisation + QStringLiteral(".conf");
    return paths;
}

// The program's own file is its owner's alone: Qt makes a new file readable
// by all (and keeps the mode of one that exists), and this one holds the
// scrambled proxy credentials. Made before Qt writes into it; one an older
// version left readable by others is closed.
void keepOwnerOnly(const QString& path, bool create)
{
    if (create)
        QDir().mkpath(QFileInfo(path).path());
    const int fd = ownfiles::openRegular(QFile::encodeName(path), O_RDONLY | O_NOFOLLOW | (create ? O_CREAT : 0),
                                         nullptr, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077))
        ::fchmod(fd, 0600);
    ::close(fd);
}

enum class Role { Own, Organisation, SystemWide };

// Checks one file unless it is the one checked last (or after a failed
// read or write, whatever its stamp). The program's own file that Qt
// cannot read is moved aside (Absent then); one that cannot be moved, and
// the others, which the program does not own, stay Unusable while they lie
// there. One warning each.
Verdict check(const QString& path, Role role, Checked& last, bool afterFailure, bool readerMetAMark = false)
{
    QByteArray stamp = ownfiles::stampOf(QFile::encodeName(path));
    if (stamp.isEmpty()) {
        last.valid = false;
        return Verdict::Absent;
    }
    if (last.valid && stamp == last.stamp && last.readerMetAMark == readerMetAMark &&
        (!afterFailure || last.verdict == Verdict::Unusable))
        return last.verdict;
    if (role == Role::Own) {
        keepOwnerOnly(path, false);
        stamp = ownfiles::stampOf(QFile::encodeName(path));
    }
    const QString why = settingsfiles::unusableBecause(path, readerMetAMark);
    last = Checked{true, stamp, readerMetAMark, why.isEmpty() ? Verdict::Sound : Verdict::Unusable};
    if (why.isEmpty())
        return Verdict::Sound;
    if (role != Role::Own) {
        qWarning().noquote() << QStringLiteral("LumoraSettings: the %1 settings file %2 cannot be read (%3): left out")
                                    .arg(role == Role::Organisation ? QStringLiteral("organisation's")
                                                                    : QStringLiteral("system-wide"),
                                         path, why);
        return Verdict::Unusable;
    }
    QString error;
    const QString aside = ownfiles::keepAside(path, QStringLiteral("unreadable"), &error);
    if (!aside.isEmpty()) {
        last.valid = false;
        qWarning().noquote() << QStringLiteral("LumoraSettings: the settings file %1 cannot be read (%2): kept aside as "
                                               "%3, the defaults stand")
                                    .arg(path, why, aside);
        return Verdict::Absent;
    }
    qWarning().noquote() << QStringLiteral("LumoraSettings: the settings file %1 cannot be read (%2) nor kept aside "
                                           "(%3): the defaults stand, and nothing is stored")
                                .arg(path, why, error);
    return Verdict::Unusable;
}

struct Files
{
    Verdict own;
    QStringList fallbacks;  // the sound ones, in the reader's order
};

// readerMetAMark: the own file is read by a reader that has met a UTF-8 mark.
Files checkFiles(bool afterFailure = false, bool readerMetAMark = false)
{
    QMutexLocker lock(&g_checkMutex);
    Files files{check(storePath(), Role::Own, g_own, afterFailure, readerMetAMark), {}};
    const QString organisation = organisationPath();
    for (const QString& path : fallbackPaths())
        if (check(path, path == organisation ? Role::Organisation : Role::SystemWide, g_fallbacks[path],
                  afterFailure) == Verdict::Sound)
            files.fallbacks << path;
    return files;
}

// Runs one read or sync of the store. Qt parses a file's values lazily, at
// the first read or sync, and throws there when it cannot hold one; the
// files are then checked again, whatever their stamps. False then.
template <typename Access>
bool guarded(Access access)
{
    try {
        access();
        return true;
    } catch (const std::exception&) {
        checkFiles(true);
        return false;
    }
}

}  // namespace

LumoraSettings::LumoraSettings()
{
    // Each file has a reader of its own, so that one left out is never read.
    const Files files = checkFiles();
    for (const QString& path : files.fallbacks)
        m_fallbacks.push_back(std::make_unique<QSettings>(path, QSettings::IniFormat));
    if (files.own != Verdict::Unusable)
        m_store = std::make_unique<QSettings>(storePath(), QSettings::IniFormat);
}

LumoraSettings::~LumoraSettings()
{
    sync();
}

QString LumoraSettings::fullKey(const QString& key) const
{
    const QString prefix = group();
    return prefix.isEmpty() ? key : key.isEmpty() ? prefix : prefix + QLatin1Char('/') + key;
}

QVariant LumoraSettings::value(const QString& key, const QVariant& defaultValue) const
{
    // The first file that holds the key, as Qt's reader looks them up.
    const QString full = fullKey(key);
    QVariant result;
    bool found = false;
    if (!m_store) {
        QMutexLocker lock(&g_memoryMutex);
        const auto it = g_memory.constFind(full);
        found = it != g_memory.constEnd();
        if (found)
            result = *it;
    } else {
        guarded([&] {
            if (m_store->contains(key)) {
                result = m_store->value(key);
                found = true;
            }
        });
    }
    for (auto it = m_fallbacks.begin(); !found && it != m_fallbacks.end(); ++it)
        guarded([&] {
            if ((*it)->contains(full)) {
                result = (*it)->value(full);
                found = true;
            }
        });
    return found ? result : defaultValue;
}

void LumoraSettings::setValue(const QString& key, const QVariant& value)
{
    m_written << fullKey(key);
    if (m_store) {
        m_store->setValue(key, value);
        return;
    }
    QMutexLocker lock(&g_memoryMutex);
    g_memory.insert(fullKey(key), value);
}

void LumoraSettings::remove(const QString& key)
{
    m_written << fullKey(key);
    if (m_store) {
        m_store->remove(key);
        return;
    }
    const QString removed = fullKey(key);
    QMutexLocker lock(&g_memoryMutex);
    for (auto it = g_memory.begin(); it != g_memory.end();)
        if (removed.isEmpty() || it.key() == removed || it.key().startsWith(removed + QLatin1Char('/')))
            it = g_memory.erase(it);
        else
            ++it;
}

void LumoraSettings::beginGroup(const QString& prefix)
{
    m_groups << prefix;
    if (m_store)
        m_store->beginGroup(prefix);
}

void LumoraSettings::endGroup()
{
    if (m_groups.isEmpty())
        return;
    m_groups.removeLast();
    if (m_store)
        m_store->endGroup();
}

QString LumoraSettings::group() const
{
    if (m_store)
        return m_store->group();
    QStringList parts = m_groups;
    parts.removeAll(QString());
    return parts.join(QLatin1Char('/'));
}

QString LumoraSettings::fileName() const
{
    return m_store ? m_store->fileName() : storePath();
}

void LumoraSettings::sync()
{
    // Qt's sync reads a file again when it changed on disk: it is checked
    // first. One that cannot be read is kept aside and the values go into a
    // new file, owner-only; while it cannot be moved, it is never written.
    bool synced = false;
    if (m_store && checkFiles(false, m_store->iniCodec() != nullptr).own != Verdict::Unusable) {
        const auto write = [this] {
            if (!m_written.isEmpty())
                keepOwnerOnly(storePath(), true);
            m_store->sync();
        };
        synced = guarded(write) || (checkFiles().own == Verdict::Absent && guarded(write));
    }
    // A full disk or a folder that cannot be written: the values stay
    // unsaved. Only the log hears of it.
    if (!synced || m_store->status() == QSettings::AccessError) {
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
