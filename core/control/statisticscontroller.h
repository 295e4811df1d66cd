#pragma once
// The measurement store: keeps "statistics.json" and publishes the series.
// Lives on a thread of its own. Several processes may share the file: each
// writes under a lock and first takes in what the others stored.

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
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
    enum class Reading { Blank, History, Unusable };

    QJsonDocument loadMeasurementsFromJson(QString path);
    // Reads the file into *document and notes what was read; a missing or
    // blank file is Blank, one that is not a history (logged) Unusable.
    Reading readHistory(const QString& path, QJsonDocument* document);
    // Fills the series from the document.
    void fillSeries();
    void createSmallStatistics();
    QVector<double> createSubStatisticsBlinkRates(QVector<double> v, int start, int end);
    QVector<int> createSubStatisticsLengths(QVector<int> v, int start, int end);
    QVector<QDateTime> createSubStatisticsDateTimes(QVector<QDateTime> v, int start, int end);

    // Deletes what writes cut short by a kill left of their temporary files.
    void removeStaleTemporaryFiles();
    // Moves a file that cannot be read as a history out of the way, under a
    // dated name that no other file has; false when it could not be moved.
    bool keepAside(const QString& path);
    // Replaces the file with the rendered document in one step: a failed or
    // interrupted write leaves the previous file as it was.
    bool writeDocument();
    // Brings the rendered file up to date with one record appended to the
    // history, without rendering the whole history again.
    void renderAppended(const QJsonObject& record, bool wasEmpty);
    // Writes the document under the lock. With merge, a file that another
    // process changed since this one last read or wrote it is read first;
    // the document and the series become that file with the records this
    // process has not yet stored added to it.
    void store(bool merge);
    void mergeFromFile();
    QString lockPath() const;

    QString m_directory;
    QVector<double> m_blinkRates;
    QVector<int> m_lengths;
    QVector<QDateTime> m_dateTimes;
    QJsonDocument m_document;
    QString m_filePath;
    QString m_uploadJson;
    // The document as the file holds it, rendered; empty when it is to be
    // rendered anew. Rendering 20,000 records takes longer than an addition
    // may, so additions splice their record in.
    QByteArray m_rendered;
    // Set when an unreadable file could not be moved aside: it is then
    // never written over, and the history of this run is not stored.
    bool m_writeBlocked = false;
    // The file as this process last read or wrote it (device, inode, size
    // and times); empty when unknown. Every write replaces the file, so a
    // different stamp means another process wrote it.
    QByteArray m_seenStamp;
    // Records added by this process that no write has stored yet.
    QJsonArray m_unsaved;
};
