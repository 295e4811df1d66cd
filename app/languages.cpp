#include "app/languages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QPointer>
#include <QTranslator>

#include "core/loggedvalue.h"
#include "app/settings.h"

namespace languages {
namespace {

QVector<QLocale> g_languages;
QVector<QString> g_files;

// The process's translators, children of their owner.
QPointer<QObject> g_owner;
QTranslator* g_appTranslator = nullptr;
QTranslator* g_qtTranslator = nullptr;

// Installer language identifiers (Windows language ids) and their locales.
QString installerLocale(int id)
{
    switch (id) {
    case 1033:
        return QStringLiteral("en_US");
    case 1051:
        return QStringLiteral("sk_SK");
    case 1031:
        return QStringLiteral("de_DE");
    case 1029:
        return QStringLiteral("cs_CZ");
    default:
        return QString();
    }
}

// This platform has no installer: where none has left its choice, the
// desktop's language stands for it, when it is one of ours, otherwise
// English. The language of messages decides (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG, as for other programs' messages); any country counts, so de_AT is
// German.
QString desktopLocale()
{
    const QLocale desktop(QLocale::system().uiLanguages().value(0, QLocale::system().name()));
    switch (desktop.language()) {
    case QLocale::Slovak:
        return installerLocale(1051);
    case QLocale::German:
        return installerLocale(1031);
    case QLocale::Czech:
        return installerLocale(1029);
    default:
        return installerLocale(1033);
    }
}

void removeTranslator(QTranslator*& translator)
{
    if (!translator)
        return;
    QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
}

// A new translator of path, installed; null when the file does not load.
QTranslator* installTranslator(const QString& path, QObject* owner)
{
    auto* translator = new QTranslator(owner);
    if (translator->load(path)) {
        QCoreApplication::installTranslator(translator);
        return translator;
    }
    delete translator;
    return nullptr;
}

}  // namespace

void initialize()
{
    if (!g_languages.isEmpty())
        return;
    g_languages.append(QLocale(QLocale::English, QLocale::UnitedStates));
    g_files.append(QString());
    const QStringList names = QDir(QStringLiteral(":/"), QStringLiteral("lumora_*.qm")).entryList(QDir::Files);
    for (const QString& name : names) {
        const QString path = QStringLiteral(":/") + name;
        QTranslator probe;
        if (!probe.load(path))
            continue;
        QString localeName = name.left(name.lastIndexOf(QLatin1Char('.')));
        localeName.remove(0, localeName.indexOf(QLatin1Char('_')) + 1);
        g_files.append(path);
        g_languages.append(QLocale(localeName));
    }
}

const QVector<QLocale>& list()
{
    return g_languages;
}

const QVector<QString>& files()
{
    return g_files;
}

int startIndex()
{
    initialize();
    auto settings = openSettings();
    const QVariant installerId = settings->value(QStringLiteral("INSTALLER_LANG_ID"));
    settings->beginGroup(QStringLiteral("G"));
    if (settings->value(QStringLiteral("QT_locale_name"), QString()).toString().isEmpty()) {
        const QString fromInstaller = installerId.isValid() ? installerLocale(installerId.toInt()) : desktopLocale();
        if (!fromInstaller.isEmpty()) {
            settings->setValue(QStringLiteral("QT_locale_name"), fromInstaller);
            settings->sync();
        }
    }
    const QString name = settings->value(QStringLiteral("QT_locale_name"), QLocale::system().name()).toString();
    settings->endGroup();
    qDebug() << "AP: " "locale " << loggedValue(name);

    const QLocale wanted(name);
    for (int i = g_languages.size() - 1; i >= 0; --i)
        if (g_languages.at(i) == wanted)
            return i;
    return 0;
}

void apply(int index, QObject* owner, QTranslator*& appTranslator, QTranslator*& qtTranslator)
{
    // A cleared language box sends -1: there is no such language.
    if (index < 0 || index >= g_languages.size())
        return;
    const QLocale locale = g_languages.at(index);
    QLocale::setDefault(locale);

    if (index < 1) {
        if (appTranslator) {
            removeTranslator(appTranslator);
            qDebug() << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << "AP: removing translator";
        }
        removeTranslator(qtTranslator);
        return;
    }

    removeTranslator(qtTranslator);
    const QString qtPath = QStringLiteral(":/qtbase_") + locale.name() + QStringLiteral(".qm");
    qDebug() << "AP: qt translation path" << qtPath;
    qtTranslator = installTranslator(qtPath, owner);

    removeTranslator(appTranslator);
    appTranslator = installTranslator(g_files.at(index), owner);
    qDebug() << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << "AP: installing translator";
}

void setOwner(QObject* owner)
{
    g_owner = owner;
    // The translators of an earlier owner died with it.
    g_appTranslator = nullptr;
    g_qtTranslator = nullptr;
}

void switchTo(int index)
{
    if (g_owner)
        apply(index, g_owner, g_appTranslator, g_qtTranslator);
}

}  // namespace languages
