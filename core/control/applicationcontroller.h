#pragma once
// The feature scheduler: decides when to remind, break, exercise or
// measure. Lives on a thread of its own.

#include <QObject>
#include <QString>

#include "core/lumoratypes.h"

class ApplicationController : public QObject
{
    Q_OBJECT
public:
    explicit ApplicationController(QObject* parent = nullptr);
    ~ApplicationController() override;

    void deactivateScreenControl();

signals:
    void controllerInitialized();
    void finished();
    void startLivePreviewRequested();
    void stopCameraUseRequested();
    void cameraIDchanged(int);
    void blinkMeasurementRequested();
    void blinkInteractiveTrainingRequested();
    void useWebcamInBreaksChanged(bool);
    void detectUserWithWebcamRequested();
    void blinkReminderRequested();
    void userBlinked();
    void measurementCompleted(double, QString, int);
    void breakRequested();
    void breakFinished();
    void exerciseRequested();
    void exerciseFinished();
    void adjustBrightnessSlider(int);
    void adjustColorTemperatureSlider(int);
    void noHWbrightnessControlDetected();
    void HWbrightnessControlDetected(int);

public slots:
    void init();
    void detectScreensWindows(int delay);
    void skipBreak();
    void snoozeBreak();
    void quitBreak();
    void processInternalScreenBrightnessChange(int newBrightness);
    void useWebcamInComputerBreaks(bool isEnabled);
    void processDetectedBlink();
    void processError(Error e);
    void processStoppedBlinkDetection();
    void adjustBlinkTrainingForMGD();
    void processBlinkForTraining(bool blinked);
    void processMeasurement(float blinkRate, int length);
    void quitExercise();
    void setLidOpenStatus(bool isOpened);
    void includeNaturalBreaks(bool isEnabled);
    void setNaturalBreakDuration(uint duration);
    void enableBrightnessSaver(bool isEnabled);
    void enableComputerBreaks(bool isEnabled);
    void enableEyeExercisebreaks(bool isEnabled);
    void enableLivePreview(bool isEnabled);
    void enableBlinkTraining(bool isEnabled);
    void enableMeasurement(bool isEnabled);
    void enableMGDblinkTraining(bool isEnabled);
    void enableInteractiveBlinkReminder(bool isInteractive);
    void enableScreenControl(bool isEnabled, int delay);
    void changeTimeBetweenBreakReminders(int time);
    void takeMeasurementNow();
    void pauseProgram(bool isPaused);
    void pauseCameraFeatures(bool isPaused);
    void quit();
    void setBlinkReminderPeriod(int period);
    void setBrightness(int value);
    void setColorTemperature(int value);
    void setBlinkRate(float blinkRate);
    void quitBlinkTraining();
    void setCameraIDpreffered(int id);
    void reloadCameras();
};
