#include "gui/lumoragui.h"

#include "gui/blinkreminderwidget.h"
#include "gui/breakreminderwidget.h"
#include "gui/exercisereminderwidget.h"
#include "ui_lumoragui.h"

#include <QSound>

// The reminder pop-ups the window owns: blink, break and exercise. The
// window turns the scheduler's requests into calls on them and forwards
// their signals back to the scheduler.

void LumoraGUI::createReminderPopups()
{
    m_blinkReminder = new BlinkReminderWidget(this);
    m_breakReminder = new BreakReminderWidget(this);
    m_exerciseReminder = new ExerciseReminderWidget(this);
    connect(m_blinkReminder, &BlinkReminderWidget::hideBlinkReminderByMouseRequested, this,
            &LumoraGUI::hideBlinkReminderByMouseRequested);
    connect(m_breakReminder, &BreakReminderWidget::skipClicked, this, &LumoraGUI::skipBreakClicked);
    connect(m_breakReminder, &BreakReminderWidget::snoozeClicked, this, &LumoraGUI::snoozeBreakClicked);
    connect(m_exerciseReminder, &ExerciseReminderWidget::exerciseFinished, this, &LumoraGUI::exerciseFinished);
}

void LumoraGUI::showReminder()
{
    if (!m_closing)
        m_blinkReminder->rollOut(ui->checkBox_enableSound->isChecked());
}

void LumoraGUI::responceToBlink()
{
    if (ui->widget_livePreviewPage->isVisible())
        m_blinkSound->play();
    else
        hideBlinkReminder();
}

void LumoraGUI::showBreakReminder()
{
    if (!m_closing)
        m_breakReminder->fadeIn();
}

void LumoraGUI::hideBreakReminder()
{
    m_breakReminder->fadeOut();
}

void LumoraGUI::showExercise()
{
    if (!m_closing)
        m_exerciseReminder->fadeIn();
}

void LumoraGUI::hideExerciseReminder()
{
    m_exerciseReminder->stop();
}

void LumoraGUI::placeBlinkReminder(bool placing)
{
    if (placing)
        m_blinkReminder->changePosition();
    else
        m_blinkReminder->savePosition();
}

void LumoraGUI::hideBlinkReminder()
{
    if (m_blinkReminder->isVisible())
        m_blinkReminder->rollIn();
    if (!m_isInteractiveReminder)
        return;
    if (m_statusMessage == TRAINING_OBSERVES_USER)
        m_statusMessage = NO_MESSAGE;
    if (!ui->label_blinkMonitoringMessage->isHidden())
        m_statusMessage = NO_MEASUREMENT_YET;
    adjustGUIappearance();
}
