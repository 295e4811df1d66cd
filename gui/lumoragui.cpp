#include "gui/lumoragui.h"

// Construction, init(), the title bar with its pages and dragging, opening
// and hiding, and the quit path.

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSound>
#include <QThread>
#include <QTimer>

#include <qcustomplot.h>

#include "app/platform/startatlogin.h"
#include "app/platform/systemcameras.h"
#include "app/platform/systemsession.h"
#include "app/settings.h"
#include "net/makeraddresses.h"
#include "net/updater/updatecenter.h"
#include "ui_lumoragui.h"

namespace {

// How often the camera-test page tries the camera again after an error.
constexpr int kPreviewRetryMs = 2000;

}  // namespace

LumoraGUI::LumoraGUI(QWidget* parent) : QWidget(parent), ui(new Ui_LumoraGUI)
{
    qDebug() << "LumoraGUI::LumoraGUI";
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    qDebug() << "windows flags set";

    m_homePage = maker::address(maker::Address::HomePage);
    m_healthPage = maker::address(maker::Address::HealthPage);
    m_socialPage = maker::address(maker::Address::SocialPage);
    m_updateFeedAddress = maker::address(maker::Address::UpdateFeed).toString();
    m_graphFont = QFont(QStringLiteral("Roboto"), 15);

    // Features this platform does not offer keep their widgets, hidden.
    for (QWidget* w : {static_cast<QWidget*>(ui->checkBox_pauseOnBattery),
                       static_cast<QWidget*>(ui->checkBox_pauseAppWhenClonedScreen), ui->widget_hotkeys,
                       ui->widget_automaticBrightness, static_cast<QWidget*>(ui->pushButton_cameraSettings)})
        w->hide();

    const QString titleStyle = QStringLiteral("QLabel{font-size: 17pt;}QLabel::disabled{color: #808080; }");
    for (QLabel* title : {ui->label_breaksTitle, ui->label_cooperations, ui->label_hotkeysTitle,
                          ui->label_settingsTitle, ui->label_eyeExercisesTitle, ui->label_blinkTrainingTitle,
                          ui->label_pauseLumoraTitle, ui->label_blinkMonitoringTitle,
                          ui->label_automatic_stop_camera_use_title, ui->label_automaticBrightnessTitle})
        title->setStyleSheet(titleStyle);
    ui->label_noInternet->hide();

    connect(ui->action_open, &QAction::triggered, this, &LumoraGUI::openWindow);
    connect(ui->action_pauseLumora, &QAction::triggered, this, &LumoraGUI::pauseApp);
    connect(ui->action_resumeLumora, &QAction::triggered, this, &LumoraGUI::resumeApp);
    connect(ui->action_pauseWebcamUse, &QAction::triggered, this, &LumoraGUI::pauseCameraUse);
    connect(ui->action_resumeWebcamUse, &QAction::triggered, this, &LumoraGUI::resumeCameraUse);
    connect(ui->action_quit, &QAction::triggered, this, &QWidget::close);
    ui->toolButton_pauseCamera->setDefaultAction(ui->action_pauseWebcamUse);
    ui->toolButton_presentationMode->setDefaultAction(ui->action_pauseLumora);
    ui->toolButton_exit->setDefaultAction(ui->action_quit);

    m_colorTemperatureGroup = new QButtonGroup(this);
    m_colorTemperatureGroup->addButton(ui->toolButton_lowColorTemperature, 45);
    m_colorTemperatureGroup->addButton(ui->toolButton_mediumColorTemperature, 55);
    m_colorTemperatureGroup->addButton(ui->toolButton_normalColorTemperature, 66);
    connect(m_colorTemperatureGroup, &QButtonGroup::idToggled, this,
            &LumoraGUI::colorTemperature_valueChanged);

    ui->spinBox_timeBetweenBreaks->setValue(50);

    m_previewPlaceholder = QImage(400, 300, QImage::Format_RGB888);
    m_previewPlaceholder.fill(Qt::black);
    for (QWidget* w : {static_cast<QWidget*>(ui->toolButton_titleBarBack),
                       static_cast<QWidget*>(ui->toolButton_titleBarWebcam), ui->widget_settingsPage,
                       ui->widget_aboutPage, ui->widget_livePreviewPage,
                       static_cast<QWidget*>(ui->label_blinkMonitoringMessage),
                       static_cast<QWidget*>(ui->pushButton_blinkMonitoringTakeFirstMeasurement),
                       ui->widget_warningWin10})
        w->hide();
    adjustGUIelementsSizes();
    showPreviewPicture(m_previewPlaceholder);
    m_previewRetryTimer = new QTimer(this);
    m_previewRetryTimer->setSingleShot(true);
    m_previewRetryTimer->setInterval(kPreviewRetryMs);
    connect(m_previewRetryTimer, &QTimer::timeout, this, &LumoraGUI::retryLivePreview);

    configurelGraphAppearance();
    initializeShadowsForWidgets();

    createReminderPopups();
    m_blinkSound = new QSound(QStringLiteral(":/audio/marimba12.wav"), this);

    createTrayIcon();
    qDebug() << "tray icon created";

    ui->label_version->setText(QStringLiteral("lumora ") + tr("version") + QStringLiteral(" ")
                               + QCoreApplication::applicationVersion());
    loadLanguagesToComboBox();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().width() / 2, 0);

    ui->widget_network->hide();
}

LumoraGUI::~LumoraGUI()
{
    if (m_sessionListener) {
        qApp->removeNativeEventFilter(m_sessionListener);
        delete m_sessionListener;
        m_sessionListener = nullptr;
    }
    qApp->removeEventFilter(this);
    hideBlinkReminder();
    hide();
    if (m_trayIcon)
        m_trayIcon->hide();
    m_closing = true;
    qDebug() << "LumoraGUI::~LumoraGUI() thread" << QThread::currentThreadId();
    if (m_updateCenter)
        m_updateCenter->deleteLater();
    delete ui;
    ui = nullptr;
}

void LumoraGUI::setCameraList(std::shared_ptr<CameraList> cameras)
{
    m_cameras = std::move(cameras);
}

void LumoraGUI::setStartAtLogin(std::shared_ptr<StartAtLogin> startAtLogin)
{
    m_startAtLogin = std::move(startAtLogin);
}

void LumoraGUI::setSessionListenerFactory(std::function<SystemSession::EventFilter*()> factory)
{
    m_sessionListenerFactory = std::move(factory);
}

void LumoraGUI::init()
{
    qDebug() << "LumoraGUI::init()";
    if (m_initialized)
        return;
    m_initialized = true;
    m_updateCenter = UpdateCenter::getInstance();

    qApp->installEventFilter(this);

    // Hovering shows the points' tooltips, so moves without a button count.
    ui->customPlot_blinkMonitoring_graph->setMouseTracking(true);
    connect(ui->customPlot_blinkMonitoring_graph, &QCustomPlot::mouseMove, this, &LumoraGUI::plotMouseOver);
    qDebug() << "LumoraGUI::init() winId" << winId() << "effective" << effectiveWinId();

    m_sessionListener =
        m_sessionListenerFactory ? m_sessionListenerFactory() : SystemSession::EventFilter::create();
    if (m_sessionListener) {
        connect(m_sessionListener, &SystemSession::EventFilter::sessionChangeDetected, this,
                &LumoraGUI::systemAdapter);
        qApp->installNativeEventFilter(m_sessionListener);
        qDebug() << "system listener installed";
    }

    loadSettings();
    qDebug() << "load settings finished";

    checkForUpdates();

    adjustGUIappearance();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        connect(screen, &QScreen::logicalDotsPerInchChanged, this, &LumoraGUI::adjustGUIelementsSizes);
        adjustGUIelementsSizes();
        qDebug() << "size of the screen in mm" << screen->name() << screen->physicalSize()
                 << screen->physicalDotsPerInch();
    }
}

void LumoraGUI::checkForUpdates()
{
    if (!m_updateCenter)
        return;
    m_updateCenter->setModuleVersion(m_updateFeedAddress, QCoreApplication::applicationVersion());
    m_updateCenter->checkForUpdates(m_updateFeedAddress);
}

// ------------------------------------------------------------ title bar

void LumoraGUI::on_toolButton_titleBarSettings_clicked()
{
    qDebug() << "LumoraGUI::on_toolButton_titleBarSettings_clicked()";
    ui->widget_mainPage->hide();
    ui->toolButton_titleBarSettings->hide();
    ui->toolButton_titleBarAbout->hide();
    ui->toolButton_titleBarWebcam->show();
    ui->toolButton_titleBarBack->show();
    ui->widget_settingsPage->show();
    ui->label_titleBarTitle->setText(tr("lumora - settings"));
    updateGeometry();
    adjustSize();
}

void LumoraGUI::on_toolButton_titleBarAbout_clicked()
{
    qDebug() << "LumoraGUI::on_toolButton_titleBarAbout_clicked()";
    ui->widget_mainPage->hide();
    ui->toolButton_titleBarSettings->hide();
    ui->toolButton_titleBarAbout->hide();
    ui->toolButton_titleBarWebcam->hide();
    ui->toolButton_titleBarBack->show();
    ui->widget_aboutPage->show();
    ui->label_titleBarTitle->setText(tr("lumora - about"));
    updateGeometry();
    adjustSize();
}

void LumoraGUI::on_toolButton_titleBarWebcam_clicked()
{
    qDebug() << "LumoraGUI::on_toolButton_titleBarWebcam_clicked()";
    hideBlinkReminder();
    reloadCameras(-1);
    applyStatusMessageRule();
    ui->widget_settingsPage->hide();
    ui->toolButton_titleBarSettings->hide();
    ui->toolButton_titleBarAbout->hide();
    ui->toolButton_titleBarWebcam->hide();
    ui->toolButton_titleBarBack->show();
    ui->widget_livePreviewPage->show();
    ui->label_titleBarTitle->setText(tr("Test blink detection"));
    showCameraHold();
    updateGeometry();
    adjustSize();
    emit cameraPreviewEnabled(true);
}

void LumoraGUI::on_toolButton_titleBarBack_clicked()
{
    qDebug() << "LumoraGUI::on_toolButton_titleBarBack_clicked()";
    if (!ui->widget_livePreviewPage->isHidden()) {
        ui->widget_livePreviewPage->hide();
        emit cameraPreviewEnabled(false);
    }
    ui->widget_aboutPage->hide();
    ui->widget_settingsPage->hide();
    ui->toolButton_titleBarBack->hide();
    ui->toolButton_titleBarWebcam->hide();
    ui->widget_mainPage->show();
    ui->toolButton_titleBarSettings->show();
    ui->toolButton_titleBarAbout->show();
    adjustGUIappearance();
    updateGeometry();
    adjustSize();
}

void LumoraGUI::applyStatusMessageRule()
{
    if (m_statusMessage == MEASUREMENT_IN_PROGRESS)
        m_statusMessage = ui->label_blinkMonitoringMessage->isHidden() ? NO_MESSAGE : NO_MEASUREMENT_YET;
    else if (m_statusMessage == TRAINING_OBSERVES_USER)
        m_statusMessage = NO_MESSAGE;
}

// ------------------------------------------------------------- dragging

void LumoraGUI::mousePressEvent(QMouseEvent* event)
{
    QPoint inPanel = event->pos() - ui->widget_visibleLumora->pos();
    inPanel.setX(qMax(0, inPanel.x()));
    inPanel.setY(qMax(0, inPanel.y()));
    m_dragAnchor = ui->widget_titleBar->geometry().contains(inPanel) ? event->localPos().toPoint() : QPoint();
    QWidget::mousePressEvent(event);
}

void LumoraGUI::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragAnchor.isNull() && (event->buttons() & Qt::LeftButton))
        move(pos() + event->pos() - m_dragAnchor);
    QWidget::mouseMoveEvent(event);
}

bool LumoraGUI::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched != ui->widget_titleBar)
            m_dragAnchor = QPoint();
        if (watched == ui->customPlot_blinkMonitoring_graph)
            emit showStatisticsRequired();
    }
    return QWidget::eventFilter(watched, event);
}

void LumoraGUI::resetMouseCursor() {}

// ------------------------------------------------------ opening, hiding

void LumoraGUI::openWindow()
{
    qDebug() << "LumoraGUI::openWindow()";
    // Where there is no tray the window waits minimised.
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    activateWindow();
    raise();
    if (!QGuiApplication::screenAt(frameGeometry().center())) {
        qDebug() << "LumoraGUI::openWindow() gui out of the screen";
        moveToPrimaryScreen();
    }
}

void LumoraGUI::moveToPrimaryScreen()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().width() / 2, 0);
}

void LumoraGUI::on_toolButton_titleBarClose_clicked()
{
    qDebug() << "LumoraGUI::on_toolButton_titleBarClose_clicked()";
    if (ui->widget_mainPage->isHidden())
        on_toolButton_titleBarBack_clicked();
    // Without a tray a hidden window could never be reached again.
    if (!trayAvailable()) {
        qDebug() << "LumoraGUI: no system tray, minimising instead of hiding";
        showMinimized();
        return;
    }
    hide();
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("G"));
    const int counter = settings->value(QStringLiteral("CLOSE COUNTER"), 0).toInt();
    if (counter < 3) {
        settings->setValue(QStringLiteral("CLOSE COUNTER"), counter + 1);
        showTrayBalloon(
            QStringLiteral("lumora"),
            tr("is running in background. You can quit Lumora by opening the right-click menu at this tray icon.",
               "trayicon"),
            QSystemTrayIcon::Information, 5000);
    }
    settings->endGroup();
}

// A close the window manager asks for (Alt+F4, its close button) only puts
// the window away, as the title bar's button does. Every other close comes
// from the quit path (the quit action, the exit button, a quit signal, the
// session's end) and ends the program: the event loop is ended here, not
// when the last window closes, so that neither a box, a pop-up or another
// window closing ends the program nor one left open keeps it running.
void LumoraGUI::closeEvent(QCloseEvent* event)
{
    if (event->spontaneous() && !m_closing) {
        qDebug() << "LumoraGUI::closeEvent asked by the window manager: hiding";
        event->ignore();
        on_toolButton_titleBarClose_clicked();
        return;
    }
    qDebug() << "LumoraGUI::closeEvent";
    hideBlinkReminder();
    hide();
    if (m_trayIcon)
        m_trayIcon->hide();
    m_closing = true;
    event->accept();
    QCoreApplication::quit();
}
