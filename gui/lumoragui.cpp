#include "gui/lumoragui.h"

#include <QCloseEvent>
#include <QDebug>

LumoraGUI::LumoraGUI(QWidget* parent) : QWidget(parent) {}

LumoraGUI::~LumoraGUI()
{
    m_closing = true;
}

void LumoraGUI::init()
{
    qDebug() << "LumoraGUI::init()";
    loadSettings();
}

void LumoraGUI::loadSettings() {}

void LumoraGUI::openWindow()
{
    show();
    raise();
    activateWindow();
}

void LumoraGUI::on_toolButton_titleBarClose_clicked()
{
    qDebug() << "LumoraGUI::on_toolButton_titleBarClose_clicked()";
    hide();
}

void LumoraGUI::closeEvent(QCloseEvent* event)
{
    qDebug() << "LumoraGUI::closeEvent";
    hide();
    m_closing = true;
    event->accept();
}

void LumoraGUI::showReminder() {}
void LumoraGUI::responceToBlink() {}
void LumoraGUI::showBreakReminder() {}
void LumoraGUI::hideBreakReminder() {}
void LumoraGUI::showExercise() {}
void LumoraGUI::hideExerciseReminder() {}
void LumoraGUI::showBubleNotificationAboutMeasurement(double) {}
void LumoraGUI::showImage(QImage) {}
void LumoraGUI::showError(Error) {}
void LumoraGUI::adjustSystemTrayBasedOnFunctionalityAccessingCamera(Feature) {}
void LumoraGUI::updateHealthStatus(QVector<double>, QVector<int>, QVector<QDateTime>) {}
void LumoraGUI::setBrightnessSliderPosition(int) {}
void LumoraGUI::setColorTemperatureSliderPosition(int) {}
void LumoraGUI::disableHWbrightnessControl() {}
void LumoraGUI::enableHWbrightnessControl(int) {}
void LumoraGUI::showInternetUnreachable() {}
