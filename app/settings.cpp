#include "app/settings.h"

#include <QDebug>

LumoraSettings::LumoraSettings()
    : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Harnwick"),
                QStringLiteral("lumora"))
{
}

LumoraSettings::~LumoraSettings()
{
    sync();
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
    QSettings::sync();
    // A full disk or a folder that cannot be written: the values stay
    // unsaved. Only the log hears of it.
    if (status() == QSettings::AccessError) {
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
