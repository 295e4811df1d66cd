#include "app/appfonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace appfonts {

QString install()
{
    QString family = QStringLiteral("Roboto");
    QFontDatabase::addApplicationFont(QStringLiteral(":/font/Roboto-Medium.ttf"));
    QFontDatabase::addApplicationFont(QStringLiteral(":/font/Roboto-Bold.ttf"));
    const int regular = QFontDatabase::addApplicationFont(QStringLiteral(":/font/Roboto-Regular.ttf"));
    if (regular != -1) {
        const QStringList families = QFontDatabase::applicationFontFamilies(regular);
        if (!families.isEmpty())
            family = families.first();
    }
    return family;
}

}  // namespace appfonts
