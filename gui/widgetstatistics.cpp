#include "gui/widgetstatistics.h"

#include <QCursor>
#include <QDebug>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QThread>
#include <QToolTip>

#include "gui/boxshadow.h"
#include "gui/healthgraph.h"
#include "gui/translucentframe.h"
#include "ui_widgetstatistics.h"

namespace {

const QString kDatePattern = QStringLiteral("d. MMM yyyy h:mm");

QString toolButtonImages(const QString& name)
{
    return QStringLiteral("QToolButton { image: url(:/icons/%1.svg); } "
                          "QToolButton:hover { image: url(:/icons/%1-dark.svg); }")
        .arg(name);
}

// The measurement graph. Its points are stamped from one picture of the
// circle: a year of measurements drawn as separate antialiased circles takes
// far longer than a slider step may.
class PointsGraph : public QCPGraph
{
public:
    using QCPGraph::QCPGraph;

protected:
    void drawScatterPlot(QCPPainter* painter, const QVector<QPointF>& scatters,
                         const QCPScatterStyle& style) const override
    {
        if (painter->modes().testFlag(QCPPainter::pmVectorized) || style.shape() != QCPScatterStyle::ssCircle) {
            QCPGraph::drawScatterPlot(painter, scatters, style);
            return;
        }
        const qreal ratio = painter->device()->devicePixelRatioF();
        const int side = qCeil(style.size() + style.pen().widthF()) + 2;
        if (point.isNull() || pointRatio != ratio || point.width() != qCeil(side * ratio)) {
            point = QPixmap(QSize(qCeil(side * ratio), qCeil(side * ratio)));
            point.setDevicePixelRatio(ratio);
            point.fill(Qt::transparent);
            QCPPainter stamp(&point);
            stamp.setAntialiasing(painter->antialiasing());
            style.applyTo(&stamp, style.pen());
            style.drawShape(&stamp, side / 2.0, side / 2.0);
            pointRatio = ratio;
        }
        for (const QPointF& at : scatters)
            painter->drawPixmap(QPointF(at.x() - side / 2.0, at.y() - side / 2.0), point);
    }

private:
    mutable QPixmap point;
    mutable qreal pointRatio = 0;
};

}  // namespace

WidgetStatistics::WidgetStatistics(QWidget* parent) : QWidget(parent), ui(new Ui_widgetStatistics)
{
    qDebug() << "SG::SGui thread id" << QThread::currentThreadId();
    ui->setupUi(this);

    ui->spanSlider->setMouseTracking(true);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    QCustomPlot* plot = ui->customPlot;
    font = QFont(QStringLiteral("Roboto"), 11);
    plot->setFont(font);
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setLabelFont(font);
        axis->setSelectedLabelFont(font);
        axis->setTickLabelFont(font);
        axis->setRange(0, 12);
        axis->setTickLength(0, 0);
        axis->setSubTickLength(0, 0);
        axis->grid()->setVisible(false);
    }
    plot->xAxis->setLabelPadding(0);
    plot->yAxis->setLabelPadding(6);
    plot->xAxis->setPadding(0);
    plot->yAxis->setPadding(9);
    plot->xAxis->setTicks(false);
    plot->yAxis->setSubTicks(false);

    healthyText = healthgraph::addHealthyLabel(plot, font);
    healthyLine = healthgraph::addHealthyLine(plot);

    new PointsGraph(plot->xAxis, plot->yAxis);  // owned and listed by the plot
    // The 1.5-pixel line through thousands of points is drawn as segments.
    plot->setPlottingHint(QCP::phFastPolylines, true);

    // Painted by each box's parent from a kept image: a slider step redraws
    // the slider and the graph alone, not the boxes around them.
    addBoxShadows({ui->widgetTitleBar, ui->widgetApplication, ui->widgetGraph});

    ui->spanSlider->setMinimum(0);
    ui->spanSlider->setSingleStep(1);
    ui->spanSlider->setPageStep(1);

    connect(plot, &QCustomPlot::mouseMove, this, &WidgetStatistics::plotMouseOver);
    configureGraphLanguage();
}

WidgetStatistics::~WidgetStatistics()
{
    qDebug() << "SGui: destructor";
    delete ui;
}

void WidgetStatistics::setVisible(bool visible)
{
    // Decided at each showing: a compositing manager may have started or
    // stopped since.
    if (visible && isHidden()) {
        translucentframe::adapt(this, layout(), isMaximized() ? 0 : 9, [this] {
            destroy(true, false);
            create();
        });
        reserveDateLabelWidths();
    }
    QWidget::setVisible(visible);
}

void WidgetStatistics::reserveDateLabelWidths()
{
    // The labels show either form of a date: the day with the month's full
    // name and the year, or the pattern with the short month and the time.
    // Every day of the year, in the widest year and at the widest time.
    QLabel* labels[] = {ui->labelStartDate, ui->labelEndDate};
    for (QLabel* label : labels)
        label->ensurePolished();
    const QFontMetrics metrics = ui->labelStartDate->fontMetrics();
    const auto widest = [&metrics](int from, int to) {
        int found = from;
        for (int n = from; n < to; ++n)
            if (metrics.horizontalAdvance(QString::number(n)) > metrics.horizontalAdvance(QString::number(found)))
                found = n;
        return found;
    };
    const int hour = widest(0, 24);
    const int minute = widest(10, 60);
    const int year = widest(2000, 2100);
    const QLocale locale;
    int width = 0;
    // A leap year gives each day of the month its turn, 29 February too.
    for (QDate leap(2024, 1, 1); leap.year() == 2024; leap = leap.addDays(1)) {
        const QDate day(year, leap.month(), qMin(leap.day(), QDate(year, leap.month(), 1).daysInMonth()));
        width = qMax(width, metrics.horizontalAdvance(dateToString(QDateTime(day, QTime(0, 0)))));
        const QString pattern = locale.toString(QDateTime(day, QTime(hour, minute)), kDatePattern);
        width = qMax(width, metrics.horizontalAdvance(pattern));
    }
    for (QLabel* label : labels)
        label->setMinimumWidth(width + 2 * (label->margin() + label->frameWidth()));
}

void WidgetStatistics::configureGraphLanguage()
{
    ui->customPlot->yAxis->setLabel(tr("Blinks per minute (bpm)"));
    healthyText->setText(tr("healthy"));
}

void WidgetStatistics::rebuildDateLabels()
{
    // Labels are made when first read: a year of measurements would take
    // longer to format than a slider step may.
    dateLabels = QVector<QString>(dateTimes.size());
}

QString WidgetStatistics::dateLabel(int i)
{
    if (dateLabels[i].isNull())
        dateLabels[i] = QLocale().toString(dateTimes[i], kDatePattern);
    return dateLabels[i];
}

void WidgetStatistics::updateStatistics(QVector<double> blinkRates, QVector<int> blinkLengths,
                                        QVector<QDateTime> dateTimes, int measurementSize)
{
    if (blinkRates.isEmpty()) {
        // An empty range of a history that still has measurements changes
        // nothing; an empty history (after a deletion) is shown as such.
        if (measurementSize == 0)
            showEmptyHistory();
        return;
    }

    QString startText;
    QString endText;
    if (!dateTimes.isEmpty()) {
        startText = dateToString(dateTimes.first());
        endText = dateToString(dateTimes.last());
    }

    this->blinkRates = blinkRates;
    this->blinkLengths = blinkLengths;
    this->dateTimes = dateTimes;
    rebuildDateLabels();

    ui->labelStartDate->setText(startText);
    ui->labelEndDate->setText(endText);

    setupGraph(blinkRates);

    // The first answer after being hidden opens the window and sets the
    // slider to the answer's range; the slider then asks for that range
    // itself. While visible, the answers follow the slider and leave it be.
    if (isHidden()) {
        show();
        ui->spanSlider->setMaximum(measurementSize);
        ui->spanSlider->setSpan(measurementSize - blinkRates.size(), measurementSize);
    }
}

void WidgetStatistics::showEmptyHistory()
{
    blinkRates.clear();
    blinkLengths.clear();
    dateTimes.clear();
    dateLabels.clear();
    ui->labelStartDate->clear();
    ui->labelEndDate->clear();
    QToolTip::hideText();

    // The store is empty, so there is no range to ask it for.
    {
        const QSignalBlocker quiet(ui->spanSlider);
        ui->spanSlider->setMaximum(0);
        ui->spanSlider->setSpan(0, 0);
    }
    ui->spanSlider->update();

    setupGraph(QVector<double>());
    ui->customPlot->xAxis->setRange(0, 12);
    ui->customPlot->replot(QCustomPlot::rpRefreshHint);
}

void WidgetStatistics::setupGraph(QVector<double> rates)
{
    QCustomPlot* plot = ui->customPlot;
    healthgraph::plotRates(plot, healthyLine, rates);
    plot->replot(QCustomPlot::rpRefreshHint);
}

QString WidgetStatistics::dateToString(QDateTime dateTime)
{
    const QDate date = dateTime.date();
    return QStringLiteral("%1 %2 %3").arg(date.day()).arg(QLocale().monthName(date.month())).arg(date.year());
}

void WidgetStatistics::plotMouseOver(QMouseEvent* event)
{
    QCustomPlot* plot = ui->customPlot;
    QCPAbstractPlottable* plottable = plot->plottableAt(event->pos());
    if (!plottable) {
        QToolTip::showText(QPoint(), QString());
        return;
    }

    const double x = plot->xAxis->pixelToCoord(event->pos().x());
    const double y = plot->yAxis->pixelToCoord(event->pos().y());
    auto* graph = qobject_cast<QCPGraph*>(plottable);
    if (!graph || graph->data()->isEmpty())
        return;

    const QCPGraphData* hit = healthgraph::pointNear(graph, x, y);
    if (!hit)
        return;

    int i = int(hit->key);
    if (i > blinkRates.size() - 1)
        i = blinkRates.size() - 1;
    // The copies are empty after a deletion; the lengths and labels always
    // come with the rates, but a short one must not be read past its end.
    if (blinkRates.isEmpty() || i < 0 || i >= blinkLengths.size() || i >= dateLabels.size()) {
        QToolTip::showText(QPoint(), QString());
        return;
    }

    const QString text = dateLabel(i) + "\n" + tr("Blink rate:") + " " +
                         QString::number(blinkRates[i], 'g', 6) + " " + tr("blinks per minute") + "\n" +
                         tr("Average blink duration:") + " " + QString::number(blinkLengths[i]) + " " +
                         tr("milliseconds");
    QToolTip::showText(plot->mapFromParent(QCursor::pos()) - QPoint(80, 0), text, plot, plot->rect());
}

void WidgetStatistics::on_spanSlider_spanChanged(int lower, int upper)
{
    qDebug() << "SGui: lower upper" << lower << upper;
    emit sliderIntervalChanged(lower, upper);
}

void WidgetStatistics::on_pushButton_clicked()
{
    QMessageBox box(this);
    box.setText(tr("Are you sure to delete all measurements?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    blinkRates.clear();
    blinkLengths.clear();
    dateTimes.clear();
    dateLabels.clear();
    emit deleteHistory();
}

void WidgetStatistics::on_toolButtonMaximize_clicked()
{
    if (isMaximized()) {
        ui->toolButtonMaximize->setStyleSheet(toolButtonImages(QStringLiteral("max")));
        const int margin = translucentframe::margin(this, 9);
        ui->verticalLayoutStatistics->setContentsMargins(margin, margin, margin, margin);
        showNormal();
    } else {
        ui->toolButtonMaximize->setStyleSheet(toolButtonImages(QStringLiteral("normal")));
        ui->verticalLayoutStatistics->setContentsMargins(0, 0, 0, 0);
        showMaximized();
    }
}

void WidgetStatistics::on_toolButtonClose_clicked()
{
    hide();
}

void WidgetStatistics::mousePressEvent(QMouseEvent* event)
{
    QPoint inApplication = ui->widgetApplication->mapFrom(this, event->pos());
    inApplication.setX(qMax(0, inApplication.x()));
    inApplication.setY(qMax(0, inApplication.y()));
    const QRect titleBar(ui->widgetTitleBar->mapTo(ui->widgetApplication, QPoint(0, 0)),
                         ui->widgetTitleBar->size());
    dragStart = titleBar.contains(inApplication) ? event->pos() : QPoint(0, 0);
    QWidget::mousePressEvent(event);
}

void WidgetStatistics::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && dragStart != QPoint(0, 0))
        move(pos() + (event->pos() - dragStart));
    QWidget::mouseMoveEvent(event);
}

void WidgetStatistics::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        rebuildDateLabels();
        configureGraphLanguage();
        ui->retranslateUi(this);
        reserveDateLabelWidths();
        if (!dateLabels.isEmpty()) {
            ui->labelStartDate->setText(dateLabel(0));
            ui->labelEndDate->setText(dateLabel(dateLabels.size() - 1));
        }
        ui->customPlot->replot(QCustomPlot::rpRefreshHint);
    }
    QWidget::changeEvent(event);
}
