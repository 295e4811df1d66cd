#include "gui/lumoragui.h"

// The pauses of the program and of its camera use taken on session events:
// screen lock, sleep, the screen saver, listed processes and window titles.

#include <QDebug>

#include "ui_lumoragui.h"

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
