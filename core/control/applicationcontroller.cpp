#include "core/control/applicationcontroller.h"

#include <QDebug>

ApplicationController::ApplicationController(QObject* parent) : QObject(parent) {}
ApplicationController::~ApplicationController() = default;

void ApplicationController::deactivateScreenControl() {}

void ApplicationController::init()
{
    qDebug() << "ApplicationController::init()";
    emit controllerInitialized();
}

void ApplicationController::quit()
{
    qDebug() << "ApplicationController::quit()";
    emit finished();
}

void ApplicationController::detectScreensWindows(int /*delay*/) {}
void ApplicationController::skipBreak() {}
void ApplicationController::snoozeBreak() {}
void ApplicationController::quitBreak() {}
void ApplicationController::processInternalScreenBrightnessChange(int /*newBrightness*/) {}
void ApplicationController::useWebcamInComputerBreaks(bool /*isEnabled*/) {}
void ApplicationController::processDetectedBlink() {}
void ApplicationController::processError(Error /*e*/) {}
void ApplicationController::processStoppedBlinkDetection() {}
void ApplicationController::adjustBlinkTrainingForMGD() {}
void ApplicationController::processBlinkForTraining(bool /*blinked*/) {}
void ApplicationController::processMeasurement(float /*blinkRate*/, int /*length*/) {}
void ApplicationController::quitExercise() {}
void ApplicationController::setLidOpenStatus(bool /*isOpened*/) {}
void ApplicationController::includeNaturalBreaks(bool /*isEnabled*/) {}
void ApplicationController::setNaturalBreakDuration(uint /*duration*/) {}
void ApplicationController::enableBrightnessSaver(bool /*isEnabled*/) {}
void ApplicationController::enableComputerBreaks(bool /*isEnabled*/) {}
void ApplicationController::enableEyeExercisebreaks(bool /*isEnabled*/) {}
void ApplicationController::enableLivePreview(bool /*isEnabled*/) {}
void ApplicationController::enableBlinkTraining(bool /*isEnabled*/) {}
void ApplicationController::enableMeasurement(bool /*isEnabled*/) {}
void ApplicationController::enableMGDblinkTraining(bool /*isEnabled*/) {}
void ApplicationController::enableInteractiveBlinkReminder(bool /*isInteractive*/) {}
void ApplicationController::enableScreenControl(bool /*isEnabled*/, int /*delay*/) {}
void ApplicationController::changeTimeBetweenBreakReminders(int /*time*/) {}
void ApplicationController::takeMeasurementNow() {}
void ApplicationController::pauseProgram(bool /*isPaused*/) {}
void ApplicationController::pauseCameraFeatures(bool /*isPaused*/) {}
void ApplicationController::setBlinkReminderPeriod(int /*period*/) {}
void ApplicationController::setBrightness(int /*value*/) {}
void ApplicationController::setColorTemperature(int /*value*/) {}
void ApplicationController::setBlinkRate(float /*blinkRate*/) {}
void ApplicationController::quitBlinkTraining() {}
void ApplicationController::setCameraIDpreffered(int /*id*/) {}
void ApplicationController::reloadCameras() {}
