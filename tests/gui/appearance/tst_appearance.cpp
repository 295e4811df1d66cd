// The main window under a real X server: every page renders with the green
// title bar, sizes follow the font, and a language switch at run time
// re-texts all four pages and can be undone.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMap>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>

#include <qcustomplot.h>

#include "app/appfonts.h"
#include "app/languages.h"
#include "gui/lumoragui.h"
#include "pages.h"

namespace {

const QRgb kAccent = qRgb(0x98, 0xC8, 0x00);

// Object name -> visible text of every label and button shown on the page.
QMap<QString, QString> textsOf(QWidget* page)
{
    QMap<QString, QString> texts;
    for (QLabel* l : page->findChildren<QLabel*>())
        if (l->isVisibleTo(page) && !l->text().isEmpty())
            texts.insert(l->objectName(), l->text());
    for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
        if (b->isVisibleTo(page) && !b->text().isEmpty())
            texts.insert(b->objectName(), b->text());
    return texts;
}

int languageIndex(const QString& name)
{
    const QVector<QLocale>& list = languages::list();
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).name() == name)
            return i;
    return -1;
}

}  // namespace

class TestAppearance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        family = appfonts::install();
        QApplication::setFont(QFont(family, 15));
        languages::initialize();
    }

    void pagesRenderWithAccentTitleBar()
    {
        LumoraGUI w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* bar = w.findChild<QWidget*>(QStringLiteral("widget_titleBar"));
        for (const guisheet::Page& page : guisheet::pages()) {
            QVERIFY2(guisheet::open(&w, page), qPrintable(page.name));
            auto* pw = w.findChild<QWidget*>(page.widget);
            QVERIFY2(pw->height() > 50, qPrintable(page.name));
            const QImage shot = w.grab().toImage();

            // The page draws more than a blank panel.
            const QRect area(pw->mapTo(&w, QPoint(0, 0)), pw->size());
            QSet<QRgb> colours;
            for (int y = area.top(); y < area.bottom(); y += 3)
                for (int x = area.left(); x < area.right(); x += 3)
                    colours.insert(shot.pixel(x, y));
            QVERIFY2(colours.size() > 20, qPrintable(page.name));

            // Along the bar, away from its icons, the accent colour dominates.
            const QPoint origin = bar->mapTo(&w, QPoint(0, 0));
            int green = 0;
            for (int x = 0; x < bar->width(); ++x)
                green += shot.pixel(origin.x() + x, origin.y() + 1) == kAccent;
            QVERIFY2(green > bar->width() * 3 / 4, qPrintable(QString::number(green)));
        }
    }

    void sizesFollowTheTitleBarButton()
    {
        int heights[2] = {0, 0};
        const int points[2] = {8, 26};
        for (int i = 0; i < 2; ++i) {
            QApplication::setFont(QFont(family, points[i]));
            LumoraGUI w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QMetaObject::invokeMethod(&w, "adjustGUIelementsSizes");
            const int h = w.findChild<QWidget*>(QStringLiteral("toolButton_titleBarClose"))->sizeHint().height();
            heights[i] = h;
            QCOMPARE(w.findChild<QCustomPlot*>()->minimumHeight(), 8 * h);
            QCOMPARE(w.previewWidth(), h > 24 ? 20 * h : 400);
        }
        QApplication::setFont(QFont(family, 15));
        // Both sides of the preview rule are reached, so the button follows the font.
        QVERIFY2(heights[0] <= 24 && heights[1] > 24,
                 qPrintable(QStringLiteral("%1 %2").arg(heights[0]).arg(heights[1])));
    }

    void germanAtRunTimeAndBack()
    {
        const int german = languageIndex(QStringLiteral("de_DE"));
        QVERIFY(german > 0);
        LumoraGUI w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* position = w.findChild<QAbstractButton*>(QStringLiteral("pushButton_changeBlinkReminderPosition"));
        {
            // Only the look is under test, not the reminder the button drags.
            const QSignalBlocker quiet(position);
            position->setChecked(true);
        }
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(&w, &change);
        const QString positionEnglish = position->text();
        auto* plot = w.findChild<QCustomPlot*>();
        const QString axisEnglish = plot->xAxis->label();
        auto* version = w.findChild<QLabel*>(QStringLiteral("label_version"));
        const QString versionEnglish = version->text();

        QMap<QString, QMap<QString, QString>> english;
        for (const guisheet::Page& page : guisheet::pages())
            english.insert(page.name, textsOf(w.findChild<QWidget*>(page.widget)));

        QSignalSpy spy(&w, &LumoraGUI::languageChanged);
        QTranslator* appTranslator = nullptr;
        QTranslator* qtTranslator = nullptr;
        languages::apply(german, qApp, appTranslator, qtTranslator);
        QTRY_VERIFY(spy.count() >= 1);

        for (const guisheet::Page& page : guisheet::pages()) {
            const QMap<QString, QString> before = english.value(page.name);
            const QMap<QString, QString> now = textsOf(w.findChild<QWidget*>(page.widget));
            int changed = 0;
            for (auto it = before.begin(); it != before.end(); ++it)
                changed += now.value(it.key()) != it.value();
            QVERIFY2(changed >= 3 && changed * 2 > before.size(),
                     qPrintable(QStringLiteral("%1: %2 of %3").arg(page.name).arg(changed).arg(before.size())));
        }
        QVERIFY(plot->xAxis->label() != axisEnglish);
        QVERIFY(version->text() != versionEnglish);
        // The checked position button keeps its save text, now in German.
        QVERIFY(position->text() != positionEnglish);
        QCOMPARE(position->text(), QCoreApplication::translate("LumoraGUI", "SAVE NEW POSITION"));
        // Texts that are never translated stay.
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("label_brightnessValue"))->text(), QStringLiteral("10"));
        QCOMPARE(w.findChild<QWidget*>(QStringLiteral("toolButton_lowColorTemperature"))->toolTip(),
                 QStringLiteral("4500 Kelvin"));

        const int emitted = spy.count();
        languages::apply(0, qApp, appTranslator, qtTranslator);
        QTRY_VERIFY(spy.count() > emitted);
        for (const guisheet::Page& page : guisheet::pages())
            QCOMPARE(textsOf(w.findChild<QWidget*>(page.widget)), english.value(page.name));
        QCOMPARE(plot->xAxis->label(), axisEnglish);
        QCOMPARE(position->text(), positionEnglish);
    }

    // The look follows presentation mode, camera pause and an error in their
    // order of precedence, also while the window sits in the tray.
    void stateLookInTheTray()
    {
        LumoraGUI w;  // never shown
        auto* title = w.findChild<QLabel*>(QStringLiteral("label_titleBarTitle"));
        const auto trigger = [&w](const char* action) {
            w.findChild<QAction*>(QLatin1String(action))->trigger();
        };
        const auto text = [](const char* source) { return QCoreApplication::translate("LumoraGUI", source); };
        const auto sectionsEnabled = [&w]() {
            int enabled = 0;
            for (const char* name : {"widget_automaticBrightness", "widget_blinkTraining", "widget_eyeExercises",
                                     "widget_breaks", "widget_blinkMonitoring"})
                enabled += w.findChild<QWidget*>(QLatin1String(name))->isEnabled();
            return enabled;
        };
        auto* interactive = w.findChild<QWidget*>(QStringLiteral("radioButton_isReminderInteractive"));
        auto* monitoring = w.findChild<QWidget*>(QStringLiteral("toolButton_blinkMonitoringOnOff"));
        const QString normal = title->text();

        trigger("action_pauseLumora");
        QCOMPARE(title->text(), text("lumora - presentation mode"));
        QCOMPARE(sectionsEnabled(), 0);
        trigger("action_resumeLumora");
        QCOMPARE(sectionsEnabled(), 5);
        QCOMPARE(title->text(), normal);

        trigger("action_pauseWebcamUse");
        QCOMPARE(title->text(), text("lumora camera use paused"));
        QVERIFY(!interactive->isEnabled() && !monitoring->isEnabled());
        QCOMPARE(sectionsEnabled(), 5);
        // Presentation mode wins over the camera pause, and then over an error.
        trigger("action_pauseLumora");
        QCOMPARE(title->text(), text("lumora - presentation mode"));
        QMetaObject::invokeMethod(&w, "showModelUnreadable");
        QCOMPARE(w.trayIcon()->toolTip(), text("lumora - presentation mode"));
        // Without it the error shows in the tray; the title keeps the state
        // before the error, not the pause that has ended.
        trigger("action_resumeLumora");
        QCOMPARE(title->text(), text("lumora camera use paused"));
        QCOMPARE(sectionsEnabled(), 5);
        QVERIFY(w.trayIcon()->toolTip().endsWith(text(" insufficient memory RAM or missing data.dat.")));
        trigger("action_resumeWebcamUse");
        QVERIFY(interactive->isEnabled() && monitoring->isEnabled());

        // An error before any state was drawn leaves the program's title.
        LumoraGUI early;
        QMetaObject::invokeMethod(&early, "showModelUnreadable");
        QCOMPARE(early.findChild<QLabel*>(QStringLiteral("label_titleBarTitle"))->text(), text("lumora"));
    }

    // With the camera error showing, a pause that begins and ends leaves
    // the title of the state before it, also after a language switch.
    void titleAfterPauseDuringError()
    {
        const int german = languageIndex(QStringLiteral("de_DE"));
        QVERIFY(german > 0);
        const auto text = [](const char* source) { return QCoreApplication::translate("LumoraGUI", source); };
        LumoraGUI plain;
        LumoraGUI cameraOff;
        auto* plainTitle = plain.findChild<QLabel*>(QStringLiteral("label_titleBarTitle"));
        auto* cameraOffTitle = cameraOff.findChild<QLabel*>(QStringLiteral("label_titleBarTitle"));
        const auto trigger = [](LumoraGUI& w, const char* action) {
            w.findChild<QAction*>(QLatin1String(action))->trigger();
        };
        trigger(cameraOff, "action_pauseWebcamUse");
        for (LumoraGUI* w : {&plain, &cameraOff}) {
            w->showError(CAMERA_OCCUPIED);
            trigger(*w, "action_pauseLumora");
            trigger(*w, "action_resumeLumora");
        }
        QCOMPARE(plainTitle->text(), QStringLiteral("lumora"));
        QCOMPARE(cameraOffTitle->text(), QStringLiteral("lumora camera use paused"));
        QVERIFY(plain.trayIcon()->toolTip().startsWith(text("Error:")));

        QSignalSpy spy(&cameraOff, &LumoraGUI::languageChanged);
        QTranslator* appTranslator = nullptr;
        QTranslator* qtTranslator = nullptr;
        languages::apply(german, qApp, appTranslator, qtTranslator);
        QTRY_VERIFY(spy.count() >= 1);
        const QString germanTitle = cameraOffTitle->text();
        const QString germanPlain = plainTitle->text();
        languages::apply(0, qApp, appTranslator, qtTranslator);
        QTRY_VERIFY(spy.count() >= 2);
        QCOMPARE(germanTitle, QStringLiteral("lumora - Kameranutzung pausiert"));
        QCOMPARE(germanPlain, QStringLiteral("lumora"));
        QCOMPARE(cameraOffTitle->text(), QStringLiteral("lumora camera use paused"));
    }

    // Paused, the language switched on the settings page: back on the main
    // page every button speaks the new language, also those whose text
    // code sets by state, with or without the camera pause.
    void pausedLanguageSwitch()
    {
        const int czech = languageIndex(QStringLiteral("cs_CZ"));
        QVERIFY(czech > 0);
        // The catalogue's text for an English one (form or code), or the
        // English text where the catalogue has none.
        const auto catalogue = [](const QString& english) {
            for (const char* context : {"widget_lumora", "LumoraGUI"}) {
                const QString t = QCoreApplication::translate(context, english.toUtf8().constData());
                if (t != english)
                    return t;
            }
            return english;
        };
        for (const bool cameraPaused : {false, true}) {
            LumoraGUI w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            const auto trigger = [&w](const char* action) {
                w.findChild<QAction*>(QLatin1String(action))->trigger();
            };
            if (cameraPaused)
                trigger("action_pauseWebcamUse");
            trigger("action_pauseLumora");
            auto* main = w.findChild<QWidget*>(QStringLiteral("widget_mainPage"));
            QMap<QAbstractButton*, QPair<QString, QString>> english;
            for (QAbstractButton* b : main->findChildren<QAbstractButton*>())
                if (b->isVisibleTo(main))
                    english.insert(b, {b->text(), b->toolTip()});

            w.findChild<QAbstractButton*>(QStringLiteral("toolButton_titleBarSettings"))->click();
            QSignalSpy spy(&w, &LumoraGUI::languageChanged);
            QTranslator* appTranslator = nullptr;
            QTranslator* qtTranslator = nullptr;
            languages::apply(czech, qApp, appTranslator, qtTranslator);
            QTRY_VERIFY(spy.count() >= 1);
            w.findChild<QAbstractButton*>(QStringLiteral("toolButton_titleBarBack"))->click();

            int translated = 0;
            QStringList wrong;
            for (auto it = english.begin(); it != english.end(); ++it) {
                for (const auto& [now, before] : {std::make_pair(it.key()->text(), it.value().first),
                                                  std::make_pair(it.key()->toolTip(), it.value().second)}) {
                    const QString expected = catalogue(before);
                    translated += expected != before;
                    if (now != expected)
                        wrong << QStringLiteral("%1: \"%2\" for \"%3\"").arg(it.key()->objectName(), now, expected);
                }
            }
            languages::apply(0, qApp, appTranslator, qtTranslator);
            QTRY_VERIFY(spy.count() >= 2);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
            QVERIFY2(translated >= 6, qPrintable(QString::number(translated)));
        }
    }

private:
    QString family;
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
