#include "gui/lumoragui.h"

// The status page: health graph, status line, error texts, measurement
// notices, the tray's camera-use state and the live preview.

#include <QDebug>
#include <QLocale>
#include <QMouseEvent>
#include <QPixmap>
#include <QToolTip>

#include <qcustomplot.h>

#include "gui/healthgraph.h"
#include "gui/livepicture.h"
#include "ui_lumoragui.h"

using healthgraph::kHealthyRate;

void LumoraGUI::configurelGraphAppearance()
{
    QCustomPlot* plot = ui->customPlot_blinkMonitoring_graph;
    plot->setFont(m_graphFont);
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setLabelFont(m_graphFont);
        axis->setSelectedLabelFont(m_graphFont);
        axis->setTickLabelFont(m_graphFont);
        axis->setAntialiased(true);
        axis->setPadding(9);
        axis->grid()->setVisible(false);
    }
    plot->xAxis->setLabelPadding(9);
    plot->yAxis->setLabelPadding(6);
    plot->yAxis->setTickLength(0, 0);
    plot->xAxis->setTicks(false);
    plot->yAxis->setSubTicks(false);

    m_healthyText = healthgraph::addHealthyLabel(plot, m_graphFont);
    m_healthyLine = healthgraph::addHealthyLine(plot);
    m_healthyLine->start->setCoords(-1.0, kHealthyRate);
    m_healthyLine->end->setCoords(10.0, kHealthyRate);

    plot->addGraph();
    configureGraphLanguage();
}

void LumoraGUI::updateHealthStatus(QVector<double> rates, QVector<int> lengths, QVector<QDateTime> times)
{
    const QLocale locale;
    QVector<QString> texts;
    texts.reserve(times.size());
    for (const QDateTime& t : qAsConst(times))
        texts.append(locale.toString(t, QStringLiteral("d. MMM yyyy h:mm")));

    // Rates above the healthy one count as healthy, no more.
    float sum = 0.0f;
    for (double rate : qAsConst(rates))
        sum += float(qMin(rate, kHealthyRate));
    const float health = rates.isEmpty() ? 0.0f : sum / float(rates.size());

    m_recentRates = rates;
    m_recentLengths = lengths;
    m_recentTimes = times;
    m_recentTimeTexts = texts;

    if (!rates.isEmpty()) {
        m_statusMessage = NO_MESSAGE;
        ui->label_blinkMonitoringMessage->hide();
        ui->pushButton_blinkMonitoringTakeFirstMeasurement->hide();
        emit blinkRateChanged(health);
    } else {
        m_statusMessage = NO_MEASUREMENT_YET;
        ui->label_blinkMonitoringMessage->setText(messageToText(NO_MEASUREMENT_YET));
        ui->label_blinkMonitoringMessage->show();
        ui->pushButton_blinkMonitoringTakeFirstMeasurement->show();
    }
    updateGraph(rates);
    adjustGUIappearance();
}

void LumoraGUI::updateGraph(QVector<double> rates)
{
    QCustomPlot* plot = ui->customPlot_blinkMonitoring_graph;
    QCPGraph* graph = plot->graph(0);
    if (rates.isEmpty()) {
        // The history is gone (deleted): none of it may stay drawn.
        if (!graph->data()->isEmpty()) {
            graph->data()->clear();
            QToolTip::hideText();
            plot->replot(QCustomPlot::rpQueuedReplot);
        }
        return;
    }

    healthgraph::plotRates(plot, m_healthyLine, rates);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void LumoraGUI::plotMouseOver(QMouseEvent* event)
{
    QCustomPlot* plot = ui->customPlot_blinkMonitoring_graph;
    QCPAbstractPlottable* plottable = plot->plottableAt(event->pos());
    if (!plottable) {
        QToolTip::hideText();
        return;
    }
    auto* graph = qobject_cast<QCPGraph*>(plottable);
    if (!graph)
        return;

    const double x = plot->xAxis->pixelToCoord(event->pos().x());
    const double y = plot->yAxis->pixelToCoord(event->pos().y());
    const QCPGraphData* hit = healthgraph::pointNear(graph, x, y);

    const QPoint at = event->globalPos();
    if (!hit) {
        QToolTip::hideText();
        QToolTip::showText(at - QPoint(0, 80), tr("Open history"), plot, plot->rect());
        return;
    }
    const int n = m_recentRates.size();
    const int i = qMin(int(hit->key), n - 1);
    // The lengths and texts come with the rates; a short one is never read past its end.
    if (n == 0 || i < 0 || i >= m_recentLengths.size() || i >= m_recentTimeTexts.size()) {
        QToolTip::hideText();
        return;
    }
    const QString text = m_recentTimeTexts[i] + "\n" + tr("Blink rate:") + " "
                         + QString::number(m_recentRates[i], 'g', 6) + " " + tr("blinks per minute") + "\n"
                         + tr("Average blink duration:") + " " + QString::number(m_recentLengths[i]) + " "
                         + tr("milliseconds");
    QToolTip::showText(at, text, plot, plot->rect());
}

void LumoraGUI::on_pushButton_blinkMonitoringTakeFirstMeasurement_clicked()
{
    // The measurement runs already: a click neither starts another nor
    // takes back what the status line says.
    if (m_statusMessage == MEASUREMENT_IN_PROGRESS)
        return;
    m_statusMessage = MEASUREMENT_STARTS_SHORTLY;
    ui->label_blinkMonitoringMessage->setText(messageToText(MEASUREMENT_STARTS_SHORTLY));
    ui->label_blinkMonitoringMessage->show();
    // Switches measuring on through its handler when it was off.
    ui->toolButton_blinkMonitoringOnOff->setChecked(true);
    emit measurementRequested();
}

void LumoraGUI::showError(Error e)
{
    // The camera-test page tries again every 2 s: an error already shown
    // that comes again is not written again.
    const Error shownBefore = m_errorShown ? m_currentError : NO_ERROR;
    m_currentError = e;
    m_statusMessage = NO_MESSAGE;
    switch (e) {
    case LOW_MEMORY_OR_MISSING_MODEL:
    case MISSING_SYSTEM_TOOL:
        m_errorShown = true;
        break;
    case CAMERA_OCCUPIED:
    case NO_CAMERA:
        reloadCameras(-1);
        m_errorShown = true;
        m_currentError = ui->comboBox_chooseCamera->count() == 0 ? NO_CAMERA : CAMERA_OCCUPIED;
        break;
    case EMPTY_FRAME:
        reloadCameras(-1);
        m_errorShown = true;
        break;
    default:
        break;
    }
    // The camera-test page tries again by itself, so that a camera plugged
    // back in returns to its list and its picture without leaving the page.
    if ((e == CAMERA_OCCUPIED || e == EMPTY_FRAME || e == NO_CAMERA) && !ui->widget_livePreviewPage->isHidden())
        m_previewRetryTimer->start();
    // A changing picture will show that the camera works again. The
    // unreadable landmark model lets no picture come.
    m_errorAwaitsPicture = !m_modelUnreadable && (m_errorShown || m_currentError != NO_ERROR);
    if (m_currentError != shownBefore) {
        m_retryLogged = false;
        qDebug() << "LumoraGUI::showError" << errorToText(m_currentError);
    }
    adjustGUIappearance();
}

// The scheduler lists the cameras as it starts the preview, and the error
// that follows a failed retry lists them here.
void LumoraGUI::retryLivePreview()
{
    if (ui->widget_livePreviewPage->isHidden() || cameraUseHeld())
        return;
    if (!m_retryLogged)
        qDebug() << "LumoraGUI::retryLivePreview() every" << m_previewRetryTimer->interval() << "ms";
    m_retryLogged = true;
    emit cameraPreviewEnabled(true);
}

bool LumoraGUI::cameraUseHeld() const
{
    return m_presentationMode || m_cameraPaused;
}

QString LumoraGUI::cameraHoldText() const
{
    return m_presentationMode ? tr("lumora - presentation mode") : tr("lumora camera use paused");
}

// While the camera may not be used, no measurement is promised (the first
// one's button is off while camera use is paused; the whole section while
// the program is), and the camera-test page shows the empty picture, not a
// last frame that looks live, with the pause in its title.
void LumoraGUI::showCameraHold()
{
    ui->pushButton_blinkMonitoringTakeFirstMeasurement->setEnabled(!m_cameraPaused);
    const bool onPage = !ui->widget_livePreviewPage->isHidden();
    if (!cameraUseHeld()) {
        if (onPage)
            ui->label_titleBarTitle->setText(tr("Test blink detection"));
        return;
    }
    if (m_statusMessage == MEASUREMENT_STARTS_SHORTLY)
        m_statusMessage = NO_MEASUREMENT_YET;
    if (!onPage)
        return;
    ui->label_titleBarTitle->setText(cameraHoldText());
    showPreviewPicture(m_previewPlaceholder);
}

// The camera works again: its last error is no longer shown.
void LumoraGUI::clearCameraError()
{
    m_errorShown = false;
    if (ui->widget_warningWin10->isVisible())
        ui->widget_warningWin10->hide();
    m_currentError = NO_ERROR;
    m_errorAwaitsPicture = false;
    m_retryLogged = false;
}

// Only a picture that keeps changing is live: a camera that gives one
// picture again and again (a photo, a frozen driver) fails again at each
// retry. A live picture, in any run, lets its next error balloon again.
void LumoraGUI::cameraPictureChanged()
{
    m_balloonError = NO_ERROR;
    if (!m_errorAwaitsPicture || cameraUseHeld())
        return;
    qDebug() << "LumoraGUI::cameraPictureChanged() the camera delivers again";
    clearCameraError();
    m_previewRetryTimer->stop();
    // The list may have been emptied by the error.
    reloadCameras(-1);
    // The error took the status line's message; while the line shows, no
    // measurement has been taken yet.
    if (m_statusMessage == NO_MESSAGE && !ui->label_blinkMonitoringMessage->isHidden())
        m_statusMessage = NO_MEASUREMENT_YET;
    adjustGUIappearance();
}

void LumoraGUI::adjustSystemTrayBasedOnFunctionalityAccessingCamera(Feature f)
{
    qDebug() << "LumoraGUI::adjustSystemTrayBasedOnFunctionalityAccessingCamera" << int(f);
    clearCameraError();
    if (f == INTERACTIVE_TRAINING) {
        m_statusMessage = TRAINING_OBSERVES_USER;
    } else if (f == MEASUREMENT) {
        m_statusMessage = MEASUREMENT_IN_PROGRESS;
        if (ui->label_blinkMonitoringMessage->isVisible())
            ui->label_blinkMonitoringMessage->setText(messageToText(MEASUREMENT_IN_PROGRESS));
    }
    adjustGUIappearance();
}

void LumoraGUI::showBubleNotificationAboutMeasurement(double rate)
{
    if (!ui->checkBox_enableCompletedMeasurementNotification->isChecked() || !m_trayIcon)
        return;
    showTrayBalloon(tr("Blink measurement completed"),
                    tr("Blink rate: ") + QString::number(rate, 'g', 6) + tr(" blinks per minute"),
                    QSystemTrayIcon::NoIcon, 5000);
}

// The frame is the window's own copy, so the engine may reuse its image.
// It repaints the picture alone: no new layout, nothing around it.
void LumoraGUI::showImage(QImage frame)
{
    // A frame the engine sent before it heard of a pause would stay on the
    // page as if the camera still watched.
    if (cameraUseHeld())
        return;
    showPreviewPicture(frame);
}

// The same picture again, as the error picture of each failed retry of the
// camera, is on screen already: it is neither converted nor repainted.
void LumoraGUI::showPreviewPicture(const QImage& frame)
{
    if (m_livePicture && frame.cacheKey() == m_shownPictureKey && m_previewWidth == m_shownPictureWidth)
        return;
    m_shownPictureKey = frame.cacheKey();
    m_shownPictureWidth = m_previewWidth;
    if (!m_livePicture)
        m_livePicture = new LivePicture(ui->label_image);
    m_livePicture->showFrame(QPixmap::fromImage(frame).scaledToWidth(m_previewWidth, Qt::FastTransformation));
}

void LumoraGUI::showInternetUnreachable()
{
    ui->label_noInternet->show();
}

QString LumoraGUI::messageToText(BlinkMonitoringMessage m) const
{
    switch (m) {
    case MEASUREMENT_STARTS_SHORTLY:
        return tr("Measurement will start shortly.");
    case NO_MEASUREMENT_YET:
        return tr("No measurement taken yet. Your blink rate is measured approximately every 30 minutes.");
    case MEASUREMENT_IN_PROGRESS:
        return tr("Measurement in progress");
    case TRAINING_OBSERVES_USER:
        return tr("Lumora observes your blinks (blink training is active).");
    default:
        return QString();
    }
}

QString LumoraGUI::errorToText(Error e) const
{
    switch (e) {
    case LOW_MEMORY_OR_MISSING_MODEL:
        return tr("Error:") + tr(" insufficient memory RAM or missing data.dat.");
    case CAMERA_OCCUPIED:
        return tr("Error:") + tr(" camera is used by other software.");
    case LOW_FPS:
        return tr("Error:") + tr(" low frame per second, cheap camera or bad light conditions.");
    case NO_FACE:
        return tr("Face not detected, please test blink detection performance (webcam icon).");
    case MORE_FACES:
        return tr("More than one face detected.");
    case EMPTY_FRAME:
        return tr("Error:") + tr(" empty frame received, camera unplugged? (or bad cable or broken camera or bad driver).");
    case MISSING_SYSTEM_TOOL:
        return tr("Error:") + tr(" wmic.exe missing from Windows PATH. Windows installation is corrupted.");
    case NO_CAMERA:
        return tr("Error:") + tr(" camera is not connected.");
    default:
        return tr("no error");
    }
}

// An error shown while no switched-on feature needs the camera any more is
// cleared. The unreadable landmark model stays: nothing can clear it.
void LumoraGUI::checkToDisableErrorToolTipIfNoCameraNeeded()
{
    if (!m_errorShown || m_modelUnreadable)
        return;
    if (m_isMeasurementOn || (m_isTrainingOn && m_isInteractiveReminder))
        return;
    qDebug() << "LumoraGUI::checkToDisableErrorToolTipIfNoCameraNeeded()";
    if (m_currentError != MISSING_SYSTEM_TOOL)
        m_currentError = NO_ERROR;
    m_errorShown = false;
    adjustGUIappearance();
}
