#include "gui/lumoragui.h"

// The reminder pop-ups the window owns: blink, break and exercise.

void LumoraGUI::showReminder() {}
void LumoraGUI::responceToBlink() {}
void LumoraGUI::showBreakReminder() {}
void LumoraGUI::hideBreakReminder() {}
void LumoraGUI::showExercise() {}
void LumoraGUI::hideExerciseReminder() {}
