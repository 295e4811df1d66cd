// The language of a start: the real application object, made in a child
// process of this test with the desktop's locale in its environment and an
// empty (or given) settings store, on an X server of the test's own. What
// the child's window and tray menu show is checked against the catalogues.

#include <QAbstractButton>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <cstdio>

#include "app/lumoraapplication.h"
#include "gui/lumoragui.h"
#include "tests/support/sessionservers.h"

namespace {

const char kChildMode[] = "--show-texts";

// The child: the application as main makes it, its window opened; prints
// the texts a user sees on the main page's buttons and in the tray menu.
int showTexts(int argc, char** argv)
{
    LumoraApplication app(argc, argv, nullptr);
    LumoraGUI* window = app.mainWindow();
    int result = 1;
    QTimer::singleShot(0, &app, [&] {
        if (QTest::qWaitForWindowExposed(window, 10000)) {
            for (const char* name : {"toolButton_presentationMode", "toolButton_exit"}) {
                auto* button = window->findChild<QAbstractButton*>(name);
                if (button && button->isVisible())
                    std::printf("window:%s\n", button->text().toUtf8().constData());
            }
            for (QAction* action : window->trayMenu()->actions())
                if (!action->isSeparator())
                    std::printf("menu:%s\n", action->text().toUtf8().constData());
            result = 0;
        }
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    app.exec();
    return result;
}

}  // namespace

class TestFirstLanguage : public QObject
{
    Q_OBJECT
    PrivateXServer x;

private slots:
    void initTestCase() { QVERIFY(x.start()); }

    void startLanguage_data()
    {
        QTest::addColumn<QStringList>("locale");       // the desktop's locale variables
        QTest::addColumn<QVariantMap>("stored");       // settings before the start
        QTest::addColumn<QString>("language");         // the catalogue expected, empty for English
        QTest::addColumn<QString>("storedLocale");     // "QT_locale_name" after the start
        const QVariantMap nothing;
        QTest::newRow("German desktop") << QStringList{"LANG=de_DE.UTF-8"} << nothing << "de_DE" << "de_DE";
        QTest::newRow("Austrian desktop") << QStringList{"LANG=de_AT.UTF-8"} << nothing << "de_DE" << "de_DE";
        QTest::newRow("Slovak desktop") << QStringList{"LANG=sk_SK.UTF-8"} << nothing << "sk_SK" << "sk_SK";
        QTest::newRow("Czech desktop") << QStringList{"LANG=cs_CZ.UTF-8"} << nothing << "cs_CZ" << "cs_CZ";
        QTest::newRow("French desktop") << QStringList{"LANG=fr_FR.UTF-8"} << nothing << "" << "en_US";
        QTest::newRow("no locale") << QStringList{} << nothing << "" << "en_US";
        // Messages follow LC_MESSAGES, and LC_ALL above it.
        QTest::newRow("German messages") << QStringList{"LANG=en_GB.UTF-8", "LC_MESSAGES=de_DE.UTF-8"} << nothing
                                         << "de_DE" << "de_DE";
        QTest::newRow("all in French") << QStringList{"LANG=de_DE.UTF-8", "LC_ALL=fr_FR.UTF-8"} << nothing << ""
                                       << "en_US";
        // A stored choice and an installer's choice win over the desktop.
        QTest::newRow("stored English") << QStringList{"LANG=de_DE.UTF-8"}
                                        << QVariantMap{{"G/QT_locale_name", "en_US"}} << "" << "en_US";
        QTest::newRow("stored German") << QStringList{"LANG=fr_FR.UTF-8"}
                                       << QVariantMap{{"G/QT_locale_name", "de_DE"}} << "de_DE" << "de_DE";
        QTest::newRow("installer English") << QStringList{"LANG=de_DE.UTF-8"}
                                           << QVariantMap{{"INSTALLER_LANG_ID", 1033}} << "" << "en_US";
        QTest::newRow("installer Czech") << QStringList{"LANG=de_DE.UTF-8"}
                                         << QVariantMap{{"INSTALLER_LANG_ID", 1029}} << "cs_CZ" << "cs_CZ";
    }

    void startLanguage()
    {
        QFETCH(QStringList, locale);
        QFETCH(QVariantMap, stored);
        QFETCH(QString, language);
        QFETCH(QString, storedLocale);

        QTemporaryDir home;
        const QString conf = home.path() + "/config/Harnwick/lumora.conf";
        {
            QSettings settings(conf, QSettings::IniFormat);
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                settings.setValue(it.key(), it.value());
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys())
            if (name.startsWith("LC_") || name == "LANG" || name == "LANGUAGE")
                env.remove(name);
        for (const QString& variable : locale)
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        env.insert("HOME", home.path() + "/home");
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("XDG_DATA_HOME", home.path() + "/data");
        env.insert("XDG_RUNTIME_DIR", home.path() + "/run");
        QVERIFY(QDir().mkpath(home.path() + "/run"));
        QFile::setPermissions(home.path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("DISPLAY", QString::fromLatin1(x.display()));
        env.insert("QT_QPA_PLATFORM", "xcb");

        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {kChildMode});
        QVERIFY(child.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(child.readAllStandardError());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(err.right(3000)));
        QStringList window, menu;
        for (const QString& line : QString::fromUtf8(child.readAllStandardOutput()).split('\n')) {
            if (line.startsWith("window:"))
                window << line.mid(7);
            else if (line.startsWith("menu:"))
                menu << line.mid(5);
        }

        QTranslator catalogue;
        if (!language.isEmpty())
            QVERIFY(catalogue.load(":/lumora_" + language + ".qm"));
        auto shown = [&](const char* source) {
            const QString text = catalogue.translate("widget_lumora", source);
            return text.isEmpty() ? QString::fromLatin1(source) : text;
        };
        if (!language.isEmpty())
            QVERIFY(shown("Pause lumora") != "Pause lumora" && shown("Exit lumora") != "Exit lumora");
        QCOMPARE(window, QStringList({shown("Pause lumora"), shown("Exit lumora")}));
        QVERIFY2(menu.contains(shown("Open lumora")), qPrintable(menu.join(" | ")));
        QVERIFY2(menu.contains(shown("Pause lumora")), qPrintable(menu.join(" | ")));
        QCOMPARE(menu.last(), shown("Exit lumora"));

        // The desktop's language stands in for an installer that never ran:
        // it seeds the stored language, but no installer choice is written.
        QSettings after(conf, QSettings::IniFormat);
        QCOMPARE(after.value("G/QT_locale_name").toString(), storedLocale);
        QCOMPARE(after.contains("INSTALLER_LANG_ID"), stored.contains("INSTALLER_LANG_ID"));
        QCOMPARE(after.value("INSTALLER_LANG_ID").toString(), stored.value("INSTALLER_LANG_ID").toString());
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], kChildMode) == 0)
        return showTexts(argc, argv);
    QCoreApplication app(argc, argv);
    TestFirstLanguage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_firstlanguage.moc"
