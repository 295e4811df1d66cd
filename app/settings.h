#pragma once
// The one place that opens the settings store (organisation "Harnwick",
// application "lumora", the platform's native format).

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

// The settings store as the program opens it. It remembers the keys written
// through it; when a sync (or the closing of the store) cannot write them,
// each lost key gets a warning in the log. The user is not told.
//
// A store file that cannot be read (Qt runs out of memory on a damaged
// value, or something other than a regular file lies there) is kept aside
// whole before anything reads or writes it, with one warning in the log;
// the program goes on with the defaults.
class LumoraSettings : public QSettings
{
public:
    LumoraSettings();
    ~LumoraSettings() override;

    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void sync();

private:
    // Checks the store file before the base class opens it.
    static QSettings::Format checkedFormat();

    QStringList m_written;  // full keys changed since the last sync
};

std::unique_ptr<LumoraSettings> openSettings();

// Writes one value into group "G"; on disk when the call returns.
void saveSetting(QString key, QVariant value);
