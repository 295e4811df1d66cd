#include "app/settings.h"

std::unique_ptr<QSettings> openSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Harnwick"), QStringLiteral("lumora"));
}

void saveSetting(QString key, QVariant value)
{
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("G"));
    settings->setValue(key, value);
    settings->endGroup();
}
