#include "app/lumoraapplication.h"

// Placeholder until the translations land: English only.
namespace {
QVector<QLocale> g_languages;
}

void LumoraApplication::initializeLanguages()
{
    if (g_languages.isEmpty())
        g_languages.append(QLocale(QLocale::English, QLocale::UnitedStates));
}

int LumoraApplication::loadLanguage()
{
    initializeLanguages();
    return 0;
}

void LumoraApplication::setLanguage(int index)
{
    if (index < 0 || index >= g_languages.size())
        return;
    QLocale::setDefault(g_languages.at(index));
}

QVector<QLocale> LumoraApplication::getLanguages()
{
    return g_languages;
}
