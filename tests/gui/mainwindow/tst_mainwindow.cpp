// The main window driven as a user and the session listener would drive it,
// checked at its receivers, in the settings file and in its tray menu.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "app/languages.h"
#include "app/platform/linux/autostart.h"
#include "app/platform/systemsession.h"
#include "app/settings.h"
#include "core/control/cameralist.h"
#include "gui/lumoragui.h"
#include "tests/support/fullstore.h"

namespace {

// What the window told the session listener, last value per call.
class FakeListener : public SystemSession::EventFilter
{
public:
    bool nativeEventFilter(const QByteArray&, void*, long*) override { return false; }
    void enableWindowsTitleListener(bool on) override { calls["titles on"] = on; }
    void enablePauseTitleListener(bool on) override { calls["pause titles on"] = on; }
    void enableProcessListener(bool on) override { calls["processes on"] = on; }
    void setTitlesToCheck(QString s) override { calls["titles"] = s; }
    void setPauseTitlesToCheck(QString s) override { calls["pause titles"] = s; }
    void setProcessesToCheck(QString s) override { calls["processes"] = s; }
    static QVariantMap calls;
};
QVariantMap FakeListener::calls;

class TwoCameras : public CameraList
{
public:
    QVector<CameraEntry> cameras() override { return {{"Front", 0}, {"USB", 4}}; }
};

class RecordingStart : public StartAtLogin
{
public:
    void setEnabled(bool on) override { states << on; }
    QList<bool> states;
};

// The last value each signal of the window carried.
class Receivers
{
public:
    explicit Receivers(LumoraGUI* w)
    {
        const QMetaObject* mo = w->metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            const QMetaMethod m = mo->method(i);
            if (m.methodType() == QMetaMethod::Signal)
                spies.insert(QString::fromLatin1(m.name()), std::make_shared<QSignalSpy>(w, m));
        }
    }
    QVariant last(const QString& signal) const
    {
        const auto& spy = *spies.value(signal);
        return spy.isEmpty() ? QVariant() : spy.last().value(0);
    }
    int count(const QString& signal) const { return spies.value(signal)->count(); }
    QMap<QString, std::shared_ptr<QSignalSpy>> spies;
};

QStringList menuTexts(LumoraGUI& w)
{
    QStringList names;
    for (QAction* a : w.trayMenu()->actions())
        names << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    return names;
}

template <typename T>
T* child(QWidget& w, const char* name)
{
    T* found = w.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

std::unique_ptr<LumoraGUI> startWindow(std::shared_ptr<RecordingStart> start = std::make_shared<RecordingStart>())
{
    auto w = std::make_unique<LumoraGUI>();
    w->setCameraList(std::make_shared<TwoCameras>());
    w->setStartAtLogin(std::move(start));
    w->setSessionListenerFactory([]() { return new FakeListener; });
    return w;
}

QVariant stored(const char* key)
{
    QSettings file(openSettings()->fileName(), QSettings::IniFormat);
    return file.value(QStringLiteral("G/") + key);
}

}  // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(openSettings()->fileName()); }
    void trayMenuIsAlwaysOneOfFour();
    void firstStartPushesDefaultsAndStoresNothing();
    void settingsRoundTrip();
    void cameraPauseKeepsUsersReminderChoice();
    void startAtLoginEntryFollowsBox();
    void unreadableModelIsShown();
    void titleBarDragsWindow();
    void languagePickStoresLocale();
    void fullDiskLosesSettingQuietly();
    void languagePickSwitchesTheLanguage();
};

void TestMainWindow::trayMenuIsAlwaysOneOfFour()
{
    auto w = startWindow();
    Receivers r(w.get());
    const QStringList normal{"action_open", "action_pauseLumora", "action_pauseWebcamUse", "|", "action_quit"};
    const QStringList paused{"action_open", "action_resumeLumora", "|", "action_quit"};
    const QStringList cameraOff{"action_open", "action_pauseLumora", "action_resumeWebcamUse", "|", "action_quit"};
    const QStringList both{"action_open", "action_resumeLumora", "action_resumeWebcamUse", "|", "action_quit"};
    QCOMPARE(menuTexts(*w), normal);

    child<QAction>(*w, "action_pauseLumora")->trigger();
    QCOMPARE(menuTexts(*w), paused);
    QMetaObject::invokeMethod(w.get(), "pauseApp");  // a second pause changes nothing
    QCOMPARE(r.count("pauseRequested"), 1);

    // A listed window title pauses camera use while in presentation mode.
    w->init();
    child<QCheckBox>(*w, "checkBox_whenTitleExists")->setChecked(true);
    QMetaObject::invokeMethod(w.get(), "systemAdapter", Q_ARG(int, 20));
    QCOMPARE(r.last("disableCameraUse"), QVariant(true));
    QCOMPARE(menuTexts(*w), both);
    QCOMPARE(child<QToolButton>(*w, "toolButton_pauseCamera")->defaultAction(),
             child<QAction>(*w, "action_resumeWebcamUse"));

    child<QAction>(*w, "action_resumeLumora")->trigger();
    QCOMPARE(menuTexts(*w), cameraOff);
    QCOMPARE(r.last("pauseRequested"), QVariant(false));
    QMetaObject::invokeMethod(w.get(), "systemAdapter", Q_ARG(int, 21));
    QCOMPARE(menuTexts(*w), normal);
    QCOMPARE(r.last("disableCameraUse"), QVariant(false));
    QCOMPARE(child<QToolButton>(*w, "toolButton_presentationMode")->defaultAction(),
             child<QAction>(*w, "action_pauseLumora"));
}

void TestMainWindow::firstStartPushesDefaultsAndStoresNothing()
{
    auto start = std::make_shared<RecordingStart>();
    auto w = startWindow(start);
    Receivers r(w.get());
    w->init();
    QCOMPARE(r.last("trainingPeriodChanged"), QVariant(30000));
    QCOMPARE(r.last("timeBetweenBreaksChanged"), QVariant(50));
    QCOMPARE(r.last("naturalBreakDurationChanged"), QVariant(3u));
    QCOMPARE(r.last("reminderInteractivityChanged"), QVariant(true));
    QCOMPARE(r.last("training_mgd_status_changed"), QVariant(false));
    QCOMPARE(r.last("measurementEnabled"), QVariant(true));
    QCOMPARE(r.last("cameraIDchanged"), QVariant(0));
    QCOMPARE(start->states, QList<bool>{true});
    QCOMPARE(FakeListener::calls.value("processes on"), QVariant(false));
    QSettings file(openSettings()->fileName(), QSettings::IniFormat);
    file.beginGroup("G");
    QCOMPARE(file.childKeys(), QStringList());
}

void TestMainWindow::settingsRoundTrip()
{
    // Each key with a receiver: the widget, the user's value, the signal
    // (or listener call) and what it carries. TP 15 is the form's own start
    // value, which must still reach the scheduler.
    struct Row { const char* key; const char* widget; QVariant value; const char* receiver; QVariant sent; };
    const QVector<Row> rows{
        {"TMGD", "checkBox_isMGDenabled", true, "training_mgd_status_changed", true},
        {"M", "toolButton_blinkMonitoringOnOff", false, "measurementEnabled", false},
        {"T", "toolButton_blinkTrainingOnOff", false, "trainingEnabled", false},
        {"INB", "checkBox_includeNaturalBreaks", false, "includeNaturalBreaksChanged", false},
        {"TP", "spinBox_trainingPeriod", 15, "trainingPeriodChanged", 15000},
        {"TBRR", "spinBox_timeBetweenBreaks", 35, "timeBetweenBreaksChanged", 35},
        {"NBD", "spinBox_naturalBreaksDuration", 7, "naturalBreakDurationChanged", 7u},
        {"REER", "toolButton_eyeExerciseOnOff", false, "eyeExerciseReminderEnabled", false},
        {"BRE", "toolButton_computerBreaksOnOff", false, "breakReminderEnabled", false},
        {"WTE", "checkBox_whenTitleExists", true, "titles on", true},
        {"WPR", "checkBox_whenProcessRun", true, "processes on", true},
        {"PAWTE", "checkBox_pauseApp_whenTitleExist", true, "pause titles on", true},
        {"WPRL", "lineEdit_whenProcessRun", "vlc;obs", "processes", "vlc;obs"},
        {"WTEL", "lineEdit_whenTitleExists", "Zoom;Call", "titles", "Zoom;Call"},
        {"PAWTEL", "lineEdit_pauseApp_whenTitleExists", "Impress", "pause titles", "Impress"},
        {"IR", "radioButton_isReminderInteractive", false, "reminderInteractivityChanged", false},
        {"WS", "checkBox_settingsStartOnStartUp", false, nullptr, false}};
    const auto widgetValue = [](QWidget* w) -> QVariant {
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->isChecked();
        if (auto* s = qobject_cast<QSpinBox*>(w))
            return s->value();
        return qobject_cast<QLineEdit*>(w)->text();
    };
    {
        auto w = startWindow();
        w->init();
        for (const Row& row : rows) {
            QWidget* widget = child<QWidget>(*w, row.widget);
            if (auto* s = qobject_cast<QSpinBox*>(widget))
                s->setValue(row.value.toInt());
            else if (auto* e = qobject_cast<QLineEdit*>(widget))
                e->setText(row.value.toString());
            else if (row.value.toBool())
                qobject_cast<QAbstractButton*>(widget)->setChecked(true);
            else if (qobject_cast<QRadioButton*>(widget))  // a radio button is left by its partner
                child<QRadioButton>(*w, "radioButton_isReminderSimple")->setChecked(true);
            else
                qobject_cast<QAbstractButton*>(widget)->setChecked(false);
        }
        // Picking a camera is an activation of the list, as a click makes it.
        QMetaObject::invokeMethod(child<QComboBox>(*w, "comboBox_chooseCamera"), "activated", Q_ARG(int, 1));
    }
    for (const Row& row : rows)
        QVERIFY2(stored(row.key) == row.value, row.key);
    QCOMPARE(stored("CID"), QVariant(1));

    auto start = std::make_shared<RecordingStart>();
    auto w = startWindow(start);
    Receivers r(w.get());
    FakeListener::calls.clear();
    w->init();
    for (const Row& row : rows) {
        QVERIFY2(widgetValue(child<QWidget>(*w, row.widget)) == row.value, row.key);
        if (row.receiver)
            QVERIFY2((r.spies.contains(row.receiver) ? r.last(row.receiver) : FakeListener::calls.value(row.receiver))
                         == row.sent,
                     row.key);
    }
    QCOMPARE(start->states, QList<bool>{false});
    QCOMPARE(child<QComboBox>(*w, "comboBox_chooseCamera")->currentText(), QString("USB"));
    QCOMPARE(r.last("cameraIDchanged"), QVariant(1));
}

void TestMainWindow::cameraPauseKeepsUsersReminderChoice()
{
    auto w = startWindow();
    Receivers r(w.get());
    w->init();
    auto* interactive = child<QRadioButton>(*w, "radioButton_isReminderInteractive");
    QVERIFY(interactive->isChecked());
    child<QAction>(*w, "action_pauseWebcamUse")->trigger();
    QVERIFY(!interactive->isChecked());
    QCOMPARE(r.last("reminderInteractivityChanged"), QVariant(false));
    // Quitting now must not lose the user's choice.
    QCOMPARE(stored("IR"), QVariant());
    child<QAction>(*w, "action_resumeWebcamUse")->trigger();
    QVERIFY(interactive->isChecked());
    QCOMPARE(r.last("reminderInteractivityChanged"), QVariant(true));
    QCOMPARE(stored("IR").toString(), QString("true"));
}

void TestMainWindow::startAtLoginEntryFollowsBox()
{
    LumoraGUI w;  // this platform's own entry
    w.setSessionListenerFactory([]() { return new FakeListener; });
    const QString entry = autostart::entryPath();
    QVERIFY(entry.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    w.init();  // "WS" defaults to on
    QVERIFY(QFile::exists(entry));
    child<QCheckBox>(w, "checkBox_settingsStartOnStartUp")->setChecked(false);
    QVERIFY(!QFile::exists(entry));
    child<QCheckBox>(w, "checkBox_settingsStartOnStartUp")->setChecked(true);
    QVERIFY(QFile::exists(entry));
}

void TestMainWindow::unreadableModelIsShown()
{
    auto w = startWindow();
    w->openWindow();
    QMetaObject::invokeMethod(w.get(), "showModelUnreadable");
    const QString text = QCoreApplication::translate("LumoraGUI", "Error:")
                         + QCoreApplication::translate("LumoraGUI", " insufficient memory RAM or missing data.dat.");
    QCOMPARE(w->trayIcon()->toolTip(), text);
    QLabel* line = child<QLabel>(*w, "label_blinkMonitoringMessage");
    QVERIFY(line->isVisible());
    QCOMPARE(line->text(), text);
    // Switching the camera features off does not clear it.
    child<QToolButton>(*w, "toolButton_blinkMonitoringOnOff")->setChecked(true);
    child<QToolButton>(*w, "toolButton_blinkMonitoringOnOff")->setChecked(false);
    QCOMPARE(w->trayIcon()->toolTip(), text);
}

void TestMainWindow::titleBarDragsWindow()
{
    auto w = startWindow();
    w->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->move(100, 100);
    const auto drag = [&w](QPoint from) {
        const QPoint start = w->pos();
        QMouseEvent press(QEvent::MouseButtonPress, from, w->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(w.get(), &press);
        const QPoint to = from + QPoint(40, 25);
        QMouseEvent move(QEvent::MouseMove, to, w->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, to, w->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(w.get(), &release);
        return w->pos() - start;
    };
    QWidget* bar = child<QWidget>(*w, "widget_titleBar");
    const QPoint onBar = bar->mapTo(w.get(), QPoint(bar->width() / 3, bar->height() / 2));
    QCOMPARE(drag(onBar), QPoint(40, 25));
    QWidget* page = child<QWidget>(*w, "widget_mainPage");
    QCOMPARE(drag(page->mapTo(w.get(), QPoint(5, page->height() / 2))), QPoint(0, 0));
}

void TestMainWindow::languagePickStoresLocale()
{
    auto w = startWindow();
    QComboBox* list = child<QComboBox>(*w, "comboBox_chosenLanguage");
    QCOMPARE(list->count(), 4);
    const int german = list->findText(QLocale(QLocale::German, QLocale::Germany).nativeLanguageName());
    QVERIFY(german > 0);
    QMetaObject::invokeMethod(list, "activated", Q_ARG(int, list->currentIndex()));
    QCOMPARE(stored("QT_locale_name"), QVariant());  // the current language again: nothing
    QMetaObject::invokeMethod(list, "activated", Q_ARG(int, german));
    QCOMPARE(stored("QT_locale_name").toString(), QString("de_DE"));

    // The next start shows the stored language.
    auto again = startWindow();
    QCOMPARE(child<QComboBox>(*again, "comboBox_chosenLanguage")->currentIndex(), german);
}

namespace {
QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        g_warnings << text;
}
}  // namespace

void TestMainWindow::fullDiskLosesSettingQuietly()
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!mountSmallFileSystem(config))
        QSKIP("needs root and a mount namespace of its own for a full file system");
    auto w = startWindow();
    w->init();
    w->show();
    Receivers r(w.get());
    QVERIFY(fillFileSystem(config));
    QWidgetList shown;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible())
            shown << top;

    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    child<QSpinBox>(*w, "spinBox_timeBetweenBreaks")->setValue(41);
    QTest::qWait(200);
    qInstallMessageHandler(previous);
    unmountSmallFileSystem(config);

    // The log names the lost key once; the change still takes effect and
    // nothing pops up.
    const QStringList lost = g_warnings.filter("LumoraSettings::");
    QCOMPARE(lost.size(), 1);
    QVERIFY2(lost.at(0).endsWith(" G/TBRR"), qPrintable(lost.at(0)));
    QCOMPARE(r.last("timeBetweenBreaksChanged"), QVariant(41));
    QWidgetList nowShown;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible())
            nowShown << top;
    QCOMPARE(nowShown, shown);
}

void TestMainWindow::languagePickSwitchesTheLanguage()
{
    auto w = startWindow();
    QComboBox* list = child<QComboBox>(*w, "comboBox_chosenLanguage");
    const int german = list->findText(QLocale(QLocale::German, QLocale::Germany).nativeLanguageName());
    QVERIFY(german > 0);
    auto texts = [&w] {
        QStringList all;
        for (QLabel* label : w->findChildren<QLabel*>())
            all << label->text();
        return all;
    };
    const QStringList english = texts();

    {
        QObject owner;  // the translators' owner, as the application object is
        languages::setOwner(&owner);
        QMetaObject::invokeMethod(list, "activated", Q_ARG(int, german));
        QCoreApplication::processEvents();
        QCOMPARE(QLocale().name(), QString("de_DE"));
        const QStringList shown = texts();
        int changed = 0;
        for (int i = 0; i < shown.size(); ++i)
            changed += shown.at(i) != english.value(i);
        QVERIFY2(changed > 5, qPrintable(QString::number(changed)));

        QMetaObject::invokeMethod(list, "activated", Q_ARG(int, 0));
        QCoreApplication::processEvents();
        QCOMPARE(texts(), english);
    }
    languages::setOwner(nullptr);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
