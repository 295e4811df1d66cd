#pragma once
// The feature scheduler: decides when to remind, break, exercise or
// measure. Lives on a thread of its own.

#include <QDateTime>
#include <QObject>
#include <QPoint>
#include <QString>
#include <atomic>
#include <memory>

#include "core/control/cameralist.h"
#include "core/control/presenceprobe.h"
#include "core/control/schedulerclock.h"
#include "core/lumoratypes.h"

class ApplicationController : public QObject
{
    Q_OBJECT
public:
    // What the scheduler reads from the outside world. The application
    // object gives the platform's own; a missing clock is the system clock,
    // a missing probe sees no one and a missing camera list names no camera.
    struct Seams
    {
        std::shared_ptr<SchedulerClock> clock;
        std::shared_ptr<PresenceProbe> presence;
        std::shared_ptr<CameraList> cameras;
    };

    // Longest an interactive training may watch before it is stopped.
    static constexpr int kInteractiveTrainingLimitMs = 30000;

    // Create on the GUI thread (a presence probe may sample the pointer there).
    explicit ApplicationController(QObject* parent = nullptr);
    explicit ApplicationController(Seams seams, QObject* parent = nullptr);
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

private slots:
    void accessFeature();
    void checkPresence();
    void hideBlinkReminder();
    void stopOverlongTraining();

private:
    Feature decideWhatToRun();
    void quitCameraFeature();
    void requestCameraStop();
    void startLivePreviewIfAllowed();
    void startPresenceTimerIfNeeded();
    // The wall clock now. A step of the wall clock since the last reading
    // moves the times kept on it by as much, so what is left of them stays.
    QDateTime currentTime();
    QString convertCurrentSettingsToString();
    static QString codeToText(Feature f);
    static QString errorToText(Error e);

    Seams seams;
    WallClockSteps wallClock;

    bool isBreak = false;
    float brightnessFactor = 1.0f;
    bool mgdTraining = false;
    bool useWebcamInBreaks = false;
    bool isInteractive = false;
    bool naturalBreaksIncluded = false;
    std::atomic<bool> breaksEnabled{false};
    std::atomic<bool> exercisesEnabled{false};
    std::atomic<bool> trainingEnabled{false};
    std::atomic<bool> measurementEnabled{false};
    std::atomic<bool> isCameraPreviewOn{false};
    std::atomic<bool> isPaused{false};
    std::atomic<bool> isCameraPaused{false};
    std::atomic<bool> isQuitting{false};
    std::atomic<bool> screenControlEnabled{false};
    qint32 timeBetweenBreaks = 50;
    quint32 naturalBreakDuration = 3;
    qint32 cameraInUse = 0;
    qint32 preferredCameraID = 0;
    // What the log last said of the cameras, and the error that ended the
    // last run of the camera-test page's preview while it stays on: the
    // page tries the camera again every 2 s, and a retry that finds the same
    // is not written again.
    QString loggedCameras;
    Error previewError = NO_ERROR;
    qint32 blinkReminderPeriod = 30000;
    qint32 brightness = -1;
    qint32 colorTemperature = 66;
    std::atomic<Feature> featureInUse{FREE_CAMERA};
    float blinkRate = 10.0f;
    QDateTime activeSince;
    QDateTime lastActivity;
    SchedulerTimer* hideReminderTimer = nullptr;
    SchedulerTimer* accessFeatureTimer = nullptr;
    SchedulerTimer* measurementTimer = nullptr;
    SchedulerTimer* reminderCooldownTimer = nullptr;
    SchedulerTimer* presenceTimer = nullptr;
    SchedulerTimer* trainingLimitTimer = nullptr;
    QDateTime nextExercise;
    QDateTime nextBreak;
    QPoint lastCursorPos;
    bool hasCursorPos = false;
    // A stop has been asked for the running camera feature and its report
    // has not come yet; a second request would bring a second report.
    bool cameraStopPending = false;
};
