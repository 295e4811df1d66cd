#include "core/control/applicationcontroller.h"

#include <QDebug>
#include <QStringList>
#include <QThread>
#include <cmath>

namespace {

constexpr int kTickMs = 2000;
constexpr int kPresenceCheckMs = 60000;
constexpr qint64 kGraceMs = 15000;
constexpr qint64 kExercisePeriodMs = 1140000;
constexpr int kPlainReminderMs = 3000;
constexpr int kBreakOrExerciseCooldownMs = 20000;
constexpr int kFirstMeasurementMs = 120000;
constexpr int kNextMeasurementMs = 1800000;
constexpr int kMeasurementRetryMs = 480000;
constexpr int kSnoozeMs = 300000;
constexpr qint64 kExerciseHoldBackSecs = 301;

const char* boolText(bool b)
{
    return b ? "true" : "false";
}

void startIfAny(SchedulerTimer* t, int ms)
{
    if (t)
        t->start(ms);
}

void stopIfAny(SchedulerTimer* t)
{
    if (t)
        t->stop();
}

ApplicationController::Seams withDefaults(ApplicationController::Seams s)
{
    if (!s.clock)
        s.clock = std::make_shared<SystemSchedulerClock>();
    if (!s.presence)
        s.presence = std::make_shared<NoPresenceProbe>();
    if (!s.cameras)
        s.cameras = std::make_shared<NoCameraList>();
    return s;
}

}  // namespace

ApplicationController::ApplicationController(QObject* parent) : ApplicationController(Seams{}, parent) {}

ApplicationController::ApplicationController(Seams s, QObject* parent)
    : QObject(parent),
      seams(withDefaults(std::move(s))),
      wallClock(seams.clock.get())
{
    activeSince = currentTime();
    nextExercise = currentTime().addMSecs(kExercisePeriodMs);
    nextBreak = currentTime().addSecs(timeBetweenBreaks * 60);
    const PresenceSample start = seams.presence->sample();
    if (start.hasCursor) {
        lastCursorPos = start.cursor;
        hasCursorPos = true;
    }
    qDebug() << "ApplicationController::ApplicationController";
}

ApplicationController::~ApplicationController()
{
    qDebug() << "ApplicationController::~ApplicationController() thread" << QThread::currentThreadId();
}

void ApplicationController::deactivateScreenControl() {}

void ApplicationController::init()
{
    qDebug() << "ApplicationController::init()";
    SchedulerClock* clock = seams.clock.get();

    hideReminderTimer = clock->createTimer(this);
    hideReminderTimer->setSingleShot(true);
    connect(hideReminderTimer, &SchedulerTimer::timeout, this, &ApplicationController::hideBlinkReminder);

    accessFeatureTimer = clock->createTimer(this);
    accessFeatureTimer->setInterval(kTickMs);
    connect(accessFeatureTimer, &SchedulerTimer::timeout, this, &ApplicationController::accessFeature);
    accessFeatureTimer->start();

    // Countdowns: unconnected, read with remainingTime().
    measurementTimer = clock->createTimer(this);
    measurementTimer->setSingleShot(true);
    reminderCooldownTimer = clock->createTimer(this);
    reminderCooldownTimer->setSingleShot(true);

    presenceTimer = clock->createTimer(this);
    presenceTimer->setInterval(kPresenceCheckMs);
    connect(presenceTimer, &SchedulerTimer::timeout, this, &ApplicationController::checkPresence);

    trainingLimitTimer = clock->createTimer(this);
    trainingLimitTimer->setSingleShot(true);
    connect(trainingLimitTimer, &SchedulerTimer::timeout, this, &ApplicationController::stopOverlongTraining);

    qDebug() << "ApplicationController::init() presence source:" << seams.presence->sourceDescription();
    emit controllerInitialized();
    qDebug() << "ApplicationController::emit controllerInitialized()";
}

void ApplicationController::quit()
{
    qDebug() << "ApplicationController::quit() thread" << QThread::currentThreadId();
    isQuitting = true;
    trainingEnabled = false;
    isCameraPreviewOn = false;
    measurementEnabled = false;
    stopIfAny(reminderCooldownTimer);
    stopIfAny(measurementTimer);
    stopIfAny(accessFeatureTimer);
    qDebug() << "ApplicationController::quit() emitting finish";
    emit finished();
}

// ---------------------------------------------------------------- the tick

void ApplicationController::accessFeature()
{
    // Read at every tick, whatever runs: a step of the wall clock is seen
    // (and what is kept on it moved) within one tick.
    currentTime();
    if (featureInUse != FREE_CAMERA || isCameraPreviewOn || isPaused || isQuitting)
        return;
    const Feature f = decideWhatToRun();
    if (f == FREE_CAMERA)
        return;
    featureInUse = f;
    switch (f) {
    case BREAK:
        startIfAny(reminderCooldownTimer, kBreakOrExerciseCooldownMs);
        qDebug() << "ApplicationController::accessFeature() emit breakRequested()";
        emit breakRequested();
        break;
    case EXERCISE:
        startIfAny(reminderCooldownTimer, kBreakOrExerciseCooldownMs);
        qDebug() << "ApplicationController::accessFeature() emit exerciseRequested();";
        emit exerciseRequested();
        break;
    case TRAINING:
        startIfAny(hideReminderTimer, kPlainReminderMs);
        qDebug() << "ApplicationController::accessFeature() emit blinkReminderRequested();";
        emit blinkReminderRequested();
        break;
    case INTERACTIVE_TRAINING:
        reloadCameras();
        cameraStopPending = false;
        startIfAny(trainingLimitTimer, kInteractiveTrainingLimitMs);
        qDebug() << "ApplicationController::accessFeature() emit blinkTrainingRequested();";
        emit blinkInteractiveTrainingRequested();
        break;
    case MEASUREMENT:
        reloadCameras();
        cameraStopPending = false;
        qDebug() << "ApplicationController::accessFeature() emit blinkMeasurementRequested();";
        emit blinkMeasurementRequested();
        break;
    case FREE_CAMERA:
        break;
    }
}

Feature ApplicationController::decideWhatToRun()
{
    const QDateTime now = currentTime();
    if (activeSince.msecsTo(now) < kGraceMs)
        return FREE_CAMERA;
    if (!isCameraPaused && measurementEnabled && isIdle(measurementTimer))
        return MEASUREMENT;
    const qint64 toExercise = now.secsTo(nextExercise);
    const qint64 toBreak = now.secsTo(nextBreak);
    if (toBreak < 0 && breaksEnabled)
        return BREAK;
    // An exercise waits for a break that is near; with breaks off there is
    // no break to wait for.
    if ((!breaksEnabled || toBreak >= kExerciseHoldBackSecs) && toExercise < 0 && exercisesEnabled)
        return EXERCISE;
    if (trainingEnabled && isIdle(reminderCooldownTimer))
        return (!isCameraPaused && isInteractive) ? INTERACTIVE_TRAINING : TRAINING;
    return FREE_CAMERA;
}

QDateTime ApplicationController::currentTime()
{
    qint64 stepMs = 0;
    const QDateTime now = wallClock.read(&stepMs);
    if (stepMs != 0) {
        // Only the wall clock was set: what was left of each time is left
        // still. A sleep is no step, so what fell due meanwhile is due now.
        qDebug() << "ApplicationController::currentTime() wall clock set by" << stepMs << "ms";
        activeSince = activeSince.addMSecs(stepMs);
        lastActivity = lastActivity.addMSecs(stepMs);
        nextBreak = nextBreak.addMSecs(stepMs);
        nextExercise = nextExercise.addMSecs(stepMs);
    }
    return now;
}

// ------------------------------------------------------------ presence

void ApplicationController::checkPresence()
{
    const QDateTime now = currentTime();
    const PresenceSample s = seams.presence->sample();
    if (!s.hasSource) {
        // Nothing tells us the user left, so he is taken to be here.
        lastActivity = now;
    } else {
        if (s.idleMs >= 0) {
            const QDateTime input = now.addMSecs(-s.idleMs);
            if (!lastActivity.isValid() || input > lastActivity)
                lastActivity = input;
        }
        if (s.hasCursor) {
            if (hasCursorPos && s.cursor != lastCursorPos)
                lastActivity = now;
            lastCursorPos = s.cursor;
            hasCursorPos = true;
        }
    }

    const qint64 idleMs = lastActivity.isValid() ? lastActivity.msecsTo(now) : 0;
    const qint64 threshold = qint64(naturalBreakDuration) * 60000;
    const bool away = idleMs > threshold;
    if (away != isBreak) {
        qDebug() << "ApplicationController::checkPresence()is break" << boolText(away) << lastActivity << now
                 << idleMs << threshold;
        isBreak = away;
    }
    if (!away)
        return;
    if (naturalBreaksIncluded) {
        nextBreak = now.addSecs(qint64(timeBetweenBreaks) * 60);
        nextExercise = now.addMSecs(kExercisePeriodMs);
    }
    if (featureInUse == BREAK)
        quitBreak();
    if (featureInUse == EXERCISE) {
        emit exerciseFinished();
        featureInUse = FREE_CAMERA;
    }
}

void ApplicationController::startPresenceTimerIfNeeded()
{
    if (!breaksEnabled && !exercisesEnabled)
        stopIfAny(presenceTimer);
    else
        startIfAny(presenceTimer, kPresenceCheckMs);
}

// ------------------------------------------------- breaks and exercises

void ApplicationController::quitBreak()
{
    if (featureInUse != BREAK)
        return;
    qDebug() << "ApplicationController::quitBreak() emit breakFinished();";
    const QDateTime now = currentTime();
    nextBreak = now.addSecs(qint64(timeBetweenBreaks) * 60);
    nextExercise = now.addMSecs(kExercisePeriodMs);
    emit breakFinished();
    featureInUse = FREE_CAMERA;
}

void ApplicationController::skipBreak()
{
    qDebug() << "ApplicationController::skipBreak()";
    nextBreak = currentTime().addSecs(qint64(timeBetweenBreaks) * 60);
    featureInUse = FREE_CAMERA;
}

void ApplicationController::snoozeBreak()
{
    nextBreak = currentTime().addMSecs(kSnoozeMs);
    featureInUse = FREE_CAMERA;
    qDebug() << "ApplicationController::snoozeBreak()";
}

void ApplicationController::quitExercise()
{
    if (featureInUse != EXERCISE)
        return;
    qDebug() << "ApplicationController::quitExercise()";
    nextExercise = currentTime().addMSecs(kExercisePeriodMs);
    featureInUse = FREE_CAMERA;
}

void ApplicationController::changeTimeBetweenBreakReminders(int time)
{
    nextBreak = nextBreak.addSecs(qint64(time - timeBetweenBreaks) * 60);
    timeBetweenBreaks = time;
}

// ------------------------------------------------------ blink reminders

void ApplicationController::hideBlinkReminder()
{
    // Only a running reminder is ended: a late end must not overwrite a
    // feature that started since.
    const Feature f = featureInUse;
    if (f != TRAINING && f != INTERACTIVE_TRAINING)
        return;
    stopIfAny(hideReminderTimer);
    stopIfAny(trainingLimitTimer);
    qDebug() << "ApplicationController::hideBlinkReminder()";
    emit userBlinked();
    startIfAny(reminderCooldownTimer, blinkReminderPeriod);
    featureInUse = FREE_CAMERA;
}

void ApplicationController::quitBlinkTraining()
{
    if (featureInUse == INTERACTIVE_TRAINING) {
        qDebug() << "ApplicationController::forceQuitBlinkTraining() (by mouse) emit stopCameraUseRequested();";
        requestCameraStop();
    }
    if (featureInUse == TRAINING) {
        qDebug() << "ApplicationController::forceQuitBlinkTraining() (by mouse)";
        stopIfAny(hideReminderTimer);
        startIfAny(reminderCooldownTimer, blinkReminderPeriod);
        featureInUse = FREE_CAMERA;
    }
}

void ApplicationController::stopOverlongTraining()
{
    if (featureInUse != INTERACTIVE_TRAINING || cameraStopPending || isQuitting)
        return;
    qDebug() << "ApplicationController::stopOverlongTraining() emit stopCameraUseRequested();";
    requestCameraStop();
}

void ApplicationController::processDetectedBlink()
{
    if (isCameraPreviewOn)
        emit userBlinked();
}

void ApplicationController::adjustBlinkTrainingForMGD()
{
    qDebug() << "ApplicationController::adjustBlinkTrainingForMGD()";
    if (mgdTraining)
        emit blinkReminderRequested();
}

void ApplicationController::processBlinkForTraining(bool blinked)
{
    qDebug() << "ApplicationController::processBlinkForTraining" << boolText(blinked);
    if (blinked) {
        cameraStopPending = false;
        stopIfAny(trainingLimitTimer);
        emit userBlinked();
        startIfAny(reminderCooldownTimer, blinkReminderPeriod);
        featureInUse = FREE_CAMERA;
    } else if (!mgdTraining) {
        emit blinkReminderRequested();
    }
}

// ---------------------------------------------------- engine endings

void ApplicationController::requestCameraStop()
{
    const Feature f = featureInUse;
    if (f == INTERACTIVE_TRAINING || f == MEASUREMENT) {
        // One request per run: each request is answered by its own report.
        if (cameraStopPending)
            return;
        cameraStopPending = true;
    }
    emit stopCameraUseRequested();
}

void ApplicationController::processError(Error e)
{
    const bool preview = isCameraPreviewOn && featureInUse == FREE_CAMERA;
    if (!preview || e != previewError)
        qDebug() << "ApplicationController::processError" << errorToText(e) << "modelUse"
                 << codeToText(featureInUse);
    previewError = preview ? e : NO_ERROR;
    cameraStopPending = false;
    static constexpr unsigned kFallbackErrors = (1u << CAMERA_OCCUPIED) | (1u << LOW_FPS) | (1u << MORE_FACES) |
                                                (1u << EMPTY_FRAME) | (1u << NO_CAMERA);
    const bool fallback = e >= 0 && e <= NO_CAMERA && (kFallbackErrors & (1u << e));
    if (featureInUse == INTERACTIVE_TRAINING && fallback) {
        stopIfAny(trainingLimitTimer);
        startIfAny(hideReminderTimer, kPlainReminderMs);
        qDebug() << "ApplicationController::quitCameraFeature() emit blinkReminderRequested();";
        emit blinkReminderRequested();
        featureInUse = TRAINING;
    }
    quitCameraFeature();
}

void ApplicationController::processStoppedBlinkDetection()
{
    qDebug() << "ApplicationController::processStoppedBlinkDetection() isCameraPreviewOn" << boolText(isCameraPreviewOn)
             << "featureInUse" << codeToText(featureInUse);
    cameraStopPending = false;
    quitCameraFeature();
    startLivePreviewIfAllowed();
}

// The preview runs while its page is open, but never while the program or
// its camera use is paused: a stop for a pause must not bring it back.
void ApplicationController::startLivePreviewIfAllowed()
{
    if (!isCameraPreviewOn || isPaused || isCameraPaused)
        return;
    // The engine opens a device number, not a row of the list: it learns
    // the listed camera's number here, as before a measurement.
    reloadCameras();
    emit startLivePreviewRequested();
}

void ApplicationController::quitCameraFeature()
{
    if (featureInUse == INTERACTIVE_TRAINING) {
        hideBlinkReminder();
    } else if (featureInUse == MEASUREMENT) {
        startIfAny(measurementTimer, kMeasurementRetryMs);
        featureInUse = FREE_CAMERA;
    }
}

void ApplicationController::processMeasurement(float blinkRate, int length)
{
    qDebug() << "ApplicationController::processMeasurement" << blinkRate;
    cameraStopPending = false;
    // Truncated to one decimal in single precision: the rate never rounds up.
    const float tenths = std::trunc(blinkRate * 10.0f);
    const double rate = static_cast<double>(tenths) / 10.0;
    const QString note = convertCurrentSettingsToString();
    emit measurementCompleted(rate, note, length);
    startIfAny(measurementTimer, kNextMeasurementMs);
    featureInUse = FREE_CAMERA;
}

QString ApplicationController::convertCurrentSettingsToString()
{
    QString note;
    if (screenControlEnabled)
        note += QStringLiteral("Screen;Temp%1;Brightness%2;").arg(colorTemperature).arg(brightness);
    if (trainingEnabled) {
        note += QStringLiteral("Train;TrainPeriod%1;").arg(blinkReminderPeriod / 1000);
        if (isInteractive)
            note += QStringLiteral("Interact;");
        if (mgdTraining)
            note += QStringLiteral("MGD;");
    }
    if (exercisesEnabled)
        note += QStringLiteral("Exer;");
    if (breaksEnabled)
        note += QStringLiteral("Break;BreakPeriod%1;").arg(timeBetweenBreaks);
    if (naturalBreaksIncluded)
        note += QStringLiteral("IncludeNatBreak;NatBreakDuration%1;").arg(naturalBreakDuration);
    return note;
}

QString ApplicationController::codeToText(Feature f)
{
    switch (f) {
    case BREAK: return QStringLiteral("break");
    case EXERCISE: return QStringLiteral("exercise");
    case FREE_CAMERA: return QStringLiteral("free camera");
    case TRAINING: return QStringLiteral("training");
    case INTERACTIVE_TRAINING: return QStringLiteral("interactive training");
    case MEASUREMENT: return QStringLiteral("measurement");
    }
    return QStringLiteral("unspecified");
}

QString ApplicationController::errorToText(Error e)
{
    switch (e) {
    case LOW_MEMORY_OR_MISSING_MODEL: return QStringLiteral("low memory or data.dat missing");
    case CAMERA_OCCUPIED: return QStringLiteral("camera occupied");
    case LOW_FPS: return QStringLiteral("low fps");
    case NO_FACE: return QStringLiteral("no face");
    case MORE_FACES: return QStringLiteral("more than one face");
    case EMPTY_FRAME: return QStringLiteral("empty frame");
    case MISSING_SYSTEM_TOOL: return QStringLiteral("wmic.exe missing");
    case NO_CAMERA: return QStringLiteral("no camera connected");
    case NO_ERROR: break;
    }
    return QStringLiteral("no error");
}

// ------------------------------------------------------------- cameras

void ApplicationController::reloadCameras()
{
    const QVector<CameraEntry> cameras = seams.cameras->cameras();
    QStringList described;
    for (const CameraEntry& c : cameras)
        described << QStringLiteral("%1 (/dev/video%2)").arg(c.description).arg(c.deviceIndex);
    const int count = cameras.size();
    const int row = (preferredCameraID >= 0 && preferredCameraID < count) ? preferredCameraID : 0;
    const int newID = count > 0 ? cameras.at(row).deviceIndex : 0;
    // Written when the list or the choice changes.
    const QString listed = described.join('|') + QStringLiteral("|%1|%2").arg(preferredCameraID).arg(newID);
    if (listed != loggedCameras) {
        loggedCameras = listed;
        qDebug() << "ApplicationController: reloadCameras()" << described;
        qDebug() << "ApplicationController: reloadCameras() number of cameras" << count << "prefferedID"
                 << preferredCameraID << " inUse" << cameraInUse << " newID in use" << newID;
    }
    if (newID != cameraInUse) {
        cameraInUse = newID;
        emit cameraIDchanged(newID);
    }
}

void ApplicationController::setCameraIDpreffered(int id)
{
    qDebug() << "ApplicationController::setCameraIDpreffered()" << id;
    if (id == preferredCameraID)
        return;
    preferredCameraID = id;
    reloadCameras();
}

// ------------------------------------------------------------ settings

void ApplicationController::enableComputerBreaks(bool isEnabled)
{
    qDebug() << "ApplicationController::enableComputerBreaks()" << isEnabled;
    breaksEnabled = isEnabled;
    startPresenceTimerIfNeeded();
}

void ApplicationController::enableEyeExercisebreaks(bool isEnabled)
{
    qDebug() << "ApplicationController::enableEyeExercisebreaks" << isEnabled;
    exercisesEnabled = isEnabled;
    startPresenceTimerIfNeeded();
}

void ApplicationController::enableBlinkTraining(bool isEnabled)
{
    if (isEnabled == trainingEnabled)
        return;
    qDebug() << "ApplicationController::enableBlinkTraining" << isEnabled;
    trainingEnabled = isEnabled;
    if (isEnabled) {
        startIfAny(reminderCooldownTimer, blinkReminderPeriod);
        return;
    }
    stopIfAny(reminderCooldownTimer);
    if (featureInUse == INTERACTIVE_TRAINING)
        requestCameraStop();
    if (featureInUse == TRAINING) {
        stopIfAny(hideReminderTimer);
        emit userBlinked();
        featureInUse = FREE_CAMERA;
    }
}

void ApplicationController::enableMeasurement(bool isEnabled)
{
    qDebug() << "ApplicationController::enableMeasurement" << isEnabled;
    if (isEnabled == measurementEnabled)
        return;
    measurementEnabled = isEnabled;
    if (isEnabled) {
        startIfAny(measurementTimer, kFirstMeasurementMs);
        return;
    }
    stopIfAny(measurementTimer);
    if (featureInUse == MEASUREMENT)
        requestCameraStop();
}

void ApplicationController::takeMeasurementNow()
{
    startIfAny(measurementTimer, 1);
    accessFeature();
}

void ApplicationController::pauseProgram(bool paused)
{
    if (paused == isPaused)
        return;
    qDebug() << "ApplicationController::pauseProgram" << paused;
    isPaused = paused;
    if (paused) {
        switch (featureInUse.load()) {
        case BREAK:
            quitBreak();
            break;
        case EXERCISE:
            emit exerciseFinished();
            break;
        case FREE_CAMERA:
        case INTERACTIVE_TRAINING:
        case MEASUREMENT:
            requestCameraStop();
            break;
        case TRAINING:
            hideBlinkReminder();
            break;
        }
        return;
    }
    const QDateTime now = currentTime();
    nextBreak = now.addSecs(qint64(timeBetweenBreaks) * 60);
    nextExercise = now.addMSecs(kExercisePeriodMs);
    activeSince = now;
    startLivePreviewIfAllowed();
}

void ApplicationController::pauseCameraFeatures(bool paused)
{
    if (paused == isCameraPaused)
        return;
    qDebug() << "ApplicationController::pauseCameraFeatures" << paused;
    isCameraPaused = paused;
    if (!paused) {
        startLivePreviewIfAllowed();
        return;
    }
    // One request: a camera feature ends with the one report it brings. A
    // running preview ends as well: the camera is not to be used.
    if (isCameraPreviewOn || featureInUse != FREE_CAMERA)
        requestCameraStop();
}

void ApplicationController::enableLivePreview(bool isEnabled)
{
    const Feature f = featureInUse;
    if (!isEnabled || !isCameraPreviewOn || previewError == NO_ERROR)
        qDebug() << "ApplicationController::enableLivePreview" << isEnabled << "feature in use" << codeToText(f);
    if (!isEnabled)
        previewError = NO_ERROR;
    isCameraPreviewOn = isEnabled;
    if (!isEnabled) {
        requestCameraStop();
        return;
    }
    switch (f) {
    case BREAK:
        quitBreak();
        break;
    case EXERCISE:
        emit exerciseFinished();
        break;
    case TRAINING:
        hideBlinkReminder();
        break;
    case INTERACTIVE_TRAINING:
    case MEASUREMENT:
        requestCameraStop();
        return;
    case FREE_CAMERA:
        break;
    }
    startLivePreviewIfAllowed();
}

void ApplicationController::setBlinkReminderPeriod(int period)
{
    qDebug() << "ApplicationController::setBlinkReminderPeriod" << period;
    blinkReminderPeriod = period;
}

void ApplicationController::enableBrightnessSaver(bool isEnabled)
{
    brightnessFactor = isEnabled ? 0.7f : 1.0f;
    qDebug() << "ApplicationController::enableBrightnessSaver" << brightnessFactor;
}

void ApplicationController::useWebcamInComputerBreaks(bool isEnabled)
{
    qDebug() << "ApplicationController::useWebcamInComputerBreaks()" << isEnabled;
    useWebcamInBreaks = isEnabled;
}

void ApplicationController::enableScreenControl(bool isEnabled, int /*delay*/)
{
    qDebug() << "ApplicationController::enableScreenControl" << isEnabled;
    screenControlEnabled = isEnabled;
}

void ApplicationController::setColorTemperature(int value)
{
    // No screen control on this platform: logged only.
    qDebug() << "ApplicationController::setColorTemperature" << value;
}

void ApplicationController::includeNaturalBreaks(bool isEnabled) { naturalBreaksIncluded = isEnabled; }
void ApplicationController::setNaturalBreakDuration(uint duration) { naturalBreakDuration = duration; }
void ApplicationController::enableMGDblinkTraining(bool isEnabled) { mgdTraining = isEnabled; }
void ApplicationController::enableInteractiveBlinkReminder(bool isInteractive) { this->isInteractive = isInteractive; }
void ApplicationController::setBlinkRate(float rate) { blinkRate = rate; }

// No screen brightness, colour temperature, lid or screen-layout control on
// this platform.
void ApplicationController::setBrightness(int /*value*/) {}
void ApplicationController::detectScreensWindows(int /*delay*/) {}
void ApplicationController::processInternalScreenBrightnessChange(int /*newBrightness*/) {}
void ApplicationController::setLidOpenStatus(bool /*isOpened*/) {}
