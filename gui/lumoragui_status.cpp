#include "gui/lumoragui.h"

#include <QDebug>

// The status page: health graph, status line, error texts, measurement
// notices, the tray's camera-use state and the live preview.

void LumoraGUI::showBubleNotificationAboutMeasurement(double) {}
void LumoraGUI::showImage(QImage) {}
void LumoraGUI::showError(Error) {}
void LumoraGUI::adjustSystemTrayBasedOnFunctionalityAccessingCamera(Feature) {}
void LumoraGUI::updateHealthStatus(QVector<double>, QVector<int>, QVector<QDateTime>) {}
void LumoraGUI::showInternetUnreachable() {}

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

void LumoraGUI::configurelGraphAppearance() {}
void LumoraGUI::plotMouseOver(QMouseEvent*) {}

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
    m_errorBalloonShown = false;
    adjustGUIappearance();
}
