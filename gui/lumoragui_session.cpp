#include "gui/lumoragui.h"

// The pauses of the program and of its camera use taken on session events:
// screen lock, sleep, the screen saver, listed processes and window titles.

#include <QDebug>

#include "ui_lumoragui.h"

// The user's own pause wins: while it holds (presentation mode with no
// session reason behind it), arriving reasons take no share of it. A pause
// taken by a reason is shared by every reason that arrives while it lasts,
// and ends only when the last of them has ended: screen saver on, then lock,
// then screen saver off keeps the program paused until the unlock.
bool LumoraGUI::automaticPauseHeld() const
{
    return m_pausedByLock || m_pausedBySleep || m_pausedByScreensAsleep || m_pausedByScreenSaver
           || m_pausedByClonedScreen || m_pausedByProcess || m_pausedByPauseTitle;
}

bool LumoraGUI::automaticCameraPauseHeld() const
{
    return m_cameraPausedByBattery || m_cameraPausedByTitle;
}

void LumoraGUI::pauseForReason(bool& reason)
{
    if (m_presentationMode && !automaticPauseHeld())
        return;
    reason = true;
    pauseApp();
}

void LumoraGUI::resumeForReason(bool& reason)
{
    if (!reason)
        return;
    reason = false;
    if (!automaticPauseHeld())
        resumeApp();
}

void LumoraGUI::pauseCameraForReason(bool& reason)
{
    if (m_cameraPaused && !automaticCameraPauseHeld())
        return;
    reason = true;
    pauseCameraUse();
}

void LumoraGUI::resumeCameraForReason(bool& reason)
{
    if (!reason)
        return;
    reason = false;
    if (!automaticCameraPauseHeld())
        resumeCameraUse();
}

void LumoraGUI::systemAdapter(int status)
{
    switch (status) {
    case 0:
        pauseForReason(m_pausedByLock);
        break;
    case 1:
        resumeForReason(m_pausedByLock);
        emit brightnessSliderPositionChanged(ui->slider_brightness->value());
        break;
    case 2:
        pauseForReason(m_pausedBySleep);
        break;
    case 3:
        checkForUpdates();
        resumeForReason(m_pausedBySleep);
        break;
    case 4:
        resumeForReason(m_pausedByScreensAsleep);
        break;
    case 5:
        pauseForReason(m_pausedByScreensAsleep);
        break;
    case 6:
        pauseForReason(m_pausedByScreenSaver);
        break;
    case 7:
        resumeForReason(m_pausedByScreenSaver);
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
            pauseForReason(m_pausedByClonedScreen);
        else
            resumeForReason(m_pausedByClonedScreen);
        break;
    case 12:
        resumeForReason(m_pausedByClonedScreen);
        break;
    case 13:
        emit poweredByBattery(true);
        if (ui->checkBox_pauseOnBattery->isChecked()) {
            const bool held = m_cameraPausedByBattery;
            pauseCameraForReason(m_cameraPausedByBattery);
            if (!held && m_cameraPausedByBattery)
                qDebug() << "LumoraGUI::nativeEvent() camera use paused because of battery";
        } else if (m_cameraPausedByBattery) {
            qDebug() << "LumoraGUI::nativeEvent() camera use resumed because of battery";
            resumeCameraForReason(m_cameraPausedByBattery);
        }
        break;
    case 14:
        emit poweredByBattery(false);
        if (m_cameraPausedByBattery) {
            qDebug() << "LumoraGUI::nativeEvent() camera use resumed because of battery";
            resumeCameraForReason(m_cameraPausedByBattery);
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
            pauseForReason(m_pausedByProcess);
        else
            resumeForReason(m_pausedByProcess);
        break;
    case 19:
        resumeForReason(m_pausedByProcess);
        break;
    case 20:
        if (ui->checkBox_whenTitleExists->isChecked())
            pauseCameraForReason(m_cameraPausedByTitle);
        else
            resumeCameraForReason(m_cameraPausedByTitle);
        break;
    case 21:
        resumeCameraForReason(m_cameraPausedByTitle);
        break;
    case 22:
        if (ui->checkBox_pauseApp_whenTitleExist->isChecked())
            pauseForReason(m_pausedByPauseTitle);
        else
            resumeForReason(m_pausedByPauseTitle);
        break;
    case 23:
        resumeForReason(m_pausedByPauseTitle);
        break;
    default:
        break;
    }
}
