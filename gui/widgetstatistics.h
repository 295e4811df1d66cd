#pragma once
// The statistics history window.

#include <QDateTime>
#include <QVector>
#include <QWidget>

class WidgetStatistics : public QWidget
{
    Q_OBJECT
public:
    explicit WidgetStatistics(QWidget* parent);
    ~WidgetStatistics() override;

signals:
    void deleteHistory();
    void sliderIntervalChanged(int start, int end);

public slots:
    void updateStatistics(QVector<double> blinkRates, QVector<int> blinkLengths,
                          QVector<QDateTime> dateTimes, int measurementSize);
};
