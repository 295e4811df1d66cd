#include "app/lumoraapplication.h"

#include <QDebug>
#include <QDir>
#include <QFont>
#include <QHostInfo>
#include <QOperatingSystemVersion>
#include <QScreen>
#include <QSessionManager>
#include <QSslSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTranslator>

#include "app/appfonts.h"
#include "app/errorlog.h"
#include "app/languages.h"
#include "app/platform/systemcameras.h"
#include "app/platform/systempresence.h"
#include "app/quitsignals.h"
#include "app/threadsignalstack.h"
#include "core/control/applicationcontroller.h"
#include "core/control/statisticscontroller.h"
#include "core/model.h"
#include "gui/lumoragui.h"
#include "gui/widgetproxy.h"
#include "gui/widgetstatistics.h"
#include "net/servercontroller.h"

LumoraApplication* application = nullptr;

LumoraApplication::LumoraApplication(int& argc, char** argv, std::fstream* errorLog,
                                     const std::function<void()>& primaryStartup)
    : UniqueApplication(argc, argv, false, UniqueApplication::Mode::NotifyOnSecondary, 1000)
{
    // A later launch has already ended inside the base constructor.
    if (primaryStartup)
        primaryStartup();

    errorLogStream = errorLog;

    qDebug() << QHostInfo::localHostName();
    const QOperatingSystemVersion os = QOperatingSystemVersion::current();
    qDebug() << os.name() << " type " << os.type() << " major " << os.majorVersion()
             << " minor " << os.minorVersion() << " micro " << os.microVersion();
    for (int i = 0; i < argc; ++i)
        qDebug() << "argv" << argv[i];

    setFont(QFont(appfonts::install(), 15));

    windowIcon = QIcon(QStringLiteral(":/icons/lumora.icns"));
    setWindowIcon(windowIcon);

    application = this;
    languages::setOwner(this);

    QString statisticsDir =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/");
    if (statisticsDir == QLatin1String("/"))
        statisticsDir = applicationDirPath() + QStringLiteral("/");
    QDir().mkpath(statisticsDir);

    setLanguage(loadLanguage());

    setApplicationVersion(QStringLiteral("3.7.4.0"));
    setApplicationName(QStringLiteral("Lumora"));
    setOrganizationName(QStringLiteral("Vantorel"));
    qDebug() << applicationVersion();

    gui = new LumoraGUI();
    qDebug() << "LumoraApplication gui created";
    widgetProxy = new WidgetProxy(gui);
    widgetStatistics = new WidgetStatistics(gui);

    statsController = new StatisticsController(statisticsDir);
    serverController = new ServerController();
    model = new Model();
    // One camera enumeration for the scheduler and the window's camera list,
    // so a row names the same device in both.
    std::shared_ptr<CameraList> cameras = createSystemCameraList();
    ApplicationController::Seams seams;
    seams.presence = createSystemPresenceProbe();
    seams.cameras = cameras;
    controller = new ApplicationController(seams);
    gui->setCameraList(cameras);
    statsGuard = statsController;
    serverGuard = serverController;
    modelGuard = model;
    controllerGuard = controller;

    modelThread = threadsignalstack::newThread();
    model->moveToThread(modelThread);
    statisticsThread = threadsignalstack::newThread();
    statsController->moveToThread(statisticsThread);
    serverThread = threadsignalstack::newThread();
    serverController->moveToThread(serverThread);
    controllerThread = threadsignalstack::newThread();
    controller->moveToThread(controllerThread);
    // Each thread carries its worker's name, so that a profile or /proc
    // tells them apart.
    modelThread->setObjectName(QStringLiteral("Model"));
    statisticsThread->setObjectName(QStringLiteral("Statistics"));
    serverThread->setObjectName(QStringLiteral("Server"));
    controllerThread->setObjectName(QStringLiteral("Controller"));

    makeConnections();

    gui->move(500, 0);

    qDebug() << "openssl build version" << QSslSocket::sslLibraryBuildVersionString();
    qDebug() << "openssl" << (QSslSocket::supportsSsl() ? "true" : "false") << " used version"
             << QSslSocket::sslLibraryVersionString();

    makeStartChain();

    // Only the quit path ends the program (the main window's close ends the
    // event loop); a box, a pop-up or another window closing never does.
    setQuitOnLastWindowClosed(false);
#ifndef QT_NO_SESSIONMANAGER
    // The session's end closes the main window as the quit action does,
    // before the session manager's own closing of the visible windows.
    connect(this, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
        qDebug() << "LumoraApplication commitDataRequest";
        if (gui)
            gui->close();
    });
#endif

    // A log-out, Ctrl+C or the closing of the terminal (SIGTERM, SIGINT,
    // SIGHUP) takes the same road as the quit action.
    quitSignals = new QuitSignals(
        [this](int sig) {
            qDebug() << "LumoraApplication quit signal" << sig;
            if (gui)
                gui->close();
            QCoreApplication::quit();
        },
        this);

    modelThread->start(QThread::HighestPriority);

    if (argc < 2) {
        gui->openWindow();
    } else if (QString::fromLocal8Bit(argv[1]) == QLatin1String("/m")) {
        gui->raise();
        gui->activateWindow();
        gui->on_toolButton_titleBarClose_clicked();
    } else {
        gui->openWindow();
    }
}

void LumoraApplication::makeConnections()
{
    // Thread plumbing.
    connect(this, SIGNAL(aboutToQuit()), controller, SLOT(quit()), Qt::QueuedConnection);
    connect(this, SIGNAL(aboutToQuit()), model, SLOT(quit()), Qt::QueuedConnection);
    connect(this, SIGNAL(aboutToQuit()), statsController, SLOT(quit()), Qt::QueuedConnection);
    connect(this, SIGNAL(aboutToQuit()), serverController, SLOT(quit()), Qt::QueuedConnection);
    connect(statsController, SIGNAL(finished()), statisticsThread, SLOT(quit()), Qt::DirectConnection);
    connect(statisticsThread, SIGNAL(finished()), statsController, SLOT(deleteLater()));
    connect(statisticsThread, SIGNAL(started()), statsController, SLOT(init()), Qt::QueuedConnection);
    connect(serverController, SIGNAL(finished()), serverThread, SLOT(quit()), Qt::DirectConnection);
    connect(serverThread, SIGNAL(finished()), serverController, SLOT(deleteLater()));
    connect(serverThread, SIGNAL(started()), serverController, SLOT(init()), Qt::QueuedConnection);
    connect(model, SIGNAL(finished()), modelThread, SLOT(quit()), Qt::DirectConnection);
    connect(modelThread, SIGNAL(finished()), model, SLOT(deleteLater()));
    connect(modelThread, SIGNAL(started()), model, SLOT(init()), Qt::QueuedConnection);
    connect(controller, SIGNAL(finished()), controllerThread, SLOT(quit()), Qt::DirectConnection);
    connect(controllerThread, SIGNAL(finished()), controller, SLOT(deleteLater()));
    connect(controllerThread, SIGNAL(started()), controller, SLOT(init()), Qt::QueuedConnection);
    connect(controller, SIGNAL(controllerInitialized()), gui, SLOT(init()), Qt::QueuedConnection);

    // Engine and main window.
    connect(model, SIGNAL(frameReceived(QImage)), gui, SLOT(showImage(QImage)));
    // Once the window has the frame, the engine may send the next one; frames
    // the window has not shown yet are dropped rather than queued.
    connect(model, &Model::frameReceived, gui, [this](const QImage&) {
        if (modelGuard)
            modelGuard->previewFrameShown();
    });
    connect(model, SIGNAL(errorOccurred(Error)), gui, SLOT(showError(Error)));
    connect(model, SIGNAL(webcamActivated(Feature)), gui,
            SLOT(adjustSystemTrayBasedOnFunctionalityAccessingCamera(Feature)));
    // A changing picture, not any picture, shows the camera works again.
    connect(model, SIGNAL(pictureChanged()), gui, SLOT(cameraPictureChanged()));
    connect(gui, SIGNAL(languageChanged()), model, SLOT(drawTexts()));
    // The chain stops at an unreadable landmark model; the window says why.
    connect(model, SIGNAL(modelUnavailable()), gui, SLOT(showModelUnreadable()));

    // Engine and scheduler.
    const auto Q = Qt::QueuedConnection;
    connect(model, SIGNAL(blinkDetected()), controller, SLOT(processDetectedBlink()), Q);
    connect(model, SIGNAL(errorOccurred(Error)), controller, SLOT(processError(Error)), Q);
    connect(model, SIGNAL(stopped()), controller, SLOT(processStoppedBlinkDetection()), Q);
    connect(model, SIGNAL(trainingStarted()), controller, SLOT(adjustBlinkTrainingForMGD()), Q);
    connect(model, SIGNAL(blinkReactionToReminder(bool)), controller, SLOT(processBlinkForTraining(bool)), Q);
    connect(model, SIGNAL(measurementSuccessful(float,int)), controller, SLOT(processMeasurement(float,int)), Q);
    connect(controller, SIGNAL(startLivePreviewRequested()), model, SLOT(startLivePreview()), Q);
    connect(controller, SIGNAL(stopCameraUseRequested()), model, SLOT(stop()), Q);
    connect(controller, SIGNAL(cameraIDchanged(int)), model, SLOT(setCameraID(int)), Q);
    connect(controller, SIGNAL(blinkMeasurementRequested()), model, SLOT(startBlinkMeasurement()), Q);
    connect(controller, SIGNAL(blinkInteractiveTrainingRequested()), model, SLOT(startTraining()), Q);

    // Scheduler to main window.
    connect(controller, SIGNAL(blinkReminderRequested()), gui, SLOT(showReminder()));
    connect(controller, SIGNAL(userBlinked()), gui, SLOT(responceToBlink()));
    connect(controller, SIGNAL(breakRequested()), gui, SLOT(showBreakReminder()));
    connect(controller, SIGNAL(breakFinished()), gui, SLOT(hideBreakReminder()));
    connect(controller, SIGNAL(exerciseFinished()), gui, SLOT(hideExerciseReminder()));
    connect(controller, SIGNAL(exerciseRequested()), gui, SLOT(showExercise()));
    connect(controller, SIGNAL(measurementCompleted(double,QString,int)), gui,
            SLOT(showBubleNotificationAboutMeasurement(double)));
    connect(controller, SIGNAL(adjustBrightnessSlider(int)), gui, SLOT(setBrightnessSliderPosition(int)));
    connect(controller, SIGNAL(adjustColorTemperatureSlider(int)), gui,
            SLOT(setColorTemperatureSliderPosition(int)));
    connect(controller, SIGNAL(noHWbrightnessControlDetected()), gui, SLOT(disableHWbrightnessControl()));
    connect(controller, SIGNAL(HWbrightnessControlDetected(int)), gui, SLOT(enableHWbrightnessControl(int)));

    // Main window to scheduler.
    connect(gui, SIGNAL(powerSaverActivated(bool)), controller, SLOT(enableBrightnessSaver(bool)));
    connect(gui, SIGNAL(includeNaturalBreaksChanged(bool)), controller, SLOT(includeNaturalBreaks(bool)));
    connect(gui, SIGNAL(naturalBreakDurationChanged(uint)), controller, SLOT(setNaturalBreakDuration(uint)));
    connect(gui, SIGNAL(skipBreakClicked()), controller, SLOT(skipBreak()));
    connect(gui, SIGNAL(snoozeBreakClicked()), controller, SLOT(snoozeBreak()));
    connect(gui, SIGNAL(exerciseFinished()), controller, SLOT(quitExercise()));
    connect(gui, SIGNAL(eyeExerciseReminderEnabled(bool)), controller, SLOT(enableEyeExercisebreaks(bool)));
    connect(gui, SIGNAL(breakReminderEnabled(bool)), controller, SLOT(enableComputerBreaks(bool)));
    connect(gui, SIGNAL(useWebcamInBreaksChanged(bool)), controller, SLOT(useWebcamInComputerBreaks(bool)));
    connect(gui, SIGNAL(timeBetweenBreaksChanged(int)), controller, SLOT(changeTimeBetweenBreakReminders(int)));
    connect(gui, SIGNAL(reminderInteractivityChanged(bool)), controller,
            SLOT(enableInteractiveBlinkReminder(bool)));
    connect(gui, SIGNAL(cameraIDchanged(int)), controller, SLOT(setCameraIDpreffered(int)));
    connect(gui, SIGNAL(hideBlinkReminderByMouseRequested()), controller, SLOT(quitBlinkTraining()));
    connect(gui, SIGNAL(training_mgd_status_changed(bool)), controller, SLOT(enableMGDblinkTraining(bool)));
    connect(gui, SIGNAL(pauseRequested(bool)), controller, SLOT(pauseProgram(bool)));
    connect(gui, SIGNAL(disableCameraUse(bool)), controller, SLOT(pauseCameraFeatures(bool)));
    connect(gui, SIGNAL(cameraPreviewEnabled(bool)), controller, SLOT(enableLivePreview(bool)));
    connect(gui, SIGNAL(trainingEnabled(bool)), controller, SLOT(enableBlinkTraining(bool)));
    connect(gui, SIGNAL(lidStatusOpen(bool)), controller, SLOT(setLidOpenStatus(bool)));
    connect(gui, SIGNAL(screenControlEnabled(bool,int)), controller, SLOT(enableScreenControl(bool,int)));
    connect(gui, SIGNAL(brightnessSliderPositionChanged(int)), controller, SLOT(setBrightness(int)));
    connect(gui, SIGNAL(colorTemperatureSliderPositionChanged(int)), controller, SLOT(setColorTemperature(int)));
    connect(gui, SIGNAL(measurementEnabled(bool)), controller, SLOT(enableMeasurement(bool)));
    connect(gui, SIGNAL(blinkRateChanged(float)), controller, SLOT(setBlinkRate(float)));
    connect(gui, SIGNAL(trainingPeriodChanged(int)), controller, SLOT(setBlinkReminderPeriod(int)));
    connect(gui, SIGNAL(measurementRequested()), controller, SLOT(takeMeasurementNow()));

    // Measurement store, server client and windows.
    connect(controller, SIGNAL(measurementCompleted(double,QString,int)), statsController,
            SLOT(addMeasurement(double,QString,int)));
    connect(gui, SIGNAL(proxyGuiRequested()), widgetProxy, SLOT(showProxySettings()));
    connect(serverController, SIGNAL(proxySettingsChanged(QString,quint16,QString,QString)), widgetProxy,
            SLOT(setProxySettings(QString,quint16,QString,QString)));
    connect(widgetProxy, SIGNAL(proxySettingsChanged(QString,quint16,QString,QString)), serverController,
            SLOT(verifyProxySettings(QString,quint16,QString,QString)));
    connect(serverController, SIGNAL(proxySettingsValidated(bool)), widgetProxy, SLOT(saveProxySettings(bool)));
    connect(serverController, SIGNAL(lastDateTimeObtained(QString,QString)), statsController,
            SLOT(createJsonData(QString,QString)));
    connect(statsController, SIGNAL(measurementsUploadReady(QString)), serverController,
            SLOT(uploadStats(QString)));
    connect(gui, SIGNAL(showStatisticsRequired()), statsController, SLOT(createStatistics()));
    connect(widgetStatistics, SIGNAL(sliderIntervalChanged(int,int)), statsController,
            SLOT(updateStatistics(int,int)));
    connect(widgetStatistics, SIGNAL(deleteHistory()), statsController, SLOT(deleteAllMeasurements()));
    connect(statsController, SIGNAL(smallStatisticsChanged(QVector<double>,QVector<int>,QVector<QDateTime>)),
            gui, SLOT(updateHealthStatus(QVector<double>,QVector<int>,QVector<QDateTime>)));
    connect(statsController,
            SIGNAL(statisticsChanged(QVector<double>,QVector<int>,QVector<QDateTime>,int)), widgetStatistics,
            SLOT(updateStatistics(QVector<double>,QVector<int>,QVector<QDateTime>,int)));
    connect(serverController, SIGNAL(errorOccurred(Error)), gui, SLOT(showError(Error)));
    connect(serverController, SIGNAL(noInternetConnection()), gui, SLOT(showInternetUnreachable()));
    connect(this, SIGNAL(instanceStarted()), gui, SLOT(openWindow()));
}

void LumoraApplication::makeStartChain()
{
    connect(model, SIGNAL(modelInitialized()), statisticsThread, SLOT(start()));
    connect(statsController, SIGNAL(statsControllerInitialized()), serverThread, SLOT(start()));
    connect(serverController, SIGNAL(serverControllerInitialized()), controllerThread, SLOT(start()));
}

void LumoraApplication::logScreens(QScreen* screen)
{
    qDebug() << "LumoraApplication screen added or removed" << screen->name();
    qDebug() << "virtual siblings of given screen" << screen->virtualSiblings();
    qDebug() << "LumoraApplication:: qscreens" << QGuiApplication::screens();
}

// Each worker ends through quit() -> finished() -> its thread's quit(), and
// the ending thread deletes it. Wait for every thread (bounded) so no
// running thread object is destroyed; workers whose thread never ran (the
// start chain stopped early) are deleted here.
void LumoraApplication::stopWorkerThreads()
{
    struct Pair {
        QThread** thread;
        QPointer<QObject> worker;
    };
    const Pair pairs[] = {{&serverThread, serverGuard.data()},
                          {&statisticsThread, statsGuard.data()},
                          {&controllerThread, controllerGuard.data()},
                          {&modelThread, modelGuard.data()}};
    for (const Pair& p : pairs) {
        QThread* thread = *p.thread;
        if (!thread)
            continue;
        // isRunning() is already false while the thread still emits
        // finished(); only wait() tells that it is really done.
        if (!thread->wait(kThreadWaitMs)) {
            // Still busy: ask its loop to end and give it one more bound.
            thread->quit();
            if (!thread->wait(kThreadWaitMs)) {
                qWarning() << "LumoraApplication: a worker thread did not end; leaving it";
                continue;
            }
        }
        // A worker whose thread never started was never deleted by it.
        delete p.worker.data();
        delete thread;
        *p.thread = nullptr;
    }
}

LumoraApplication::~LumoraApplication()
{
    stopWorkerThreads();
    delete quitSignals;
    quitSignals = nullptr;
    delete gui;
    gui = nullptr;
    qDebug() << "LumoraApplication::~LumoraApplication()";
    if (errorLogStream)
        errorlog::restoreAndClose(*errorLogStream);
    if (application == this)
        application = nullptr;
}
