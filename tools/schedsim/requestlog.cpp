#include "tools/schedsim/requestlog.h"

#include "core/control/applicationcontroller.h"

RequestLog::RequestLog(ApplicationController* c, Sink sink, QObject* parent) : QObject(parent), m_sink(std::move(sink))
{
    using AC = ApplicationController;
    const auto plain = [this, c](void (AC::*signal)(), const char* name) {
        const QString text = QString::fromLatin1(name) + QStringLiteral("()");
        connect(c, signal, this, [this, text]() { m_sink(text); });
    };
    const auto withInt = [this, c](void (AC::*signal)(int), const char* name) {
        const QString text = QString::fromLatin1(name);
        connect(c, signal, this, [this, text](int v) { m_sink(QStringLiteral("%1(%2)").arg(text).arg(v)); });
    };
    plain(&AC::controllerInitialized, "controllerInitialized");
    plain(&AC::finished, "finished");
    plain(&AC::startLivePreviewRequested, "startLivePreviewRequested");
    plain(&AC::stopCameraUseRequested, "stopCameraUseRequested");
    withInt(&AC::cameraIDchanged, "cameraIDchanged");
    plain(&AC::blinkMeasurementRequested, "blinkMeasurementRequested");
    plain(&AC::blinkInteractiveTrainingRequested, "blinkInteractiveTrainingRequested");
    connect(c, &AC::useWebcamInBreaksChanged, this, [this](bool on) {
        m_sink(QStringLiteral("useWebcamInBreaksChanged(%1)").arg(on ? "true" : "false"));
    });
    plain(&AC::detectUserWithWebcamRequested, "detectUserWithWebcamRequested");
    plain(&AC::blinkReminderRequested, "blinkReminderRequested");
    plain(&AC::userBlinked, "userBlinked");
    connect(c, &AC::measurementCompleted, this, [this](double rate, const QString& note, int length) {
        m_sink(QStringLiteral("measurementCompleted(%1, \"%2\", %3)").arg(rate).arg(note).arg(length));
    });
    plain(&AC::breakRequested, "breakRequested");
    plain(&AC::breakFinished, "breakFinished");
    plain(&AC::exerciseRequested, "exerciseRequested");
    plain(&AC::exerciseFinished, "exerciseFinished");
    withInt(&AC::adjustBrightnessSlider, "adjustBrightnessSlider");
    withInt(&AC::adjustColorTemperatureSlider, "adjustColorTemperatureSlider");
    plain(&AC::noHWbrightnessControlDetected, "noHWbrightnessControlDetected");
    withInt(&AC::HWbrightnessControlDetected, "HWbrightnessControlDetected");
}
