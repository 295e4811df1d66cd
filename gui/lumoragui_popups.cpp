#include "gui/lumoragui.h"

#include "ui_lumoragui.h"

// The reminder pop-ups the window owns: blink, break and exercise.

void LumoraGUI::showReminder() {}
void LumoraGUI::responceToBlink() {}
void LumoraGUI::showBreakReminder() {}
void LumoraGUI::hideBreakReminder() {}
void LumoraGUI::showExercise() {}
void LumoraGUI::hideExerciseReminder() {}

void LumoraGUI::createReminderPopups() {}
void LumoraGUI::placeBlinkReminder(bool) {}

void LumoraGUI::hideBlinkReminder()
{
    // The blink reminder rolls in here once it exists.
    if (!m_isInteractiveReminder)
        return;
    if (m_statusMessage == TRAINING_OBSERVES_USER)
        m_statusMessage = NO_MESSAGE;
    if (!ui->label_blinkMonitoringMessage->isHidden())
        m_statusMessage = NO_MEASUREMENT_YET;
    adjustGUIappearance();
}
