#include "gui/lumoragui.h"

// The tray icon and its menu, the pause actions behind the menu and the main
// page's tool buttons.

#include <QDebug>
#include <QIcon>
#include <QMenu>
#include <QTimer>

#include "app/platform/systemsession.h"
#include "ui_lumoragui.h"

namespace {

// How long a balloon waits for the tray to take the icon, and how often it looks.
constexpr int kBalloonWaitMs = 3000;
constexpr int kBalloonLookMs = 100;

}  // namespace

bool LumoraGUI::trayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void LumoraGUI::createTrayIcon()
{
    m_trayMenu = new QMenu(this);
    rebuildTrayMenu();
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setContextMenu(m_trayMenu);
    setTrayState(QStringLiteral(":/icons/icon16.svg"), QStringLiteral("lumora"));
    m_trayIcon->setVisible(true);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &LumoraGUI::showWindow);

    m_balloonTimer = new QTimer(this);
    m_balloonTimer->setInterval(kBalloonLookMs);
    connect(m_balloonTimer, &QTimer::timeout, this, &LumoraGUI::showPendingBalloon);
}

// A balloon points at the icon's place in the tray. An X11 tray takes the
// icon a moment after it is made (or once the tray starts); until then the
// icon's window lies at the screen's origin and a balloon would appear in
// the screen's corner, pointing at nothing. So it waits until the icon is
// in the tray, at most a few seconds; a newer balloon replaces a waiting one.
void LumoraGUI::showTrayBalloon(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                                int ms)
{
    if (!m_trayIcon || m_closing)
        return;
    m_pendingBalloon = Balloon{title, message, icon, ms};
    m_balloonWait.start();
    showPendingBalloon();
}

void LumoraGUI::showPendingBalloon()
{
    if (!m_pendingBalloon || m_closing) {
        m_pendingBalloon.reset();
        m_balloonTimer->stop();
        return;
    }
    const QRect icon = m_trayIcon->geometry();
    const bool tray = trayAvailable();
    // A tray on the session bus gives no place: the desktop places its
    // notifications itself.
    const bool inTray = icon.isEmpty() ? tray : icon.topLeft() != QPoint(0, 0);
    if (!inTray && m_balloonWait.elapsed() < kBalloonWaitMs) {
        if (!m_balloonTimer->isActive())
            m_balloonTimer->start();
        return;
    }
    m_balloonTimer->stop();
    const Balloon balloon = *m_pendingBalloon;
    m_pendingBalloon.reset();
    // Waited long enough: an icon that really sits at the origin is there;
    // without a tray the balloon would point at nothing.
    if (!inTray && !tray) {
        qDebug() << "LumoraGUI::showPendingBalloon() no tray, balloon dropped:" << balloon.message;
        return;
    }
    m_trayIcon->showMessage(balloon.title, balloon.message, balloon.icon, balloon.ms);
}

// The menu follows the two pause flags, so it is always one of four:
// open, pause or resume, the camera pause or resume (none while in
// presentation mode unless camera use was already paused), quit.
void LumoraGUI::rebuildTrayMenu()
{
    m_trayMenu->clear();
    m_trayMenu->addAction(ui->action_open);
    m_trayMenu->addAction(m_presentationMode ? ui->action_resumeLumora : ui->action_pauseLumora);
    if (m_cameraPaused)
        m_trayMenu->addAction(ui->action_resumeWebcamUse);
    else if (!m_presentationMode)
        m_trayMenu->addAction(ui->action_pauseWebcamUse);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(ui->action_quit);
}

void LumoraGUI::showWindow(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger && (!isVisible() || isMinimized()))
        openWindow();
}

void LumoraGUI::pauseApp()
{
    if (m_presentationMode)
        return;
    qDebug() << "LumoraGUI::pauseApp()";
    m_presentationMode = true;
    applyStatusMessageRule();
    rebuildTrayMenu();
    if (!m_cameraPaused)
        ui->toolButton_pauseCamera->removeAction(ui->action_pauseWebcamUse);
    ui->toolButton_presentationMode->removeAction(ui->action_pauseLumora);
    ui->toolButton_presentationMode->setDefaultAction(ui->action_resumeLumora);
    hideBlinkReminder();
    hideExerciseReminder();
    hideBreakReminder();
    showCameraHold();
    adjustGUIappearance();
    emit pauseRequested(true);
}

void LumoraGUI::resumeApp()
{
    if (!m_presentationMode)
        return;
    qDebug() << "LumoraGUI::resumeApp()";
    m_presentationMode = false;
    rebuildTrayMenu();
    if (!m_cameraPaused)
        ui->toolButton_pauseCamera->setDefaultAction(ui->action_pauseWebcamUse);
    ui->toolButton_presentationMode->removeAction(ui->action_resumeLumora);
    ui->toolButton_presentationMode->setDefaultAction(ui->action_pauseLumora);
    showCameraHold();
    adjustGUIappearance();
    emit pauseRequested(false);
}

void LumoraGUI::pauseCameraUse()
{
    if (m_cameraPaused)
        return;
    applyStatusMessageRule();
    qDebug() << "LumoraGUI::pauseCameraUse()";
    m_cameraPaused = true;
    rebuildTrayMenu();
    ui->toolButton_pauseCamera->removeAction(ui->action_pauseWebcamUse);
    ui->toolButton_pauseCamera->setDefaultAction(ui->action_resumeWebcamUse);
    showCameraHold();
    adjustGUIappearance();
    emit disableCameraUse(true);
}

void LumoraGUI::resumeCameraUse()
{
    if (!m_cameraPaused)
        return;
    qDebug() << "LumoraGUI::resumeCameraUse()";
    m_cameraPaused = false;
    rebuildTrayMenu();
    ui->toolButton_pauseCamera->removeAction(ui->action_resumeWebcamUse);
    ui->toolButton_pauseCamera->setDefaultAction(ui->action_pauseWebcamUse);
    showCameraHold();
    adjustGUIappearance();
    emit disableCameraUse(false);
}

// ------------------------------------------------- unreadable model

// The start-up chain stops at the engine, so init() never runs and nothing
// would tell the user why the program does nothing.
void LumoraGUI::showModelUnreadable()
{
    qDebug() << "LumoraGUI::showModelUnreadable()";
    m_modelUnreadable = true;
    m_currentError = LOW_MEMORY_OR_MISSING_MODEL;
    m_errorShown = true;
    ui->label_blinkMonitoringMessage->show();
    adjustGUIappearance();
}
