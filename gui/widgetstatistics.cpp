#include "gui/widgetstatistics.h"

WidgetStatistics::WidgetStatistics(QWidget* parent) : QWidget(parent, Qt::Window) {}
WidgetStatistics::~WidgetStatistics() = default;

void WidgetStatistics::updateStatistics(QVector<double>, QVector<int>, QVector<QDateTime>, int) {}
