// The statistics history window with the real measurement store on a thread
// of its own, connected as the application connects them: opening on the
// store's answer, the slider's ranges, the tooltip over a point, and the
// deletion of the history, confirmed and cancelled, answered as a user would.

#define QTEST_QPA_MOUSE_HANDLING
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QToolTip>
#include <QTranslator>
#include <QtTest>

#include <qcustomplot.h>

#include "app/platform/linux/autostart.h"
#include "app/platform/systemsession.h"
#include "core/control/cameralist.h"
#include "core/control/statisticscontroller.h"
#include "core/lumoratypes.h"
#include "gui/lumoragui.h"
#include "gui/spanslider.h"
#include "gui/widgetstatistics.h"
#include "tests/support/boxedge.h"

namespace {

QDateTime measuredAt(int i)
{
    return QDateTime(QDate(2026, 3, 1).addDays(i), QTime(9, 30));
}
double rateOf(int i)
{
    return 6.0 + (i % 7) * 1.5;
}
int lengthOf(int i)
{
    return 150 + 3 * i;
}

void writeHistory(const QString& path, int count)
{
    QJsonArray data;
    for (int i = 0; i < count; ++i) {
        QDateTime t = measuredAt(i);
        t.setOffsetFromUtc(t.offsetFromUtc());
        data.append(QJsonObject{{"datetime", t.toString(Qt::ISODate)},
                                {"blinkrate", rateOf(i)},
                                {"note", QString()},
                                {"length", lengthOf(i)}});
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(QJsonObject{{"data", data}}).toJson());
}

int storedRecords(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    return doc.isObject() && doc.object().value("data").isArray() ? doc.object().value("data").toArray().size() : -1;
}

// Pixels of the graph's point colour in a grab of the plot.
int pointPixels(QWidget* plot)
{
    const QImage image = plot->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == QColor(0, 202, 255);
    return n;
}

class NoStartAtLogin : public StartAtLogin
{
public:
    void setEnabled(bool) override {}
};

}  // namespace

class TestWidgetStatistics : public QObject
{
    Q_OBJECT

    QTemporaryDir* dir = nullptr;
    QThread* thread = nullptr;
    StatisticsController* store = nullptr;
    QPointer<WidgetStatistics> window;

    QString filePath() const { return dir->filePath("statistics.json"); }
    QCustomPlot* plot() const { return window->findChild<QCustomPlot*>("customPlot"); }
    SpanSlider* slider() const { return window->findChild<SpanSlider*>("spanSlider"); }
    QLabel* label(const char* name) const { return window->findChild<QLabel*>(name); }
    int points() const { return plot()->graph(0)->dataCount(); }

    void start(int measurements, QWidget* mainWindow = nullptr)
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        writeHistory(filePath(), measurements);
        store = new StatisticsController(dir->path() + "/");
        window = new WidgetStatistics(mainWindow);
        thread = new QThread;
        store->moveToThread(thread);
        connect(thread, &QThread::started, store, &StatisticsController::init);
        connect(window, SIGNAL(sliderIntervalChanged(int,int)), store, SLOT(updateStatistics(int,int)));
        connect(window, SIGNAL(deleteHistory()), store, SLOT(deleteAllMeasurements()));
        connect(store, SIGNAL(statisticsChanged(QVector<double>,QVector<int>,QVector<QDateTime>,int)), window,
                SLOT(updateStatistics(QVector<double>,QVector<int>,QVector<QDateTime>,int)));
        QSignalSpy ready(store, &StatisticsController::statsControllerInitialized);
        thread->start();
        QTRY_VERIFY(ready.count() > 0);
    }

    // What the main window's health graph does when clicked.
    void open()
    {
        QVERIFY(QMetaObject::invokeMethod(store, "createStatistics", Qt::QueuedConnection));
        QTRY_VERIFY(window->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    // Clicks the delete button and answers the question with the given button.
    void deleteAnswering(QMessageBox::StandardButton answer)
    {
        QString question;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            question = box->text();
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
        });
        QTest::mouseClick(window->findChild<QPushButton*>("pushButton"), Qt::LeftButton);
        QCOMPARE(question, QStringLiteral("Are you sure to delete all measurements?"));
    }

    // Where the window's style draws a slider handle standing on a value.
    QPoint handleAt(int value) const
    {
        QStyleOptionSlider opt;
        opt.initFrom(slider());
        opt.orientation = Qt::Horizontal;
        opt.minimum = slider()->minimum();
        opt.maximum = slider()->maximum();
        opt.sliderPosition = opt.sliderValue = value;
        opt.subControls = QStyle::SC_All;
        return slider()->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider()).center();
    }

    // Puts the pointer on point i of the graph, as the user's mouse would.
    void hover(int i)
    {
        const QPoint at(qRound(plot()->xAxis->coordToPixel(i)),
                        qRound(plot()->yAxis->coordToPixel(plot()->graph(0)->data()->at(i)->value)));
        QCursor::setPos(plot()->mapToGlobal(at));
    }

    // The store serves its calls in order: once this one has been served, so
    // have those before it (a delete with its write too, which an answer
    // sent at its start would not show), and their answers wait here.
    void settle()
    {
        QVERIFY(QMetaObject::invokeMethod(store, "updateStatistics", Qt::BlockingQueuedConnection, Q_ARG(int, 1),
                                          Q_ARG(int, 0)));
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        registerCrossThreadTypes();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCursor::setPos(0, 0);
    }

    void cleanup()
    {
        QToolTip::hideText();
        delete window;
        if (thread) {
            QMetaObject::invokeMethod(store, "deleteLater");
            thread->quit();
            thread->wait();
        }
        delete thread;
        thread = nullptr;
        store = nullptr;
        delete dir;
        dir = nullptr;
    }

    void healthGraphClickOpensTheLastEight()
    {
        // The main window as the start-up chain leaves it, with no camera,
        // session listener or reachable update feed.
        qputenv("LUMORA_UPDATE_FEED_URL", "https://127.0.0.1:1/updates.json");
        LumoraGUI mainWindow;
        mainWindow.setCameraList(std::make_shared<NoCameraList>());
        mainWindow.setStartAtLogin(std::make_shared<NoStartAtLogin>());
        mainWindow.setSessionListenerFactory([]() -> SystemSession::EventFilter* { return nullptr; });
        mainWindow.init();
        start(20, &mainWindow);
        connect(&mainWindow, SIGNAL(showStatisticsRequired()), store, SLOT(createStatistics()));
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        QWidget* healthGraph = mainWindow.findChild<QCustomPlot*>("customPlot_blinkMonitoring_graph");
        QVERIFY(!window->isVisible());
        QTest::mouseClick(healthGraph, Qt::LeftButton);
        QTRY_VERIFY(window->isVisible());
        settle();
        QCOMPARE(slider()->minimum(), 0);
        QCOMPARE(slider()->maximum(), 20);
        QCOMPARE(slider()->lowerValue(), 12);
        QCOMPARE(slider()->upperValue(), 20);
        QCOMPARE(points(), 8);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(plot()->graph(0)->data()->at(i)->value, rateOf(12 + i));
        QCOMPARE(label("labelStartDate")->text(), QStringLiteral("13 March 2026"));
        QCOMPARE(label("labelEndDate")->text(), QStringLiteral("20 March 2026"));
        QVERIFY(pointPixels(plot()) > 8 * 20);

        // The slider, dragged and keyed, asks the store for other ranges.
        QTest::mousePress(slider(), Qt::LeftButton, {}, handleAt(12));
        QTest::mouseMove(slider(), handleAt(0));
        QTest::mouseRelease(slider(), Qt::LeftButton, {}, handleAt(0));
        QCOMPARE(slider()->lowerValue(), 0);
        QTRY_COMPARE(points(), 20);
        QCOMPARE(label("labelStartDate")->text(), QStringLiteral("1 March 2026"));
        // The slider's top value is the history's size, one past its last
        // index: the first step down still shows all twenty.
        slider()->setFocus();
        QTest::keyClick(slider(), Qt::Key_Down);
        QTest::keyClick(slider(), Qt::Key_Down);
        QTRY_COMPARE(points(), 19);
        QCOMPARE(label("labelEndDate")->text(), QStringLiteral("19 March 2026"));

        // Closed and opened again: the last eight and the matching span.
        window->findChild<QToolButton*>("toolButtonClose")->click();
        QVERIFY(!window->isVisible());
        QTest::mouseClick(healthGraph, Qt::LeftButton);
        QTRY_VERIFY(window->isVisible());
        settle();
        QCOMPARE(points(), 8);
        QCOMPARE(slider()->lowerValue(), 12);
        QCOMPARE(slider()->upperValue(), 20);
        delete window;  // before its parent
    }

    void fewMeasurementsAndNone()
    {
        start(3);
        open();
        settle();
        QCOMPARE(slider()->maximum(), 3);
        QCOMPARE(slider()->lowerValue(), 0);
        QCOMPARE(slider()->upperValue(), 3);
        QCOMPARE(points(), 3);
        cleanup();

        start(0);
        QVERIFY(QMetaObject::invokeMethod(store, "createStatistics", Qt::QueuedConnection));
        settle();
        QVERIFY(!window->isVisible());
    }

    void tooltipAndLanguageChange()
    {
        start(20);
        open();
        settle();
        hover(3);
        QTRY_VERIFY(QToolTip::isVisible());
        const QString text = QToolTip::text();
        QVERIFY2(text.contains(QStringLiteral("Blink rate: %1 blinks per minute").arg(rateOf(15))), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Average blink duration: %1 milliseconds").arg(lengthOf(15))),
                 qPrintable(text));
        QVERIFY2(text.startsWith(QStringLiteral("16. Mar 2026 9:30")), qPrintable(text));

        // Retranslated: the form's and the graph's texts, and the dates in
        // the labels' short form.
        QTranslator german;
        QVERIFY(german.load(QStringLiteral(":/lumora_de_DE.qm")));
        QCoreApplication::installTranslator(&german);
        QCoreApplication::processEvents();
        QVERIFY(window->findChild<QPushButton*>("pushButton")->text() != QStringLiteral("DELETE HISTORY"));
        QVERIFY(plot()->yAxis->label() != QStringLiteral("Blinks per minute (bpm)"));
        QCOMPARE(label("labelStartDate")->text(), QStringLiteral("13. Mar 2026 9:30"));
        QCOMPARE(label("labelEndDate")->text(), QStringLiteral("20. Mar 2026 9:30"));
        QCoreApplication::removeTranslator(&german);
    }

    void deleteConfirmed()
    {
        start(20);
        open();
        settle();
        deleteAnswering(QMessageBox::Yes);
        settle();
        QCOMPARE(points(), 0);
        QCOMPARE(pointPixels(plot()), 0);
        QVERIFY(label("labelStartDate")->text().isEmpty());
        QVERIFY(label("labelEndDate")->text().isEmpty());
        QCOMPARE(slider()->maximum(), 0);
        QCOMPARE(slider()->upperValue(), 0);
        QVERIFY(window->isVisible());
        QCOMPARE(storedRecords(filePath()), 0);

        // No tooltip where the points were.
        QCursor::setPos(plot()->mapToGlobal(plot()->rect().center()));
        QTest::qWait(100);
        QVERIFY(!QToolTip::isVisible());
    }

    void deleteCancelled()
    {
        start(20);
        open();
        settle();
        const int before = pointPixels(plot());
        deleteAnswering(QMessageBox::No);
        settle();
        QCOMPARE(points(), 8);
        QCOMPARE(pointPixels(plot()), before);
        QCOMPARE(label("labelStartDate")->text(), QStringLiteral("13 March 2026"));
        QCOMPARE(slider()->maximum(), 20);
        QCOMPARE(storedRecords(filePath()), 20);
        hover(0);
        QTRY_VERIFY(QToolTip::isVisible());
    }

    void titleBarDragsTheWindow()
    {
        start(5);
        open();
        settle();
        QWidget* titleBar = window->findChild<QWidget*>("widgetTitleBar");
        const QPoint grab = titleBar->mapTo(window, QPoint(titleBar->width() / 3, titleBar->height() / 2));
        const QPoint before = window->pos();
        QTest::mousePress(window, Qt::LeftButton, {}, grab);
        QTest::mouseMove(window, grab + QPoint(60, 40));
        // The window has followed the pointer: it is over the grab point again.
        QTest::mouseRelease(window, Qt::LeftButton, {}, grab);
        QTRY_COMPARE(window->pos(), before + QPoint(60, 40));

        // A press on the graph does not drag.
        QTest::mousePress(window, Qt::LeftButton, {}, plot()->mapTo(window, plot()->rect().center()));
        QTest::mouseMove(window, plot()->mapTo(window, plot()->rect().center()) + QPoint(30, 30));
        QTest::mouseRelease(window, Qt::LeftButton);
        QTest::qWait(50);
        QCOMPARE(window->pos(), before + QPoint(60, 40));
    }

    void shadowsAsBefore_data()
    {
        addEdgeStripColumns();
        // Grabbed from the window whose boxes had Qt's own drop-shadow effect.
        QTest::newRow("graph, bottom") << "widgetGraph" << Qt::BottomEdge
                                       << QVector<int>{255, 255, 170, 198, 227, 242, 247, 249, 250};
        QTest::newRow("graph, right") << "widgetGraph" << Qt::RightEdge
                                      << QVector<int>{255, 255, 170, 198, 228, 243, 247, 249, 250};
        // Below the title bar, the graph's shadow falls upwards onto the gap.
        QTest::newRow("title bar, bottom")
            << "widgetTitleBar" << Qt::BottomEdge << QVector<int>{152, 152, 247, 243, 228, 255, 255, 255, 255};
    }

    // The grey levels across a box's edge, shadow included, as the window
    // shows them on screen.
    void shadowsAsBefore()
    {
        start(20);
        open();
        settle();
        QFETCH(QString, box);
        QFETCH(Qt::Edge, edge);
        QFETCH(QVector<int>, strip);
        const QString differs = edgeStripDiffers(window, box, edge, strip);
        QVERIFY2(differs.isEmpty(), qPrintable(differs));
    }
};

QTEST_MAIN(TestWidgetStatistics)
#include "tst_widgetstatistics.moc"
