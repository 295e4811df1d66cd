#pragma once
// The one place that opens the settings store (organisation "Harnwick",
// application "lumora", the platform's native format).

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

// The settings store as the program opens it. It remembers the keys written
// through it; when a sync (or the closing of the store) cannot write them,
// each lost key gets a warning in the log. The user is not told.
//
// Its files are checked before Qt's reader sees them. The program's own
// file, when Qt cannot read it safely (a value of a kind the program never
// stores, far too large, not a regular file), is kept aside whole with one
// warning in the log, and the program goes on with the defaults; one that
// cannot be moved is never opened again while it lies there: the values
// then live in memory only. The files read for keys the program's own file
// lacks (the organisation's beside it, the system-wide ones under
// $XDG_CONFIG_DIRS), which other programs may own, are checked the same
// way; one that fails is left where it is and left out. The program's own
// file is its owner's alone.
//
// Not a QSettings: every read goes through the guard here.
class LumoraSettings
{
public:
    LumoraSettings();
    ~LumoraSettings();
    LumoraSettings(const LumoraSettings&) = delete;
    LumoraSettings& operator=(const LumoraSettings&) = delete;

    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    // An empty key: every key in the current group.
    void remove(const QString& key);
    void beginGroup(const QString& prefix);
    void endGroup();
    QString group() const;
    QString fileName() const;
    void sync();

private:
    QString fullKey(const QString& key) const;

    std::unique_ptr<QSettings> m_store;  // none: the file cannot be used, the values live in memory
    std::vector<std::unique_ptr<QSettings>> m_fallbacks;  // the sound files read after it, in Qt's order
    QStringList m_groups;
    QStringList m_written;  // full keys changed since the last sync
};

std::unique_ptr<LumoraSettings> openSettings();

// Writes one value into group "G"; on disk when the call returns.
void saveSetting(QString key, QVariant value);
