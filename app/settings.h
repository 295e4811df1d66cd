#pragma once
// The one place that opens the settings store (organisation "Harnwick",
// application "lumora", the platform's native format).

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

std::unique_ptr<QSettings> openSettings();

// Writes one value into group "G"; on disk when the call returns.
void saveSetting(QString key, QVariant value);
