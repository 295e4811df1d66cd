#include "gui/lumoragui.h"

#include <QCloseEvent>
#include <QDebug>

#include "ui_lumoragui.h"

LumoraGUI::LumoraGUI(QWidget* parent) : QWidget(parent), ui(new Ui_LumoraGUI)
{
    ui->setupUi(this);
    adjustGUIelementsSizes();
    initializeShadowsForWidgets();
}

LumoraGUI::~LumoraGUI()
{
    m_closing = true;
    delete ui;
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

void LumoraGUI::setBrightnessSliderPosition(int) {}
void LumoraGUI::setColorTemperatureSliderPosition(int) {}
void LumoraGUI::disableHWbrightnessControl() {}
void LumoraGUI::enableHWbrightnessControl(int) {}
