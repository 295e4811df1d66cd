// The reminder pop-ups of the main window on an X server of the test's own
// with a real window manager (openbox): another program keeps the keyboard
// focus while they appear and hide, they show where the user put them, the
// user drags them with the pointer (xdotool), their answers reach the
// scheduler's side once, nothing of theirs runs once hidden, and in every
// language they lie wholly on the screen.

#include "app/appfonts.h"
#include "app/languages.h"
#include "app/settings.h"
#include "gui/blinkreminderwidget.h"
#include "gui/breakreminderwidget.h"
#include "gui/exercisereminderwidget.h"
#include "gui/lumoragui.h"
#include "tests/support/sessionservers.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMovie>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSound>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <cstdio>

namespace {

constexpr int kSettleMs = 400;
const QPoint kAside(600, 460);  // where the pointer rests, touching nothing
const QPoint kCorner(1, 1);     // where it rests while pop-ups fill the bottom-right corner

QPoint stored(const char* keyX, const char* keyY)
{
    auto settings = openSettings();
    return QPoint(settings->value(QString("G/") + keyX, -1).toInt(), settings->value(QString("G/") + keyY, -1).toInt());
}

void store(const char* keyX, const char* keyY, QPoint p)
{
    if (p == QPoint(-1, -1)) {
        openSettings()->remove(QString("G/") + keyX);
        openSettings()->remove(QString("G/") + keyY);
    } else {
        saveSetting(keyX, p.x());
        saveSetting(keyY, p.y());
    }
}

// The scheduler's requests, as they reach the window.
void request(LumoraGUI& gui, const QString& kind, bool show)
{
    if (kind == "break")
        show ? gui.showBreakReminder() : gui.hideBreakReminder();
    else if (kind == "exercise")
        show ? gui.showExercise() : gui.hideExerciseReminder();
    else
        show ? gui.showReminder() : gui.responceToBlink();
}

// Where a pop-up meant for rect shows: moved by the least distance that
// brings it wholly onto the screen.
QRect ontoScreen(const QRect& rect)
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    return QRect(QPoint(qBound(0, rect.x(), screen.width() - rect.width()),
                        qBound(0, rect.y(), screen.height() - rect.height())),
                 rect.size());
}

QWidget* popupOf(const LumoraGUI& gui, const QString& kind)
{
    if (kind == "break")
        return gui.findChild<BreakReminderWidget*>();
    if (kind == "exercise")
        return gui.findChild<ExerciseReminderWidget*>();
    return gui.findChild<BlinkReminderWidget*>();
}

// The program's translators for one language, installed as the language box
// installs them, and English again at the end.
class Language
{
public:
    explicit Language(int index)
    {
        languages::initialize();
        languages::apply(index, &m_owner, m_app, m_qt);
    }
    ~Language() { languages::apply(0, &m_owner, m_app, m_qt); }

private:
    QObject m_owner;
    QTranslator* m_app = nullptr;
    QTranslator* m_qt = nullptr;
};

// Runs this program again as another application holding the keyboard focus.
int runFocusHolder(char** argv)
{
    int argc = 1;
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.setGeometry(20, 20, 200, 40);
    edit.show();
    std::printf("%llu\n", static_cast<unsigned long long>(edit.winId()));
    std::fflush(stdout);
    return app.exec();
}

}  // namespace

class TestPopups : public QObject
{
    Q_OBJECT
public:
    explicit TestPopups(PrivateXServer* server) : m_server(server) {}

private:
    PrivateXServer* m_server;
    QProcess m_wm, m_holder;
    quint64 m_holderWindow = 0;

    void xdotool(const QStringList& args) { QVERIFY(m_server->run("xdotool", args)); }
    void pointerTo(QPoint p) { xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())}); }

    QByteArray xdotoolOutput(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_server->display());
        p.setProcessEnvironment(env);
        p.start("xdotool", args);
        p.waitForFinished(10000);
        return p.readAllStandardOutput().trimmed();
    }

    // The window xdotool names ("getwindowfocus", "getactivewindow").
    quint64 window(const char* command) { return xdotoolOutput({command}).toULongLong(); }

    // Where the X server has put a window, in root coordinates.
    QRect xGeometry(const QWidget* w)
    {
        QMap<QByteArray, int> values;
        for (const QByteArray& line : xdotoolOutput({"getwindowgeometry", "--shell", QString::number(w->winId())}).split('\n')) {
            const int eq = line.indexOf('=');
            values[line.left(eq)] = line.mid(eq + 1).toInt();
        }
        return QRect(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
    }
    quint64 focusWindow() { return window("getwindowfocus"); }
    quint64 activeWindow() { return window("getactivewindow"); }

    void verifyHolderFocused()
    {
        QCOMPARE(focusWindow(), m_holderWindow);
        QCOMPARE(activeWindow(), m_holderWindow);
    }

    // Black (a pop-up) just inside the middle of each edge of the rectangle,
    // white (the root window) just outside, as the X server shows it.
    void verifyOnScreenAt(const QRect& r)
    {
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        QVERIFY2(screen.rect().contains(r), qPrintable(QString("%1,%2 %3x%4 is not wholly on the screen")
                                                            .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())));
        const QPoint c = r.center();
        const QPoint edges[] = {{r.left(), c.y()}, {r.right(), c.y()}, {c.x(), r.top()}, {c.x(), r.bottom()}};
        const QPoint outward[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
        for (int i = 0; i < 4; ++i) {
            const QPoint in = edges[i] - outward[i], out = edges[i] + outward[i] * 3;
            QVERIFY2(qGray(screen.pixel(in)) < 40, qPrintable(QString("no pop-up at %1,%2").arg(in.x()).arg(in.y())));
            if (screen.rect().contains(out))
                QVERIFY2(qGray(screen.pixel(out)) > 200, qPrintable(QString("pop-up at %1,%2").arg(out.x()).arg(out.y())));
        }
    }

    // Shown, and the X server's answers to its placing have arrived.
    static void waitShown(QWidget* popup)
    {
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        QTest::qWait(kSettleMs);
    }

    static void verifyNothingRuns(const QWidget* popup)
    {
        for (const QTimer* t : popup->findChildren<QTimer*>())
            QVERIFY(!t->isActive());
        for (const QAbstractAnimation* a : popup->findChildren<QAbstractAnimation*>())
            QCOMPARE(a->state(), QAbstractAnimation::Stopped);
        for (const QMovie* m : popup->findChildren<QMovie*>())
            QVERIFY(m->state() != QMovie::Running);
        for (const QSound* s : popup->findChildren<QSound*>())
            QVERIFY(s->isFinished());
    }

    // Presses at `grab` (screen coordinates), moves by `by`, releases when asked.
    void drag(QPoint grab, QPoint by, bool release = true)
    {
        pointerTo(grab);
        xdotool({"mousedown", "1"});
        for (int step = 1; step <= 4; ++step) {
            pointerTo(grab + by * step / 4);
            QTest::qWait(50);
        }
        if (release)
            xdotool({"mouseup", "1"});
        QTest::qWait(kSettleMs);
    }

    void click(QWidget* button)
    {
        pointerTo(button->mapToGlobal(button->rect().center()));
        xdotool({"click", "1"});
    }

    void focusHolder()
    {
        if (focusWindow() != m_holderWindow)
            xdotool({"windowactivate", "--sync", QString::number(m_holderWindow)});
        QTRY_COMPARE(focusWindow(), m_holderWindow);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server->run("xsetroot", {"-solid", "white"}));
        m_wm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_wm.start("openbox", {"--sm-disable"});
        QVERIFY(m_wm.waitForStarted(5000));
        QVERIFY(m_server->waitForWindowManager());
        m_holder.start(QCoreApplication::applicationFilePath(), {"--focus-holder"});
        QVERIFY(m_holder.waitForReadyRead(10000));
        m_holderWindow = m_holder.readLine().trimmed().toULongLong();
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), m_holderWindow, 10000);
    }

    // Each case starts with the other program in front, as the user left it,
    // and with no pop-up place stored.
    void init()
    {
        focusHolder();
        pointerTo(kAside);
        for (const char* key : {"BRPX", "BRPY", "ERPX", "ERPY", "RPX", "RPY"})
            openSettings()->remove(QString("G/") + key);
    }

    void cleanupTestCase()
    {
        m_holder.kill();
        m_holder.waitForFinished(3000);
        m_wm.terminate();
        m_wm.waitForFinished(3000);
    }

    void appearsAtItsPlaceWithoutTakingFocus_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QPoint>("saved");    // (-1, -1): nothing stored
        QTest::addColumn<QPoint>("shownAt");  // top-left; the blink reminder's right edge and top
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        const QPoint none(-1, -1), gone(screen.width() + 900, screen.height() + 500);  // monitor unplugged
        const QPoint breakCorner(-2, -2);  // bottom-right, 100 pixels up, at the size it shows with
        QTest::newRow("break saved") << "break" << QPoint(30, 150) << QPoint(30, 150);
        QTest::newRow("break first run") << "break" << none << QPoint(screen.width() - 481, screen.height() - 268);
        QTest::newRow("break off-screen") << "break" << gone << breakCorner;
        QTest::newRow("exercise saved") << "exercise" << QPoint(40, 90) << QPoint(40, 90);
        QTest::newRow("exercise off-screen") << "exercise" << -gone << QPoint(screen.width() / 2, screen.height() / 2);
        QTest::newRow("blink saved") << "blink" << QPoint(500, 300) << QPoint(500, 300);
        QTest::newRow("blink first run") << "blink" << none << QPoint(screen.width(), 200);
        QTest::newRow("blink off-screen") << "blink" << gone << QPoint(screen.width(), 200);
    }
    void appearsAtItsPlaceWithoutTakingFocus()
    {
        QFETCH(QString, kind);
        QFETCH(QPoint, saved);
        QFETCH(QPoint, shownAt);
        const QByteArray keyX = kind == "break" ? "BRPX" : kind == "exercise" ? "ERPX" : "RPX";
        const QByteArray keyY = keyX.left(keyX.size() - 1) + "Y";
        store(keyX, keyY, saved);
        LumoraGUI gui;
        QWidget* popup = popupOf(gui, kind);
        request(gui, kind, true);
        waitShown(popup);
        const QSize size = popup->size();
        if (shownAt == QPoint(-2, -2)) {
            const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
            shownAt = QPoint(screen.width() - size.width(), screen.height() - size.height() - 100);
        }
        verifyOnScreenAt(ontoScreen(QRect(kind == "blink" ? shownAt - QPoint(size.width(), 0) : shownAt, size)));
        verifyHolderFocused();

        request(gui, kind, false);
        QTest::qWait(kSettleMs);
        QVERIFY(!popup->isVisible());
        verifyHolderFocused();
        verifyNothingRuns(popup);
        QCOMPARE(stored(keyX, keyY), saved);  // a corrected place lives in memory only
    }

    // In every language each pop-up, at its default place, at a saved place
    // partly off the right and bottom edges and at a saved place on the
    // screen, shows wholly on the screen, moved by no more than that takes;
    // the stored place stays as it was. The break pop-up also after a snooze.
    void whollyOnScreenInEveryLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("kind");
        languages::initialize();
        for (int i = 0; i < languages::list().size(); ++i)
            for (const char* kind : {"break", "exercise", "blink"})
                QTest::newRow(qPrintable(languages::list().at(i).name() + " " + kind)) << i << QString(kind);
    }
    void whollyOnScreenInEveryLanguage()
    {
        QFETCH(int, language);
        QFETCH(QString, kind);
        QCOMPARE(languages::list().size(), 4);  // English, Slovak, German, Czech
        const Language translators(language);
        QCOMPARE(QCoreApplication::translate("BreakReminderWidget", "SKIP") != "SKIP", language > 0);

        const QByteArray keyX = kind == "break" ? "BRPX" : kind == "exercise" ? "ERPX" : "RPX";
        const QByteArray keyY = keyX.left(keyX.size() - 1) + "Y";
        const bool rightEdge = kind == "blink";  // its place is its right edge and top
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        const QPoint none(-1, -1), inside(rightEdge ? screen.width() - 7 : 7, 100);  // below the other program
        const QPoint partlyOff(rightEdge ? screen.width() + 120 : screen.width() - 120, screen.height() - 40);
        const QPoint byDefault = kind == "break"      ? QPoint(screen.width() - 481, screen.height() - 168 - 100)
                                 : kind == "exercise" ? QPoint(screen.width() / 2, screen.height() / 2)
                                                      : QPoint(screen.width(), 200);
        for (const QPoint& saved : {none, partlyOff, inside}) {
            store(keyX, keyY, saved);
            LumoraGUI gui;
            QWidget* popup = popupOf(gui, kind);
            pointerTo(kCorner);
            request(gui, kind, true);
            waitShown(popup);
            const QSize size = popup->size();
            const QPoint place = saved == none ? byDefault : saved;
            const QRect meant(rightEdge ? place - QPoint(size.width(), 0) : place, size);
            const QRect expected = ontoScreen(meant);
            if (saved == inside)
                QCOMPARE(expected, meant);  // that place really is on the screen: it is kept exactly
            QCOMPARE(xGeometry(popup), expected);
            verifyOnScreenAt(expected);

            if (kind == "break") {  // within reach: snoozed by a click, it comes back where it was
                click(popup->findChild<QPushButton*>("pushButton_snooze"));
                QTRY_VERIFY(!popup->isVisible());
                QTest::qWait(kSettleMs);
                pointerTo(kCorner);
                request(gui, kind, true);
                waitShown(popup);
                QCOMPARE(xGeometry(popup), expected);
                verifyOnScreenAt(expected);
            }
            request(gui, kind, false);
            QCOMPARE(stored(keyX, keyY), saved);
        }
    }

    void dragStoresTheNewPlace_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("break") << "break";
        QTest::newRow("exercise") << "exercise";
    }
    void dragStoresTheNewPlace()
    {
        QFETCH(QString, kind);
        const char* keyX = kind == "break" ? "BRPX" : "ERPX";
        const char* keyY = kind == "break" ? "BRPY" : "ERPY";
        store(keyX, keyY, {20, 30});
        QSize size;
        {
            LumoraGUI gui;
            request(gui, kind, true);
            waitShown(popupOf(gui, kind));
            size = popupOf(gui, kind)->size();
            drag({20 + 12, 30 + 40}, {100, 60});
            QCOMPARE(stored(keyX, keyY), QPoint(120, 90));
            verifyOnScreenAt(QRect({120, 90}, size));
            verifyHolderFocused();
        }
        // After a restart it shows where it was left.
        LumoraGUI gui;
        request(gui, kind, true);
        waitShown(popupOf(gui, kind));
        verifyOnScreenAt(QRect({120, 90}, size));
    }

    // The ten seconds end while the user still holds the exercise after moving it.
    void exerciseEndingMidDragKeepsThePlace()
    {
        store("ERPX", "ERPY", {40, 60});
        LumoraGUI gui;
        gui.showExercise();
        waitShown(popupOf(gui, "exercise"));
        drag({40 + 12, 60 + 40}, {72, 48}, false);
        gui.hideExerciseReminder();
        xdotool({"mouseup", "1"});
        QCOMPARE(stored("ERPX", "ERPY"), QPoint(112, 108));
    }

    // The main page's button drives the position-change mode.
    void blinkReminderMovesOnlyInPositionChangeMode()
    {
        store("RPX", "RPY", {400, 100});
        LumoraGUI gui;
        auto* reminder = gui.findChild<BlinkReminderWidget*>();
        auto* button = gui.findChild<QPushButton*>("pushButton_changeBlinkReminderPosition");
        const QString buttonText = button->text();
        button->setChecked(true);
        waitShown(reminder);
        QVERIFY(button->text() != buttonText);
        const QSize size = reminder->size();
        // Entering and leaving the mode without a drag writes nothing.
        store("RPX", "RPY", {-1, -1});
        button->setChecked(false);
        QCOMPARE(button->text(), buttonText);
        QCOMPARE(stored("RPX", "RPY"), QPoint(-1, -1));
        QVERIFY(!reminder->isVisible());

        button->setChecked(true);
        waitShown(reminder);
        verifyOnScreenAt(QRect(400 - size.width(), 100, size.width(), size.height()));
        gui.showReminder();  // reminders meanwhile change nothing
        gui.responceToBlink();
        drag({400 - size.width() + 10, 110}, {150, 120});  // the pointer is on it: it stays
        QVERIFY(reminder->isVisible());
        button->setChecked(false);
        QVERIFY(!reminder->isVisible());
        QCOMPARE(stored("RPX", "RPY"), QPoint(550, 220));
        verifyNothingRuns(reminder);

        // After a restart it shows at the new place.
        LumoraGUI restarted;
        pointerTo(kAside);
        restarted.showReminder();
        waitShown(popupOf(restarted, "blink"));
        verifyOnScreenAt(QRect(550 - size.width(), 220, size.width(), size.height()));
        verifyHolderFocused();
    }

    // A pop-up dropped partly off the screen stays where the user put it
    // while it is dragged and that place is stored; it shows wholly on the
    // screen, the stored place unchanged.
    void droppedPartlyOffShowsOnScreen_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("break") << "break";
        QTest::newRow("blink") << "blink";  // placed in position-change mode
    }
    void droppedPartlyOffShowsOnScreen()
    {
        QFETCH(QString, kind);
        const bool blink = kind == "blink";
        const char* keyX = blink ? "RPX" : "BRPX";
        const char* keyY = blink ? "RPY" : "BRPY";
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        store(keyX, keyY, {blink ? 400 : 20, 30});
        LumoraGUI gui;
        QWidget* popup = popupOf(gui, kind);
        auto* button = gui.findChild<QPushButton*>("pushButton_changeBlinkReminderPosition");
        blink ? button->setChecked(true) : gui.showBreakReminder();
        waitShown(popup);
        const QSize size = popup->size();
        const QPoint grab = popup->pos() + QPoint(12, 40);
        drag(grab, QPoint(screen.width() - 5, screen.height() - 5) - grab);
        const QRect dropped = xGeometry(popup);
        QVERIFY2(dropped.right() >= screen.width() && dropped.bottom() >= screen.height(), "not dropped partly off");
        const QPoint place = blink ? QPoint(dropped.x() + size.width(), dropped.y()) : dropped.topLeft();
        if (blink)
            button->setChecked(false);
        else
            gui.hideBreakReminder();
        QCOMPARE(stored(keyX, keyY), place);

        pointerTo(kCorner);
        blink ? gui.showReminder() : gui.showBreakReminder();
        waitShown(popup);
        const QRect shown(screen.width() - size.width(), screen.height() - size.height(), size.width(), size.height());
        QCOMPARE(xGeometry(popup), shown);
        verifyOnScreenAt(shown);
        request(gui, kind, false);
        QCOMPARE(stored(keyX, keyY), place);
    }

    // The window forwards each answer to the scheduler once.
    void windowAnswersTheScheduler()
    {
        LumoraGUI gui;
        QSignalSpy skipped(&gui, &LumoraGUI::skipBreakClicked);
        QSignalSpy snoozed(&gui, &LumoraGUI::snoozeBreakClicked);
        QSignalSpy exercised(&gui, &LumoraGUI::exerciseFinished);
        QSignalSpy byMouse(&gui, &LumoraGUI::hideBlinkReminderByMouseRequested);
        QWidget* breakPopup = popupOf(gui, "break");
        const QPoint breakPlace = stored("BRPX", "BRPY");
        for (const char* name : {"pushButton_skip", "pushButton_snooze"}) {
            gui.show();
            QVERIFY(QTest::qWaitForWindowActive(&gui));
            const quint64 focused = focusWindow();
            gui.showBreakReminder();
            waitShown(breakPopup);
            QCOMPARE(focusWindow(), focused);
            click(breakPopup->findChild<QPushButton*>(name));
            QTRY_VERIFY(!breakPopup->isVisible());
            QVERIFY(!gui.isVisible());  // the buttons hide the window too
            QTest::qWait(kSettleMs);
        }
        QCOMPARE(skipped.count(), 1);
        QCOMPARE(snoozed.count(), 1);
        QCOMPARE(stored("BRPX", "BRPY"), breakPlace);  // a button click is no drag
        focusHolder();
        pointerTo(kAside);

        gui.showExercise();
        waitShown(popupOf(gui, "exercise"));
        gui.hideExerciseReminder();  // the scheduler ends it
        gui.hideExerciseReminder();
        QCOMPARE(exercised.count(), 1);

        // The sound loops only while the sound box is checked.
        auto* reminder = gui.findChild<BlinkReminderWidget*>();
        auto* soundBox = gui.findChild<QCheckBox*>("checkBox_enableSound");
        soundBox->setChecked(false);
        gui.showReminder();
        waitShown(reminder);
        QVERIFY(reminder->sound()->isFinished());
        gui.responceToBlink();  // the user blinked
        QVERIFY(!reminder->isVisible());
        QTest::qWait(kSettleMs);

        soundBox->setChecked(true);
        gui.showReminder();
        gui.showReminder();  // already shown: no second start, no move
        waitShown(reminder);
        QVERIFY(!reminder->sound()->isFinished());
        QCOMPARE(reminder->sound()->loops(), int(QSound::Infinite));
        QCOMPARE(reminder->movie()->state(), QMovie::Running);
        pointerTo(reminder->geometry().center());
        QTRY_VERIFY(!reminder->isVisible());
        QTest::qWait(kSettleMs);
        QCOMPARE(byMouse.count(), 1);
        verifyNothingRuns(reminder);
        verifyHolderFocused();
        pointerTo(kAside);

        // Once the window closes, requests show nothing.
        gui.close();
        gui.showReminder();
        gui.showBreakReminder();
        gui.showExercise();
        for (const char* kind : {"blink", "break", "exercise"})
            QVERIFY(!popupOf(gui, kind)->isVisible());
    }

    void exercisesTakeTurnsAndEndOnce()
    {
        LumoraGUI gui;
        auto* popup = gui.findChild<ExerciseReminderWidget*>();
        QSignalSpy finished(popup, &ExerciseReminderWidget::exerciseFinished);
        popup->stop();  // nothing runs yet
        QCOMPARE(finished.count(), 0);
        QStringList shown;
        for (int i = 0; i < 5; ++i) {
            popup->fadeIn();
            waitShown(popup);
            shown << popup->findChild<QLabel*>("label_text")->text();
            if (i == 2)
                click(popup->findChild<QPushButton*>("pushButton_skip"));
            else
                popup->stop();
            QTRY_COMPARE(finished.count(), i + 1);
            QVERIFY(!popup->isVisible());
            verifyNothingRuns(popup);
            pointerTo(kAside);
            QTest::qWait(kSettleMs);  // exercise breaks are minutes apart
        }
        QCOMPARE(QSet<QString>(shown.begin(), shown.begin() + 4).size(), 4);
        QCOMPARE(shown[4], shown[0]);
    }

    void languageChangeRetranslatesInPlace()
    {
        store("RPX", "RPY", {600, 300});
        store("ERPX", "ERPY", {10, 100});  // above the blink reminder
        LumoraGUI gui;
        auto* reminder = gui.findChild<BlinkReminderWidget*>();
        auto* exerciseText = gui.findChild<ExerciseReminderWidget*>()->findChild<QLabel*>("label_text");
        gui.showReminder();
        gui.showExercise();
        waitShown(reminder);
        const QString before = exerciseText->text();
        const int width = reminder->width();

        QTranslator german;
        QVERIFY(german.load(":/lumora_de_DE.qm"));
        QCoreApplication::installTranslator(&german);
        QTest::qWait(kSettleMs);
        QVERIFY(exerciseText->text() != before);
        QVERIFY(reminder->width() != width);
        verifyOnScreenAt(QRect(600 - reminder->width(), 300, reminder->width(), reminder->height()));
        QCoreApplication::removeTranslator(&german);
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--focus-holder") == 0)
        return runFocusHolder(argv);
    // "--screen WIDTHxHEIGHT" before the test's own arguments: a screen of
    // that size instead of the small default one.
    QString screen = QStringLiteral("640x480x24");
    if (argc > 2 && qstrcmp(argv[1], "--screen") == 0) {
        screen = QString::fromLatin1(argv[2]) + QStringLiteral("x24");
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    PrivateXServer server;
    if (!server.start(screen)) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    qputenv("DISPLAY", server.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    app.setFont(QFont(appfonts::install(), 15));  // the program's own font, as it sets it
    TestPopups test(&server);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_popups.moc"
