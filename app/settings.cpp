#include "app/settings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <exception>
#include <fcntl.h>
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
    Verdict verdict = Verdict::Absent;
};

QMutex g_checkMutex;
Checked g_own;
Checked g_organisation;

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

// Checks one file unless it is the one checked last (or after a failed
// read or write, whatever its stamp). The program's own file that Qt
// cannot read is moved aside (Absent then); one that cannot be moved, and
// the organisation's, stay Unusable while they lie there. One warning each.
Verdict check(const QString& path, bool own, Checked& last, bool afterFailure)
{
    const QByteArray stamp = ownfiles::stampOf(QFile::encodeName(path));
    if (stamp.isEmpty()) {
        last.valid = false;
        return Verdict::Absent;
    }
    if (last.valid && stamp == last.stamp && (!afterFailure || last.verdict == Verdict::Unusable))
        return last.verdict;
    const QString why = settingsfiles::unusableBecause(path);
    last = Checked{true, stamp, why.isEmpty() ? Verdict::Sound : Verdict::Unusable};
    if (why.isEmpty())
        return Verdict::Sound;
    if (!own) {
        qWarning().noquote() << QStringLiteral(
                                    "LumoraSettings: the organisation's settings file %1 cannot be read "
                                    "(%2): left out")
                                    .arg(path, why);
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

struct Verdicts
{
    Verdict own;
    Verdict organisation;
};

Verdicts checkFiles(bool afterFailure = false)
{
    QMutexLocker lock(&g_checkMutex);
    return {check(storePath(), true, g_own, afterFailure),
            check(organisationPath(), false, g_organisation, afterFailure)};
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

// The program's own file, made before Qt writes into it: Qt makes a new
// file readable by all (and keeps the mode of one that exists), and this
// one holds the scrambled proxy credentials.
void createOwnerOnly(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    const int fd = ownfiles::openRegular(QFile::encodeName(path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, nullptr,
                                         0600);
    if (fd >= 0)
        ::close(fd);
}

}  // namespace

LumoraSettings::LumoraSettings()
{
    const Verdicts verdicts = checkFiles();
    if (verdicts.own == Verdict::Unusable)
        return;
    if (verdicts.organisation == Verdict::Unusable)
        m_store = std::make_unique<QSettings>(storePath(), QSettings::IniFormat);
    else
        m_store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                                              kApplication);
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
    if (!m_store) {
        QMutexLocker lock(&g_memoryMutex);
        return g_memory.value(fullKey(key), defaultValue);
    }
    QVariant result = defaultValue;
    guarded([&] { result = m_store->value(key, defaultValue); });
    return result;
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
    if (m_store && checkFiles().own != Verdict::Unusable) {
        const auto write = [this] {
            if (!m_written.isEmpty())
                createOwnerOnly(storePath());
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
