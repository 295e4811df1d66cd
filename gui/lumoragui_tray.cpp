#include "gui/lumoragui.h"

// The tray icon and its menu, the pause actions behind the menu and the main
// page's tool buttons, and the pauses taken on session events.

#include <QDebug>
#include <QIcon>
#include <QMenu>

#include "app/platform/systemsession.h"
#include "ui_lumoragui.h"

bool LumoraGUI::trayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void LumoraGUI::createTrayIcon()
{
    m_trayMenu = new QMenu(this);
    rebuildTrayMenu();
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setToolTip(QStringLiteral("lumora"));
    m_trayIcon->setContextMenu(m_trayMenu);
    m_trayIcon->setIcon(QIcon(QStringLiteral(":/icons/icon16.svg")));
    m_trayIcon->setVisible(true);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &LumoraGUI::showWindow);
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
    adjustGUIappearance();
    emit disableCameraUse(false);
}

// ------------------------------------------------------ session events

namespace {

// A pause taken for a reason: only when nothing holds the pause yet.
template <typename Pause>
void pauseFor(bool& reason, bool alreadyPaused, Pause pause)
{
    if (alreadyPaused)
        return;
    reason = true;
    pause();
}

// The end of a reason ends the pause only when that reason took it.
template <typename Resume>
void resumeFor(bool& reason, Resume resume)
{
    if (!reason)
        return;
    reason = false;
    resume();
}

}  // namespace

void LumoraGUI::systemAdapter(int status)
{
    const auto pause = [this]() { pauseApp(); };
    const auto resume = [this]() { resumeApp(); };
    const auto pauseCamera = [this]() { pauseCameraUse(); };
    const auto resumeCamera = [this]() { resumeCameraUse(); };
    switch (status) {
    case 0:
        pauseFor(m_pausedByLock, m_presentationMode, pause);
        break;
    case 1:
        resumeFor(m_pausedByLock, resume);
        emit brightnessSliderPositionChanged(ui->slider_brightness->value());
        break;
    case 2:
        pauseFor(m_pausedBySleep, m_presentationMode, pause);
        break;
    case 3:
        checkForUpdates();
        resumeFor(m_pausedBySleep, resume);
        break;
    case 4:
        resumeFor(m_pausedByScreensAsleep, resume);
        break;
    case 5:
        pauseFor(m_pausedByScreensAsleep, m_presentationMode, pause);
        break;
    case 6:
        pauseFor(m_pausedByScreenSaver, m_presentationMode, pause);
        break;
    case 7:
        resumeFor(m_pausedByScreenSaver, resume);
        break;
    case 8:
        emit lidStatusOpen(true);
        break;
    case 9:
        emit lidStatusOpen(false);
        break;
    case 10:
        qDebug() << "LumoraGUI::nativeEvent() display changed";
        emit screenControlEnabled(ui->toolButton_screenControlOnOff->isChecked(), 5000);
        break;
    case 11:
        if (ui->checkBox_pauseAppWhenClonedScreen->isChecked())
            pauseFor(m_pausedByClonedScreen, m_presentationMode, pause);
        else
            resumeFor(m_pausedByClonedScreen, resume);
        break;
    case 12:
        resumeFor(m_pausedByClonedScreen, resume);
        break;
    case 13:
        emit poweredByBattery(true);
        if (ui->checkBox_pauseOnBattery->isChecked()) {
            if (!m_cameraPaused) {
                qDebug() << "LumoraGUI::nativeEvent() camera use paused because of battery";
                pauseFor(m_cameraPausedByBattery, m_cameraPaused, pauseCamera);
            }
        } else if (m_cameraPausedByBattery) {
            qDebug() << "LumoraGUI::nativeEvent() camera use resumed because of battery";
            resumeFor(m_cameraPausedByBattery, resumeCamera);
        }
        break;
    case 14:
        emit poweredByBattery(false);
        if (m_cameraPausedByBattery) {
            qDebug() << "LumoraGUI::nativeEvent() camera use resumed because of battery";
            resumeFor(m_cameraPausedByBattery, resumeCamera);
        }
        break;
    case 15:
        emit powerSaverActivated(false);
        break;
    case 16:
        emit powerSaverActivated(true);
        break;
    case 17:
        qDebug() << "LumoraGUI:: dpi changed";
        break;
    case 18:
        if (ui->checkBox_whenProcessRun->isChecked())
            pauseFor(m_pausedByProcess, m_presentationMode, pause);
        else
            resumeFor(m_pausedByProcess, resume);
        break;
    case 19:
        resumeFor(m_pausedByProcess, resume);
        break;
    case 20:
        if (ui->checkBox_whenTitleExists->isChecked())
            pauseFor(m_cameraPausedByTitle, m_cameraPaused, pauseCamera);
        else
            resumeFor(m_cameraPausedByTitle, resumeCamera);
        break;
    case 21:
        resumeFor(m_cameraPausedByTitle, resumeCamera);
        break;
    case 22:
        if (ui->checkBox_pauseApp_whenTitleExist->isChecked())
            pauseFor(m_pausedByPauseTitle, m_presentationMode, pause);
        else
            resumeFor(m_pausedByPauseTitle, resume);
        break;
    case 23:
        resumeFor(m_pausedByPauseTitle, resume);
        break;
    default:
        break;
    }
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
    // The status line follows the label's visibility, which a hidden window
    // does not report; the text is set here as well.
    ui->label_blinkMonitoringMessage->setText(errorToText(m_currentError));
    if (m_trayIcon)
        m_trayIcon->setToolTip(errorToText(m_currentError));
}
