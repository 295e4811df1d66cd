// The main window on screens of several sizes, each an X server of the
// test's own: where the window does not fit, its frame still lies inside the
// screen and the pages scroll so that the health graph's axis title can be
// reached; where it fits, it keeps its size and place. Without a compositing
// manager the frameless windows have no black frame; once one runs
// (xcompmgr, started after the windows were first shown) their shadow is
// drawn over the desktop when they are shown again. The mouse wheel scrolls
// the pages, over the graph too, and changes no field it has not been
// clicked into.
//
// Each case runs this program once more as a child on its own X server
// (screen size and scale factor are fixed for a process); the child shows
// the windows and checks what is on the screen.

#define QTEST_QPA_MOUSE_HANDLING
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTranslator>
#include <QtTest>

#include <qcustomplot.h>

#include "app/appfonts.h"
#include "app/languages.h"
#include "app/platform/compositing.h"
#include "app/settings.h"
#include "gui/widgetproxy.h"
#include "gui/widgetstatistics.h"
#include "pages.h"
#include "tests/support/sessionservers.h"
#include "tests/support/testwindow.h"

namespace {

// The desktop's colour behind the windows.
const QColor kRoot(0xc0, 0xd8, 0xf0);
const char* const kCaseVariable = "LUMORA_FIT_CASE";
const char* const kLanguageVariable = "LUMORA_FIT_LANGUAGE";

template <typename T>
T* child(QWidget* w, const char* name)
{
    T* found = w->findChild<T*>(QLatin1String(name));
    if (!found)
        qWarning("no %s", name);
    return found;
}

// The window as the program shows it on first start: no measurement yet, so
// the status line (two lines at this width) and its button are shown.
std::unique_ptr<LumoraGUI> firstStartWindow()
{
    auto w = initialisedWindow();
    w->updateHealthStatus({}, {}, {});
    w->openWindow();
    return w;
}

// The rectangle the health graph draws its x axis title in, in the graph's
// coordinates (taken from the plot's own hit test after a replot).
QRect axisTitleBox(QCustomPlot* plot)
{
    plot->replot(QCustomPlot::rpImmediateRefresh);
    QRect box;
    for (int y = -100; y < plot->height() + 300; ++y)
        for (int x = 0; x < plot->width(); x += 2)
            if (plot->xAxis->getPartAt(QPointF(x, y)) == QCPAxis::spAxisLabel)
                box |= QRect(x, y, 2, 1);
    return box;
}

QImage screenGrab()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

QString rectText(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

bool isBlack(const QColor& c)
{
    return c.red() < 40 && c.green() < 40 && c.blue() < 40;
}

// The pixels along a window's frame on the screen (in screen pixels).
QVector<QColor> edgePixels(const QImage& screen, const QRect& frame)
{
    QVector<QColor> pixels;
    for (int x = frame.left(); x <= frame.right(); x += 3) {
        pixels << screen.pixelColor(x, frame.top()) << screen.pixelColor(x, frame.bottom());
    }
    for (int y = frame.top(); y <= frame.bottom(); y += 3)
        pixels << screen.pixelColor(frame.left(), y) << screen.pixelColor(frame.right(), y);
    return pixels;
}

// The interface language the parent chose for this case, put back to
// English at the end.
struct Translators
{
    Translators()
    {
        const QString language = qEnvironmentVariable(kLanguageVariable);
        for (int i = 0; i < languages::list().size(); ++i)
            if (languages::list().at(i).name() == language)
                languages::apply(i, qApp, app, qt);
    }
    ~Translators() { languages::apply(0, qApp, app, qt); }
    QTranslator* app = nullptr;
    QTranslator* qt = nullptr;
};

// Turns the wheel by notches (towards the page's end where positive) with
// the X server's pointer over a point of the widget.
void turnWheel(QWidget* over, const QPoint& at, int notches)
{
    const QPoint p = over->mapToGlobal(at) * over->devicePixelRatioF();
    QProcess::execute(QStringLiteral("xdotool"),
                      {"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "--repeat",
                       QString::number(qAbs(notches)), "--delay", "40", notches > 0 ? "5" : "4"});
    QTest::qWait(150);
}

int storedBreakInterval()
{
    auto settings = openSettings();
    return settings->value(QStringLiteral("G/TBRR"), -1).toInt();
}

}  // namespace

// ---------------------------------------------------------------- child

class WindowOnScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setFont(QFont(appfonts::install(), 15));
        languages::initialize();
    }

    void scrollsWhereTooSmall()
    {
        auto w = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QRect available = w->screen()->availableGeometry();
        auto* area = child<QScrollArea>(w.get(), "scrollArea_pages");
        auto* plot = child<QCustomPlot>(w.get(), "customPlot_blinkMonitoring_graph");
        QVERIFY(area && plot);
        QTRY_VERIFY2(available.contains(w->frameGeometry()),
                     qPrintable(QStringLiteral("frame %1,%2 %3x%4").arg(w->frameGeometry().x()).arg(w->frameGeometry().y())
                                    .arg(w->frameGeometry().width()).arg(w->frameGeometry().height())));
        // The page does not fit, so it scrolls, but never sideways: the
        // pages get at least the width they need.
        QScrollBar* bar = area->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QVERIFY(area->widget()->width() >= area->widget()->minimumSizeHint().width());
        QVERIFY(area->viewport()->width() >= area->widget()->width());

        // Scrolled to the bottom, the graph's axis title lies whole in the
        // graph and in the visible part of the page, and is drawn there.
        bar->setValue(bar->maximum());
        QTest::qWait(200);
        const QRect box = axisTitleBox(plot);
        QVERIFY(box.isValid());
        QVERIFY2(plot->rect().contains(box), qPrintable(QStringLiteral("title %1,%2 %3x%4 in a graph %5 high")
                                                            .arg(box.x()).arg(box.y()).arg(box.width())
                                                            .arg(box.height()).arg(plot->height())));
        const QRect inViewport(plot->mapTo(area->viewport(), box.topLeft()), box.size());
        QVERIFY(area->viewport()->rect().contains(inViewport));
        const qreal ratio = w->devicePixelRatioF();
        const QPoint onScreen = plot->mapToGlobal(box.topLeft()) * ratio;
        const QImage shot = screenGrab().copy(QRect(onScreen, box.size() * ratio));
        int ink = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                ink += qGray(shot.pixel(x, y)) < 100;
        QVERIFY2(ink > 30, qPrintable(QString::number(ink)));

        // The long settings page is reached to its end the same way, and the
        // window stays on the screen.
        child<QAbstractButton>(w.get(), "toolButton_titleBarSettings")->click();
        auto* language = child<QWidget>(w.get(), "comboBox_chosenLanguage");
        area->ensureWidgetVisible(language);
        QTRY_VERIFY(available.contains(w->frameGeometry()));
        QVERIFY(area->viewport()->rect().contains(
            QRect(language->mapTo(area->viewport(), QPoint(0, 0)), language->size())));
    }

    void slovakStaysOnScreen()
    {
        // Switched at run time, the wider texts widen the window, which then
        // moves into the screen; started in Slovak it is placed there.
        auto w = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QRect available = w->screen()->availableGeometry();
        const int englishWidth = w->width();
        QTranslator* appTranslator = nullptr;
        QTranslator* qtTranslator = nullptr;
        int slovak = -1;
        for (int i = 0; i < languages::list().size(); ++i)
            if (languages::list().at(i).name() == QLatin1String("sk_SK"))
                slovak = i;
        QVERIFY(slovak > 0);
        languages::apply(slovak, qApp, appTranslator, qtTranslator);
        QTRY_VERIFY(w->width() > englishWidth);
        QTRY_VERIFY(available.contains(w->frameGeometry()));
        auto* close = child<QWidget>(w.get(), "toolButton_titleBarClose");
        QVERIFY(available.contains(QRect(close->mapToGlobal(QPoint(0, 0)), close->size())));

        auto again = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        QVERIFY(available.contains(again->frameGeometry()));
        QCOMPARE(again->size(), w->size());
        languages::apply(0, qApp, appTranslator, qtTranslator);
    }

    void keepsSizeAndPlaceWhereItFits()
    {
        auto w = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QScreen* screen = w->screen();
        auto* area = child<QScrollArea>(w.get(), "scrollArea_pages");
        QVERIFY(area);
        // Where the program puts it, whole, with nothing to scroll.
        const QPoint place(screen->geometry().width() / 2, 0);
        QCOMPARE(w->frameGeometry().topLeft(), place);
        QCOMPARE(area->verticalScrollBar()->maximum(), 0);
        QCOMPARE(area->viewport()->size(), area->widget()->size());
        // The graph keeps its room below the two-line status line.
        auto* plot = child<QCustomPlot>(w.get(), "customPlot_blinkMonitoring_graph");
        const QRect box = axisTitleBox(plot);
        QVERIFY(box.isValid() && plot->rect().contains(box));
        QVERIFY(w->rect().contains(QRect(plot->mapTo(w.get(), box.topLeft()), box.size())));

        // The settings page takes its own size at the same place.
        const QSize mainSize = w->size();
        child<QAbstractButton>(w.get(), "toolButton_titleBarSettings")->click();
        QTRY_VERIFY(w->size() != mainSize);
        QCOMPARE(w->frameGeometry().topLeft(), place);
        QCOMPARE(area->verticalScrollBar()->maximum(), 0);
        child<QAbstractButton>(w.get(), "toolButton_titleBarBack")->click();
        QTRY_COMPARE(w->size(), mainSize);
        QCOMPARE(w->frameGeometry().topLeft(), place);

        // The wide about page would pass the right edge there: the window
        // moves left just enough, and no further.
        child<QAbstractButton>(w.get(), "toolButton_titleBarAbout")->click();
        QTRY_VERIFY(w->width() > mainSize.width());
        QVERIFY(place.x() + w->frameGeometry().width() > screen->geometry().width());
        QTRY_COMPARE(w->frameGeometry().right(), screen->availableGeometry().right());
        QCOMPARE(w->frameGeometry().top(), place.y());
        QCOMPARE(area->verticalScrollBar()->maximum(), 0);

        // Never while the user drags the window by its title bar: dragged
        // on the main page to the old place, it stays where the drag has it
        // while the wide page comes up under the held button, and is fitted
        // once the button is let go.
        child<QAbstractButton>(w.get(), "toolButton_titleBarBack")->click();
        QTRY_COMPARE(w->size(), mainSize);
        auto* bar = child<QWidget>(w.get(), "widget_titleBar");
        const QPoint grip = bar->mapTo(w.get(), QPoint(bar->width() / 2, bar->height() / 2));
        const QPoint start = w->pos();
        QTest::mousePress(w.get(), Qt::LeftButton, Qt::NoModifier, grip);
        QTest::mouseMove(w.get(), grip + place - start);
        QTRY_COMPARE(w->frameGeometry().topLeft(), place);
        child<QAbstractButton>(w.get(), "toolButton_titleBarAbout")->click();
        QTest::qWait(300);
        QCOMPARE(w->frameGeometry().topLeft(), place);
        QTest::mouseRelease(w.get(), Qt::LeftButton, Qt::NoModifier, grip);
        QTRY_COMPARE(w->frameGeometry().right(), screen->availableGeometry().right());
        QCOMPARE(w->frameGeometry().top(), place.y());
    }

    void narrowScreenWrapsPages()
    {
        // A scaled screen narrower than the pages ask for: the window takes
        // the screen's width, the pages lay out at that width with their
        // texts wrapped, and nothing is cut or scrolls sideways.
        Translators translators;
        auto w = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QRect available = w->screen()->availableGeometry();
        auto* area = child<QScrollArea>(w.get(), "scrollArea_pages");
        QVERIFY(area);
        for (const guisheet::Page& page : guisheet::pages()) {
            QVERIFY2(guisheet::open(w.get(), page), qPrintable(page.name));
            QTest::qWait(100);
            const QString where = page.name + QStringLiteral(": ");
            QTRY_VERIFY2(available.contains(w->frameGeometry()),
                         qPrintable(where + rectText(w->frameGeometry()) + " in " + rectText(available)));
            for (QAbstractButton* button : child<QWidget>(w.get(), "widget_titleBar")->findChildren<QAbstractButton*>())
                if (button->isVisible())
                    QVERIFY2(available.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())),
                             qPrintable(where + button->objectName()));
            QVERIFY2(!area->horizontalScrollBar()->isVisible() && area->horizontalScrollBar()->maximum() == 0,
                     qPrintable(where + QString::number(area->horizontalScrollBar()->maximum())));
            QVERIFY2(area->widget()->width() <= area->viewport()->width(), qPrintable(where));

            // Every text of the page is drawn whole, within the visible width.
            auto* shown = child<QWidget>(w.get(), qPrintable(page.widget));
            QVERIFY(shown);
            for (QLabel* label : shown->findChildren<QLabel*>()) {
                if (!label->isVisible() || label->text().isEmpty())
                    continue;
                const QString name = where + label->objectName() + ' ' + label->text().left(40) + ' ';
                const QRect inViewport(label->mapTo(area->viewport(), QPoint(0, 0)), label->size());
                QVERIFY2(inViewport.left() >= 0 && inViewport.right() < area->viewport()->width(),
                         qPrintable(name + rectText(inViewport)));
                if (label->wordWrap())
                    QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                             qPrintable(name + rectText(label->geometry())));
                else
                    QVERIFY2(label->width() >= label->sizeHint().width(),
                             qPrintable(name + QString::number(label->sizeHint().width()) + ' '
                                        + rectText(label->geometry())));
            }

            // Scrolled down, the page's end comes into view.
            QScrollBar* bar = area->verticalScrollBar();
            bar->setValue(bar->maximum());
            QApplication::processEvents();
            const int end = shown->mapTo(area->viewport(), QPoint(0, shown->height())).y();
            QVERIFY2(end <= area->viewport()->height(),
                     qPrintable(where + QStringLiteral("%1 below %2").arg(end).arg(area->viewport()->height())));
            bar->setValue(0);
        }
    }

    void statusLineKeepsButtonStill()
    {
        // Each check of the blink training switches the status line between
        // texts of one and of two lines: what lies below it stays put.
        Translators translators;
        auto w = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        child<QRadioButton>(w.get(), "radioButton_isReminderInteractive")->setChecked(true);
        auto* button = child<QWidget>(w.get(), "pushButton_blinkMonitoringTakeFirstMeasurement");
        child<QScrollArea>(w.get(), "scrollArea_pages")->ensureWidgetVisible(button);
        guisheet::settle();
        const QRect below(button->mapToGlobal(QPoint(0, 0)), w->mapToGlobal(w->rect().bottomRight()));
        const QImage before = screenGrab().copy(below);
        QStringList texts;
        const auto still = [&] {
            guisheet::settle();
            texts << child<QLabel>(w.get(), "label_blinkMonitoringMessage")->text();
            return screenGrab().copy(below) == before;
        };
        for (Error error : {NO_ERROR, NO_FACE, EMPTY_FRAME}) {
            w->adjustSystemTrayBasedOnFunctionalityAccessingCamera(INTERACTIVE_TRAINING);
            QVERIFY2(still(), qPrintable(texts.join(" | ")));
            error == NO_ERROR ? w->responceToBlink() : w->showError(error);
            QVERIFY2(still(), qPrintable(texts.join(" | ")));
        }
        texts.removeDuplicates();
        QCOMPARE(texts.size(), 4);
    }

    void languageListShowsEntriesWhole()
    {
        // Opened as a user opens it, the list draws each language's name as
        // wide as the name drawn alone (no ellipsis), inside its own width.
        Translators translators;
        auto w = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()) && guisheet::open(w.get(), guisheet::pages().at(1)));
        auto* list = child<QComboBox>(w.get(), "comboBox_chosenLanguage");
        child<QScrollArea>(w.get(), "scrollArea_pages")->ensureWidgetVisible(list);
        QTest::mouseClick(list, Qt::LeftButton);
        QTRY_VERIFY(list->view()->isVisible());
        QTest::qWait(200);
        const QImage shot = screenGrab();
        const qreal ratio = w->devicePixelRatioF();
        QWidget* port = list->view()->viewport();
        // The columns of a row's text: pixels half way or more from its
        // background (its commonest grey) to the grey farthest from that.
        const auto inkColumns = [](const QImage& row) {
            QVector<int> greys(256, 0);
            for (int y = 0; y < row.height(); ++y)
                for (int x = 0; x < row.width(); ++x)
                    ++greys[qGray(row.pixel(x, y))];
            const int background = int(std::max_element(greys.begin(), greys.end()) - greys.begin());
            int far = 1;
            for (int grey = 0; grey < 256; ++grey)
                far = greys[grey] ? qMax(far, qAbs(grey - background)) : far;
            QPair<int, int> span(-1, -1);
            for (int x = 0; x < row.width(); ++x)
                for (int y = 0; y < row.height(); ++y)
                    if (2 * qAbs(qGray(row.pixel(x, y)) - background) >= far)
                        span = {span.first < 0 ? x : span.first, x};
            return span;
        };
        for (int row = 0; row < list->count(); ++row) {
            const QRect item = list->view()->visualRect(list->model()->index(row, 0)) & port->rect();
            const QImage drawn = shot.copy(QRect(port->mapToGlobal(item.topLeft()) * ratio, item.size() * ratio));
            QImage alone(drawn.size() * 2, QImage::Format_RGB32);
            alone.setDevicePixelRatio(ratio);
            alone.fill(Qt::white);
            QPainter painter(&alone);
            painter.setFont(list->view()->font());
            painter.drawText(QPointF(item.height(), item.height() / 2.0), list->itemText(row));
            painter.end();
            const QPair<int, int> ink = inkColumns(drawn.copy(drawn.rect().adjusted(1, 1, -1, -1)));
            const QPair<int, int> whole = inkColumns(alone);
            const QString seen =
                QString::asprintf("%s: ink %d..%d of %d, alone %d wide", qPrintable(list->itemText(row)),
                                  ink.first, ink.second, drawn.width(), whole.second - whole.first);
            QVERIFY2(ink.first > 0 && ink.second < drawn.width() - 3, qPrintable(seen));
            QVERIFY2(qAbs(ink.second - ink.first - whole.second + whole.first) <= 1, qPrintable(seen));
        }
    }

    void noBlackFrameWithoutCompositor()
    {
        QVERIFY(!compositing::translucencyBlended());
        auto w = firstStartWindow();
        WidgetStatistics statistics(w.get());
        WidgetProxy proxy(w.get());
        statistics.move(50, 50);
        proxy.move(100, 600);
        statistics.show();
        proxy.show();
        for (QWidget* window : {static_cast<QWidget*>(w.get()), static_cast<QWidget*>(&statistics),
                                static_cast<QWidget*>(&proxy)})
            QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(300);
        const QImage screen = screenGrab();
        for (QWidget* window : {static_cast<QWidget*>(w.get()), static_cast<QWidget*>(&statistics),
                                static_cast<QWidget*>(&proxy)}) {
            const QVector<QColor> edge = edgePixels(screen, window->frameGeometry());
            const int black = int(std::count_if(edge.begin(), edge.end(), isBlack));
            QVERIFY2(black == 0, qPrintable(QStringLiteral("%1: %2 of %3 edge pixels black")
                                                .arg(window->metaObject()->className())
                                                .arg(black)
                                                .arg(edge.size())));
        }
    }

    void shadowOnceCompositorStarts()
    {
        // First shown on a desktop without compositing manager, as at a
        // login where the manager starts after the program...
        auto w = firstStartWindow();
        WidgetProxy proxy(w.get());
        proxy.move(100, 300);
        proxy.show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(QTest::qWaitForWindowExposed(&proxy));
        const QSize opaque = w->size();
        // Hidden as into the tray (this desktop has none).
        w->hide();
        proxy.hide();

        // ...then shown again once one runs.
        QProcess manager;
        manager.start(QStringLiteral("xcompmgr"), QStringList());
        QVERIFY2(manager.waitForStarted(5000), "xcompmgr (scripts/install-deps.sh)");
        QTRY_VERIFY_WITH_TIMEOUT(compositing::translucencyBlended(), 10000);
        w->openWindow();
        proxy.show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(QTest::qWaitForWindowExposed(&proxy));
        QTRY_COMPARE(w->size(), opaque + QSize(18, 18));
        QTest::qWait(500);
        const QImage screen = screenGrab();
        manager.terminate();
        manager.waitForFinished(3000);
        // The desktop as the compositing manager draws it, away from the windows.
        const QColor desktop = screen.pixelColor(2, screen.height() - 3);
        for (QWidget* window : {static_cast<QWidget*>(w.get()), static_cast<QWidget*>(&proxy)}) {
            const QRect frame = window->frameGeometry();
            auto* panel = window->findChild<QWidget*>(window == w.get() ? QStringLiteral("widget_visibleLumora")
                                                                         : QStringLiteral("widgetApplication"));
            QVERIFY(panel);
            const QRect onScreen(panel->mapToGlobal(QPoint(0, 0)), panel->size());
            QVERIFY2(frame.contains(onScreen) && onScreen.left() > frame.left(),
                     window->metaObject()->className());
            // The outer edge shows the desktop through the margin...
            const QColor corner = screen.pixelColor(frame.topLeft());
            QVERIFY2(qAbs(qGray(corner.rgb()) - qGray(desktop.rgb())) < 8,
                     qPrintable(QStringLiteral("%1 on %2").arg(corner.name(), desktop.name())));
            // ...and just below the panel its shadow darkens the desktop.
            const QColor shadow = screen.pixelColor(onScreen.center().x(), onScreen.bottom() + 2);
            QVERIFY2(!isBlack(shadow) && qGray(shadow.rgb()) < qGray(desktop.rgb()) - 10,
                     qPrintable(QStringLiteral("%1 %2").arg(window->metaObject()->className(), shadow.name())));
        }
    }
    void wheelScrollsThePage()
    {
        auto w = firstStartWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        auto* area = child<QScrollArea>(w.get(), "scrollArea_pages");
        auto* plot = child<QCustomPlot>(w.get(), "customPlot_blinkMonitoring_graph");
        auto* interval = child<QSpinBox>(w.get(), "spinBox_timeBetweenBreaks");
        auto* language = child<QComboBox>(w.get(), "comboBox_chosenLanguage");
        QVERIFY(area && plot && interval && language);
        QScrollBar* bar = area->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        const int storedBefore = storedBreakInterval();
        const int intervalBefore = interval->value();

        // Brings the field into view, with the pointer over its middle.
        const auto pointAt = [area](QWidget* field) {
            area->ensureWidgetVisible(field);
            QTest::qWait(100);
            const QPoint middle(field->width() / 2, field->height() / 2);
            QWidget* under = QApplication::widgetAt(field->mapToGlobal(middle));
            return under == field || field->isAncestorOf(under) ? middle : QPoint(-1, -1);
        };
        // The wheel over a field that has not been clicked into scrolls the
        // page, towards whichever end it can still move to.
        const auto wheelPassesOver = [&](QWidget* field) {
            const QPoint middle = pointAt(field);
            const int before = bar->value();
            const int notches = before < bar->maximum() ? 2 : -2;
            turnWheel(field, middle, notches);
            const bool scrolled = notches > 0 ? bar->value() > before : bar->value() < before;
            return middle.x() >= 0 && !field->hasFocus() && scrolled;
        };

        QVERIFY(wheelPassesOver(interval));
        QCOMPARE(interval->value(), intervalBefore);
        QCOMPARE(storedBreakInterval(), storedBefore);

        // With the pointer low in the page the wheel scrolls it down to its
        // end, where the graph's axis title is in view, also once the graph
        // has come under the pointer.
        bar->setValue(0);
        QWidget* viewport = area->viewport();
        const QPoint pointer(viewport->width() / 2, viewport->height() * 2 / 3);
        int turnsOverGraph = 0;
        for (int turn = 0; turn < 30 && bar->value() < bar->maximum(); ++turn) {
            const int before = bar->value();
            const bool overGraph = plot->rect().contains(plot->mapFrom(viewport, pointer));
            turnWheel(viewport, pointer, 1);
            turnsOverGraph += overGraph && bar->value() > before;
        }
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(turnsOverGraph > 0);
        const QRect box = axisTitleBox(plot);
        QVERIFY(box.isValid());
        QVERIFY(viewport->rect().contains(QRect(plot->mapTo(viewport, box.topLeft()), box.size())));

        // Clicked into, the field takes the wheel as it always has, and the
        // page stays.
        const QPoint middle = pointAt(interval);
        QVERIFY(middle.x() >= 0);
        const QPoint p = interval->mapToGlobal(middle) * interval->devicePixelRatioF();
        QProcess::execute(QStringLiteral("xdotool"),
                          {"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
        QTRY_VERIFY(interval->hasFocus());
        const int page = bar->value();
        turnWheel(interval, middle, 2);
        QCOMPARE(interval->value(), intervalBefore - 2 * interval->singleStep());
        QCOMPARE(storedBreakInterval(), interval->value());
        QCOMPARE(bar->value(), page);

        // On the settings page, the language stays.
        child<QAbstractButton>(w.get(), "toolButton_titleBarSettings")->click();
        QTRY_VERIFY(bar->maximum() > 0);
        QVERIFY(wheelPassesOver(language));
        QCOMPARE(language->currentIndex(), 0);
    }
};

// --------------------------------------------------------------- parent

class TestWindowFit : public QObject
{
    Q_OBJECT

private slots:
    void tooSmallScreen() { runChild("scrollsWhereTooSmall", "1366x768"); }
    void scaledScreen() { runChild("scrollsWhereTooSmall", "1920x1080", {{"QT_SCALE_FACTOR", "1.5"}}); }
    void slovak() { runChild("slovakStaysOnScreen", "1280x1024"); }
    void scaledNarrowEnglish()
    {
        runChild("narrowScreenWrapsPages", "1280x800", {{"QT_SCALE_FACTOR", "1.5"}, {kLanguageVariable, "en_US"}});
    }
    void scaledNarrowGerman()
    {
        runChild("narrowScreenWrapsPages", "1280x800", {{"QT_SCALE_FACTOR", "1.5"}, {kLanguageVariable, "de_DE"}});
    }
    void doubledGerman()
    {
        runChild("narrowScreenWrapsPages", "1920x1080", {{"QT_SCALE_FACTOR", "2"}, {kLanguageVariable, "de_DE"}});
    }
    void largeScreen() { runChild("keepsSizeAndPlaceWhereItFits", "1920x1200"); }
    void withoutCompositor() { runChild("noBlackFrameWithoutCompositor", "1280x1024"); }
    void withCompositor() { runChild("shadowOnceCompositorStarts", "1280x1024"); }
    // The rows of the checks that grab the screen in a language.
    void inLanguage_data()
    {
        for (const char* column : {"check", "screen", "scale", "language"})
            QTest::addColumn<QString>(column);
        const QString status = "statusLineKeepsButtonStill", list = "languageListShowsEntriesWhole";
        for (const char* language : {"en_US", "de_DE"})
            QTest::addRow("status line 1366x768 %s", language) << status << "1366x768"
                                                               << "1" << language;
        for (const char* language : {"en_US", "sk_SK", "de_DE", "cs_CZ"}) {
            QTest::addRow("language list 1366x768 %s", language) << list << "1366x768"
                                                                 << "1" << language;
            QTest::addRow("language list 1920x1080 at 1.5 %s", language) << list << "1920x1080"
                                                                         << "1.5" << language;
        }
    }
    void inLanguage()
    {
        QFETCH(QString, check);
        QFETCH(QString, screen);
        QFETCH(QString, scale);
        QFETCH(QString, language);
        runChild(qPrintable(check), screen, {{"QT_SCALE_FACTOR", scale}, {kLanguageVariable, language}});
    }
    void wheelOnScaledScreen() { runChild("wheelScrollsThePage", "1366x768", {{"QT_SCALE_FACTOR", "2"}}); }

private:
    void runChild(const char* function, const QString& screen, const QMap<QString, QString>& extra = {})
    {
        PrivateXServer x;
        QVERIFY(x.start(screen + "x24"));
        QVERIFY(x.run("xsetroot", {"-solid", kRoot.name()}));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(x.display()));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert(kCaseVariable, "1");
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(function)});
        QVERIFY(program.waitForStarted(10000));
        const bool finished = program.waitForFinished(90000);
        const QByteArray output = program.readAll();
        // The child's verdicts, without the program's own log lines.
        QStringList verdicts;
        for (const QByteArray& line : output.split('\n'))
            if (!line.startsWith("QDEBUG") && !line.startsWith("QWARN") && !line.startsWith("QINFO"))
                verdicts << QString::fromLocal8Bit(line);
        QVERIFY2(finished && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
                 qPrintable(verdicts.join('\n')));
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(kCaseVariable)) {
        QApplication app(argc, argv);
        WindowOnScreen test;
        return QTest::qExec(&test, argc, argv);
    }
    QCoreApplication app(argc, argv);
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowfit.moc"
