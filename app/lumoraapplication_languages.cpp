#include "app/lumoraapplication.h"

// The application object's language operations, built on the process's
// language switch in app/languages.

#include "app/languages.h"

void LumoraApplication::initializeLanguages()
{
    languages::initialize();
}

int LumoraApplication::loadLanguage()
{
    return languages::startIndex();
}

void LumoraApplication::setLanguage(int index)
{
    languages::switchTo(index);
}

QVector<QLocale> LumoraApplication::getLanguages()
{
    return languages::list();
}
