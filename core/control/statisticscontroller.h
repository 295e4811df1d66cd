#pragma once
// The measurement store: keeps "statistics.json" and publishes the series.
// Lives on a thread of its own.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

class StatisticsController : public QObject
{
    Q_OBJECT
public:
    explicit StatisticsController(QString directory, QObject* parent = nullptr);
    ~StatisticsController() override;

signals:
    void statisticsChanged(QVector<double> blinkRates, QVector<int> lengths,
                           QVector<QDateTime> dateTimes, int allMeasurementSize);
    void smallStatisticsChanged(QVector<double> blinkRates, QVector<int> lengths,
                                QVector<QDateTime> dateTimes);
    void finished();
    // The upload document, handed over as a value the receiver owns.
    void measurementsUploadReady(QString uploadJson);
    void statsControllerInitialized();

public slots:
    void deleteAllMeasurements();
    void init();
    void createJsonData(QString lastDateTime, QString pcid);
    void updateStatistics(int start, int end);
    void quit();
    void createStatistics();
    void addMeasurement(double blinkRate, QString note, int length);

private:
    QString m_directory;
};
