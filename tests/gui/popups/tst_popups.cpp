// The reminder pop-ups on an X server of the test's own with a real window
// manager (openbox): another program keeps the keyboard focus while they
// appear and hide, they show where the user put them, the user drags them
// with the pointer (xdotool), and nothing of theirs runs once hidden.

#include "app/platform/xconnection.h"
#include "app/settings.h"
#include "gui/blinkreminderwidget.h"
#include "gui/breakreminderwidget.h"
#include "gui/exercisereminderwidget.h"
#include "gui/lumoragui.h"
#include "testservers.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSound>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace {

constexpr int kSettleMs = 400;
// Stands for the break pop-up's default: the primary screen's bottom-right
// corner, 100 pixels up, computed with the pop-up's size when it shows.
const QPoint kBreakCorner(-2, -2);

struct Kind
{
    QString keyX, keyY;
    bool rightEdge;  // the blink reminder stores its right edge, not its left
};
const Kind kBreak{"BRPX", "BRPY", false};
const Kind kExercise{"ERPX", "ERPY", false};
const Kind kBlink{"RPX", "RPY", true};

const Kind* kindNamed(const QString& name)
{
    return name == "break" ? &kBreak : name == "exercise" ? &kExercise : &kBlink;
}

QVariant stored(const QString& key)
{
    auto settings = openSettings();
    return settings->value("G/" + key);
}

void store(const QString& key, const QVariant& value)
{
    saveSetting(key, value);
}

// Runs this program again as another application holding the keyboard focus.
int runFocusHolder(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.setWindowTitle("focus holder");
    edit.resize(200, 40);
    edit.move(20, 20);
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
    std::unique_ptr<XConnection> m_x;
    QProcess m_wm;
    QProcess m_holder;
    xcb_window_t m_holderWindow = XCB_NONE;
    QWidget m_mainWindow;  // stands in for the owner of the pop-ups made here
    std::unique_ptr<LumoraGUI> m_gui;

    void xdotool(const QStringList& args) { QVERIFY(m_server->run("xdotool", args)); }
    void pointerTo(QPoint p) { xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())}); }

    xcb_window_t rootWindowProperty(const char* name)
    {
        xcb_connection_t* c = m_x->connection();
        auto* atomReply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
        if (!atomReply)
            return XCB_NONE;
        auto* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, m_x->root(), atomReply->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t value = XCB_NONE;
        if (reply && xcb_get_property_value_length(reply) == 4)
            value = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
        std::free(reply);
        std::free(atomReply);
        return value;
    }

    xcb_window_t focusWindow()
    {
        auto* reply = xcb_get_input_focus_reply(m_x->connection(), xcb_get_input_focus(m_x->connection()), nullptr);
        const xcb_window_t w = reply ? reply->focus : XCB_NONE;
        std::free(reply);
        return w;
    }

    void verifyHolderFocused()
    {
        QCOMPARE(focusWindow(), m_holderWindow);
        QCOMPARE(rootWindowProperty("_NET_ACTIVE_WINDOW"), m_holderWindow);
    }

    // Black (the pop-up) just inside the middle of each edge of the
    // rectangle, white (the root window) just outside, on the screen as the
    // X server shows it.
    void verifyOnScreenAt(const QRect& r)
    {
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
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

    static void verifyNothingRuns(QWidget* popup)
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

    // Presses on the pop-up at `grab` (screen coordinates), drags by `by`, releases.
    void drag(QPoint grab, QPoint by)
    {
        pointerTo(grab);
        xdotool({"mousedown", "1"});
        for (int step = 1; step <= 4; ++step) {
            pointerTo(grab + by * step / 4);
            QTest::qWait(50);
        }
        xdotool({"mouseup", "1"});
        QTest::qWait(kSettleMs);
    }

    struct Popup
    {
        std::unique_ptr<QWidget> widget;
        std::function<void()> show, hide;
    };

    Popup create(const Kind& kind)
    {
        Popup p;
        if (&kind == &kBreak) {
            auto* w = new BreakReminderWidget(&m_mainWindow);
            p.show = [w] { w->fadeIn(); };
            p.hide = [w] { w->fadeOut(); };
            p.widget.reset(w);
        } else if (&kind == &kExercise) {
            auto* w = new ExerciseReminderWidget(&m_mainWindow);
            p.show = [w] { w->fadeIn(); };
            p.hide = [w] { w->stop(); };
            p.widget.reset(w);
        } else {
            auto* w = new BlinkReminderWidget(&m_mainWindow);
            p.show = [w] { w->rollOut(true); };
            p.hide = [w] { w->rollIn(); };
            p.widget.reset(w);
        }
        return p;
    }

    // Where the pop-up lies for a stored position.
    static QRect expectedRect(const Kind& kind, QPoint storedPos, QSize size)
    {
        const QPoint topLeft = kind.rightEdge ? storedPos - QPoint(size.width(), 0) : storedPos;
        return QRect(topLeft, size);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server->run("xsetroot", {"-solid", "white"}));
        m_x.reset(new XConnection(m_server->display()));
        QVERIFY(m_x->isValid());
        m_wm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_wm.start("openbox", {"--sm-disable"});
        QVERIFY(m_wm.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(rootWindowProperty("_NET_SUPPORTING_WM_CHECK") != XCB_NONE, 10000);

        m_holder.start(QCoreApplication::applicationFilePath(), {"--focus-holder"});
        QVERIFY(m_holder.waitForReadyRead(10000));
        m_holderWindow = m_holder.readLine().trimmed().toUInt();
        QVERIFY(m_holderWindow != XCB_NONE);
        QTRY_COMPARE_WITH_TIMEOUT(focusWindow(), m_holderWindow, 10000);
        pointerTo({600, 460});
        store("RPX", 400);
        store("RPY", 100);
        m_gui.reset(new LumoraGUI);
    }

    // Each case starts with the other program in front, as the user left it.
    void init() { focusHolder(); }

private:
    void focusHolder()
    {
        if (focusWindow() != m_holderWindow)
            xdotool({"windowactivate", "--sync", QString::number(m_holderWindow)});
        QTRY_COMPARE(focusWindow(), m_holderWindow);
    }

private slots:
    void cleanupTestCase()
    {
        m_gui.reset();
        m_holder.kill();
        m_holder.waitForFinished(3000);
        m_wm.terminate();
        m_wm.waitForFinished(3000);
    }

    void appearsAtItsPlaceWithoutTakingFocus_data()
    {
        QTest::addColumn<QString>("kindName");
        QTest::addColumn<QPoint>("saved");   // (-1, -1): nothing stored
        QTest::addColumn<QPoint>("shownAt");  // as stored: top-left, or the blink reminder's right edge
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        const QPoint none(-1, -1);
        const QPoint gone(screen.width() + 900, screen.height() + 500);  // a monitor unplugged
        QTest::newRow("break saved") << QString("break") << QPoint(30, 150) << QPoint(30, 150);
        QTest::newRow("break first run") << QString("break") << none << QPoint(screen.width() - 481, screen.height() - 268);
        QTest::newRow("break off-screen") << QString("break") << gone << kBreakCorner;
        QTest::newRow("exercise saved") << QString("exercise") << QPoint(40, 90) << QPoint(40, 90);
        QTest::newRow("exercise off-screen") << QString("exercise") << -gone << QPoint(screen.width() / 2, screen.height() / 2);
        QTest::newRow("blink saved") << QString("blink") << QPoint(500, 300) << QPoint(500, 300);
        QTest::newRow("blink first run") << QString("blink") << none << QPoint(screen.width(), 200);
        QTest::newRow("blink off-screen") << QString("blink") << gone << QPoint(screen.width(), 200);
    }
    void appearsAtItsPlaceWithoutTakingFocus()
    {
        QFETCH(QString, kindName);
        const Kind* kind = kindNamed(kindName);
        QFETCH(QPoint, saved);
        QFETCH(QPoint, shownAt);
        if (saved == QPoint(-1, -1)) {
            openSettings()->remove("G/" + kind->keyX);
            openSettings()->remove("G/" + kind->keyY);
        } else {
            store(kind->keyX, saved.x());
            store(kind->keyY, saved.y());
        }
        Popup popup = create(*kind);
        popup.show();
        waitShown(popup.widget.get());
        const QSize size = popup.widget->size();
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        if (shownAt == kBreakCorner)
            shownAt = QPoint(screen.width() - size.width(), screen.height() - size.height() - 100);
        verifyOnScreenAt(expectedRect(*kind, shownAt, size));
        verifyHolderFocused();

        popup.hide();
        QTest::qWait(kSettleMs);
        QVERIFY(!popup.widget->isVisible());
        verifyHolderFocused();
        verifyNothingRuns(popup.widget.get());
        // A corrected place lives in memory only.
        QCOMPARE(stored(kind->keyX).isValid(), saved != QPoint(-1, -1));
        if (saved != QPoint(-1, -1))
            QCOMPARE(stored(kind->keyX).toInt(), saved.x());
    }

    void dragStoresTheNewPlace_data()
    {
        QTest::addColumn<QString>("kindName");
        QTest::newRow("break") << QString("break");
        QTest::newRow("exercise") << QString("exercise");
    }
    void dragStoresTheNewPlace()
    {
        QFETCH(QString, kindName);
        const Kind* kind = kindNamed(kindName);
        store(kind->keyX, 20);
        store(kind->keyY, 30);
        Popup popup = create(*kind);
        popup.show();
        waitShown(popup.widget.get());
        drag(QPoint(20 + 12, 30 + 40), QPoint(100, 60));
        QCOMPARE(QPoint(stored(kind->keyX).toInt(), stored(kind->keyY).toInt()), QPoint(120, 90));
        verifyOnScreenAt(QRect(QPoint(120, 90), popup.widget->size()));
        verifyHolderFocused();
        popup.hide();

        // Shown again where it was left, also after a restart.
        Popup again = create(*kind);
        again.show();
        waitShown(again.widget.get());
        verifyOnScreenAt(QRect(QPoint(120, 90), again.widget->size()));
        again.hide();
        pointerTo({600, 460});
    }

    // The main page's button drives the window's own reminder.
    void blinkReminderMovesOnlyInPositionChangeMode()
    {
        auto* reminder = m_gui->findChild<BlinkReminderWidget*>();
        auto* button = m_gui->findChild<QPushButton*>("pushButton_changeBlinkReminderPosition");
        const QString buttonText = button->text();
        button->setChecked(true);
        waitShown(reminder);
        QVERIFY(button->text() != buttonText);
        const QSize size = reminder->size();
        QVERIFY(reminder->sound()->isFinished());
        // Entering and leaving the mode without a drag writes nothing.
        openSettings()->remove("G/RPX");
        button->setChecked(false);
        QCOMPARE(button->text(), buttonText);
        QVERIFY(!stored("RPX").isValid());
        QVERIFY(!reminder->isVisible());

        button->setChecked(true);
        waitShown(reminder);
        verifyOnScreenAt(expectedRect(kBlink, {400, 100}, size));
        m_gui->showReminder();  // reminders meanwhile change nothing
        m_gui->responceToBlink();
        drag(QPoint(400 - size.width() + 10, 110), QPoint(150, 120));  // the pointer is on it: it stays
        QVERIFY(reminder->isVisible());
        button->setChecked(false);
        QVERIFY(!reminder->isVisible());
        QCOMPARE(QPoint(stored("RPX").toInt(), stored("RPY").toInt()), QPoint(550, 220));
        verifyNothingRuns(reminder);

        // After a restart it shows at the new place.
        BlinkReminderWidget restarted(&m_mainWindow);
        pointerTo({600, 460});
        restarted.rollOut(false);
        waitShown(&restarted);
        verifyOnScreenAt(expectedRect(kBlink, {550, 220}, size));
        verifyHolderFocused();
        restarted.rollIn();
    }

    // The window forwards each answer to the scheduler once.
    void windowAnswersTheScheduler()
    {
        QSignalSpy skipped(m_gui.get(), &LumoraGUI::skipBreakClicked);
        QSignalSpy snoozed(m_gui.get(), &LumoraGUI::snoozeBreakClicked);
        QSignalSpy exercised(m_gui.get(), &LumoraGUI::exerciseFinished);
        QSignalSpy byMouse(m_gui.get(), &LumoraGUI::hideBlinkReminderByMouseRequested);
        auto* breakPopup = m_gui->findChild<BreakReminderWidget*>();
        const QVariant breakPlace = stored("BRPX");
        for (const char* name : {"pushButton_skip", "pushButton_snooze"}) {
            m_gui->show();
            QVERIFY(QTest::qWaitForWindowActive(m_gui.get()));
            const xcb_window_t focused = focusWindow();
            m_gui->showBreakReminder();
            waitShown(breakPopup);
            QCOMPARE(focusWindow(), focused);
            auto* button = breakPopup->findChild<QPushButton*>(name);
            pointerTo(button->mapToGlobal(button->rect().center()));
            xdotool({"click", "1"});
            QTRY_VERIFY(!breakPopup->isVisible());
            QVERIFY(!m_gui->isVisible());  // the buttons hide the window too
            QTest::qWait(kSettleMs);
        }
        QCOMPARE(skipped.count(), 1);
        QCOMPARE(snoozed.count(), 1);
        QCOMPARE(stored("BRPX"), breakPlace);  // a button click is no drag
        focusHolder();

        m_gui->showExercise();
        waitShown(m_gui->findChild<ExerciseReminderWidget*>());
        m_gui->hideExerciseReminder();  // the scheduler ends it
        m_gui->hideExerciseReminder();
        QCOMPARE(exercised.count(), 1);

        // The sound loops only while the sound box is checked.
        auto* reminder = m_gui->findChild<BlinkReminderWidget*>();
        auto* soundBox = m_gui->findChild<QCheckBox*>("checkBox_enableSound");
        pointerTo({600, 460});
        soundBox->setChecked(false);
        m_gui->showReminder();
        waitShown(reminder);
        QVERIFY(reminder->sound()->isFinished());
        m_gui->responceToBlink();  // the user blinked
        QVERIFY(!reminder->isVisible());
        QTest::qWait(kSettleMs);

        soundBox->setChecked(true);
        m_gui->showReminder();
        waitShown(reminder);
        QVERIFY(!reminder->sound()->isFinished());
        QCOMPARE(reminder->sound()->loops(), int(QSound::Infinite));
        pointerTo(reminder->geometry().center());
        QTRY_VERIFY(!reminder->isVisible());
        QVERIFY(reminder->sound()->isFinished());
        QTest::qWait(kSettleMs);
        QCOMPARE(byMouse.count(), 1);
        verifyHolderFocused();
        pointerTo({600, 460});

        // Once the window closes, requests show nothing.
        m_gui->close();
        m_gui->showReminder();
        m_gui->showBreakReminder();
        m_gui->showExercise();
        for (QWidget* popup : m_gui->findChildren<QWidget*>()) {
            if (popup->isWindow())
                QVERIFY(!popup->isVisible());
        }
    }

    void blinkReminderHidesOnPointerContact()
    {
        store("RPX", 500);
        store("RPY", 300);
        BlinkReminderWidget reminder(&m_mainWindow);
        QSignalSpy byMouse(&reminder, &BlinkReminderWidget::hideBlinkReminderByMouseRequested);

        reminder.rollOut(false);
        QVERIFY(QTest::qWaitForWindowExposed(&reminder));
        QVERIFY(reminder.sound()->isFinished());  // sound off: silent
        reminder.rollIn();
        QVERIFY(!reminder.isVisible());

        reminder.rollOut(true);
        reminder.rollOut(true);  // already shown: no second start, no move
        QVERIFY(QTest::qWaitForWindowExposed(&reminder));
        QVERIFY(!reminder.sound()->isFinished());
        QCOMPARE(reminder.sound()->loops(), int(QSound::Infinite));
        QCOMPARE(reminder.movie()->state(), QMovie::Running);
        QTest::qWait(kSettleMs);

        pointerTo(reminder.geometry().center());
        QTRY_VERIFY(!reminder.isVisible());
        QTest::qWait(kSettleMs);
        QCOMPARE(byMouse.count(), 1);
        verifyNothingRuns(&reminder);
        verifyHolderFocused();
        pointerTo({600, 460});
    }

    void exercisesTakeTurnsAndEndOnce()
    {
        ExerciseReminderWidget popup(&m_mainWindow);
        QSignalSpy finished(&popup, &ExerciseReminderWidget::exerciseFinished);
        auto* text = popup.findChild<QLabel*>("label_text");
        popup.stop();  // nothing runs yet
        QCOMPARE(finished.count(), 0);

        QStringList shown;
        for (int i = 0; i < 5; ++i) {
            popup.fadeIn();
            QVERIFY(popup.isVisible());
            shown << text->text();
            if (i == 2) {
                auto* skip = popup.findChild<QPushButton*>("pushButton_skip");
                waitShown(&popup);
                pointerTo(skip->mapToGlobal(skip->rect().center()));
                xdotool({"click", "1"});
                QTRY_VERIFY(!popup.isVisible());
            } else {
                popup.stop();
                popup.stop();
            }
            QCOMPARE(finished.count(), i + 1);
            QVERIFY(!popup.isVisible());
            verifyNothingRuns(&popup);
            QTest::qWait(kSettleMs);  // exercise breaks are minutes apart
        }
        QCOMPARE(QSet<QString>(shown.begin(), shown.begin() + 4).size(), 4);
        QCOMPARE(shown[4], shown[0]);
        pointerTo({600, 460});
    }

    void languageChangeRetranslatesInPlace()
    {
        store("RPX", 600);
        store("RPY", 300);
        BlinkReminderWidget reminder(&m_mainWindow);
        ExerciseReminderWidget exercise(&m_mainWindow);
        reminder.rollOut(false);
        exercise.fadeIn();
        waitShown(&reminder);
        const QString before = exercise.findChild<QLabel*>("label_text")->text();
        const int width = reminder.width();

        QTranslator german;
        QVERIFY(german.load(":/lumora_de_DE.qm"));
        QCoreApplication::installTranslator(&german);
        QTest::qWait(kSettleMs);
        QVERIFY(exercise.findChild<QLabel*>("label_text")->text() != before);
        QVERIFY(reminder.width() != width);
        verifyOnScreenAt(expectedRect(kBlink, {600, 300}, reminder.size()));
        QCoreApplication::removeTranslator(&german);
        reminder.rollIn();
        exercise.stop();
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--focus-holder") == 0)
        return runFocusHolder(1, argv);
    PrivateXServer server;
    if (!server.start()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    qputenv("DISPLAY", server.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestPopups test(&server);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_popups.moc"
