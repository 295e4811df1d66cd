#include "core/control/statisticscontroller.h"

#include <QDebug>

StatisticsController::StatisticsController(QString directory, QObject* parent)
    : QObject(parent), m_directory(std::move(directory))
{
}

StatisticsController::~StatisticsController() = default;

void StatisticsController::init()
{
    qDebug() << "StatisticsController::init()";
    emit statsControllerInitialized();
}

void StatisticsController::quit()
{
    qDebug() << "StatisticsController::quit()";
    emit finished();
}

void StatisticsController::deleteAllMeasurements() {}
void StatisticsController::createJsonData(QString, QString) {}
void StatisticsController::updateStatistics(int, int) {}
void StatisticsController::createStatistics() {}
void StatisticsController::addMeasurement(double, QString, int) {}
