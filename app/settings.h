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
class LumoraSettings : public QSettings
{
public:
    LumoraSettings();
    ~LumoraSettings() override;

    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void sync();

private:
    QStringList m_written;  // full keys changed since the last sync
};

std::unique_ptr<LumoraSettings> openSettings();

// Writes one value into group "G"; on disk when the call returns.
void saveSetting(QString key, QVariant value);
