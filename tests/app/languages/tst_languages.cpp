// Language list, start language from the settings store and the switching
// of the two translators.

#include <QTranslator>
#include <QtTest>

#include "app/languages.h"
#include "app/settings.h"

namespace {

QString storedLocale()
{
    return openSettings()->value(QStringLiteral("G/QT_locale_name")).toString();
}

void setInstallerId(int id)
{
    openSettings()->setValue(QStringLiteral("INSTALLER_LANG_ID"), id);
}

}  // namespace

class TestLanguages : public QObject
{
    Q_OBJECT
private slots:
    void init() { openSettings()->remove(QString()); }
    void listIsEnglishCzechGermanSlovak();
    void startLanguage_data();
    void startLanguage();
    void storedLocaleIsNeverOverwritten();
    void switchingKeepsTwoTranslators();
    void indexOutsideTheListIsIgnored();
    void switchActsOnlyWhileItsOwnerLives();
};

void TestLanguages::listIsEnglishCzechGermanSlovak()
{
    languages::initialize();
    languages::initialize();  // a second call changes nothing
    const QVector<QLocale> expected = {QLocale(QLocale::English, QLocale::UnitedStates), QLocale("cs_CZ"),
                                       QLocale("de_DE"), QLocale("sk_SK")};
    QCOMPARE(languages::list(), expected);
    QCOMPARE(languages::files(), QVector<QString>({QString(), ":/lumora_cs_CZ.qm", ":/lumora_de_DE.qm",
                                                   ":/lumora_sk_SK.qm"}));
}

void TestLanguages::startLanguage_data()
{
    QTest::addColumn<int>("installerId");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("storedAfter");
    QTest::addColumn<int>("index");
    QTest::newRow("installer Slovak") << 1051 << QString() << "sk_SK" << 3;
    QTest::newRow("installer German") << 1031 << QString() << "de_DE" << 2;
    QTest::newRow("installer Czech") << 1029 << QString() << "cs_CZ" << 1;
    QTest::newRow("installer English") << 1033 << QString() << "en_US" << 0;
    QTest::newRow("language only") << 1033 << "de" << "de" << 2;
    QTest::newRow("not offered") << 1033 << "fr_FR" << "fr_FR" << 0;
}

void TestLanguages::startLanguage()
{
    QFETCH(int, installerId);
    QFETCH(QString, stored);
    QFETCH(QString, storedAfter);
    QFETCH(int, index);
    setInstallerId(installerId);
    if (!stored.isEmpty())
        saveSetting(QStringLiteral("QT_locale_name"), stored);
    QCOMPARE(languages::startIndex(), index);
    QCOMPARE(storedLocale(), storedAfter);
}

void TestLanguages::storedLocaleIsNeverOverwritten()
{
    saveSetting(QStringLiteral("QT_locale_name"), QStringLiteral("cs_CZ"));
    setInstallerId(1051);
    QCOMPARE(languages::startIndex(), 1);
    QCOMPARE(storedLocale(), QStringLiteral("cs_CZ"));

    // An identifier not in the table writes nothing: the system locale decides.
    openSettings()->remove(QString());
    setInstallerId(1036);
    const int index = languages::startIndex();
    QVERIFY(!openSettings()->value(QStringLiteral("G/QT_locale_name")).isValid());
    const int system = languages::list().lastIndexOf(QLocale(QLocale::system().name()));
    QCOMPARE(index, qMax(0, system));
}

void TestLanguages::switchingKeepsTwoTranslators()
{
    QObject owner;
    QTranslator* app = nullptr;
    QTranslator* qt = nullptr;
    auto translators = [&owner] { return owner.findChildren<QTranslator*>().size(); };

    languages::apply(1, &owner, app, qt);  // Czech
    QVERIFY(app && qt);
    QCOMPARE(translators(), 2);
    QCOMPARE(QLocale().name(), QStringLiteral("cs_CZ"));
    QCOMPARE(QCoreApplication::translate("Model", "blink detected"), QStringLiteral("mrknutí zachyceno"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Zrušit"));

    QPointer<QTranslator> guardApp(app), guardQt(qt);
    languages::apply(2, &owner, app, qt);  // German replaces both
    QVERIFY(guardApp.isNull() && guardQt.isNull());
    QCOMPARE(translators(), 2);
    QCOMPARE(QCoreApplication::translate("Model", "blink detected"), QStringLiteral("Blinzeln erkannt"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));

    languages::apply(3, &owner, app, qt);  // Slovak
    QCOMPARE(translators(), 2);
    QCOMPARE(QCoreApplication::translate("Model", "blink detected"), QStringLiteral("žmurknutie zachytené"));

    languages::apply(0, &owner, app, qt);  // English: no translators
    QVERIFY(!app && !qt);
    QCOMPARE(translators(), 0);
    QCOMPARE(QLocale().name(), QStringLiteral("en_US"));
    QCOMPARE(QCoreApplication::translate("Model", "blink detected"), QStringLiteral("blink detected"));
    languages::apply(0, &owner, app, qt);  // and again: nothing to do
    QCOMPARE(translators(), 0);
}

void TestLanguages::indexOutsideTheListIsIgnored()
{
    QObject owner;
    QTranslator* app = nullptr;
    QTranslator* qt = nullptr;
    languages::apply(2, &owner, app, qt);
    QTranslator* const keptApp = app;
    QTranslator* const keptQt = qt;
    for (int index : {-1, 4, 1000}) {
        languages::apply(index, &owner, app, qt);
        QCOMPARE(app, keptApp);
        QCOMPARE(qt, keptQt);
        QCOMPARE(QLocale().name(), QStringLiteral("de_DE"));
        QCOMPARE(QCoreApplication::translate("Model", "blink detected"), QStringLiteral("Blinzeln erkannt"));
    }
    languages::apply(0, &owner, app, qt);
}

void TestLanguages::switchActsOnlyWhileItsOwnerLives()
{
    languages::initialize();
    const QString english = QStringLiteral("blink detected");
    auto text = [] { return QCoreApplication::translate("Model", "blink detected"); };

    languages::switchTo(2);  // no owner yet
    QCOMPARE(text(), english);
    {
        QObject owner;
        languages::setOwner(&owner);
        languages::switchTo(2);
        QCOMPARE(owner.findChildren<QTranslator*>().size(), 2);
        QCOMPARE(text(), QStringLiteral("Blinzeln erkannt"));
        languages::switchTo(1);  // Czech replaces German
        QCOMPARE(owner.findChildren<QTranslator*>().size(), 2);
        QCOMPARE(text(), QStringLiteral("mrknutí zachyceno"));
    }
    // The translators died with their owner; the switch must not reach them.
    QCOMPARE(text(), english);
    languages::switchTo(3);
    QCOMPARE(text(), english);

    QObject next;
    languages::setOwner(&next);
    languages::switchTo(3);
    QCOMPARE(text(), QStringLiteral("žmurknutie zachytené"));
    languages::switchTo(0);
    QCOMPARE(next.findChildren<QTranslator*>().size(), 0);
    QCOMPARE(text(), english);
}

QTEST_MAIN(TestLanguages)
#include "tst_languages.moc"
