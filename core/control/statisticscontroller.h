#pragma once
// The measurement store: keeps "statistics.json" and publishes the series.
// Lives on a thread of its own, where it also reads the file first. Several
// processes may share the file: each writes only under a lock (without one
// only where the file system gives none) and first takes in what the others
// stored. Measurements that cannot be stored yet (the lock is held, a write
// fails) wait; at the end they are left beside the file for the next
// writer. A delete is told to the others at once and carried out by
// whichever writes first; what was made before it never comes back.

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QObject>
#include <QString>
#include <QVector>

#include "core/control/storefiles.h"

class QTimer;

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
    using Reading = storefiles::Reading;
    // How many deletes were asked for, by any process, and how many of them
    // the file has seen carried out.
    struct Deletes
    {
        qint64 asked;
        qint64 done;
    };

    QJsonDocument loadMeasurementsFromJson(QString path);
    // Reads the file: a missing or blank one is Blank, one that holds known
    // Unchanged (not parsed), one that reads but is not a history Damaged,
    // something that is not our file (a FIFO, a folder, another user's file)
    // Unusable, one that cannot be read now Failed; the last three are
    // logged. *text gets what was read.
    Reading readHistory(const QString& path, const QByteArray& known, QByteArray* text,
                        QJsonDocument* document) const;
    // Takes in the file when it differs from what this process last read or
    // wrote: the document and the series become its history with the records
    // this process has not yet stored added. While a delete waits the file's
    // records are left out. Only a store that may write keeps a damaged file
    // aside. False when the file cannot be read now.
    bool takeInFile(bool mayWrite, bool deleting);
    // Fills the series from the document.
    void fillSeries();
    void createSmallStatistics();
    QVector<double> createSubStatisticsBlinkRates(QVector<double> v, int start, int end);
    QVector<int> createSubStatisticsLengths(QVector<int> v, int start, int end);
    QVector<QDateTime> createSubStatisticsDateTimes(QVector<QDateTime> v, int start, int end);

    // Deletes what writes cut short by a kill left of their temporary files.
    void removeStaleTemporaryFiles(bool locked);
    // Moves a file that cannot be read as a history out of the way, under a
    // dated name that no other file has; false when it could not be moved.
    bool keepHistoryAside(const QString& path);
    // Replaces the file with the rendered document in one step: a failed or
    // interrupted write leaves the previous file as it was.
    bool writeDocument();
    // Brings the rendering up to date with the records appended to the
    // history since, without rendering the whole history again.
    void renderAppended();
    // Under the lock, waiting for it at most waitMs: takes in what other
    // processes stored (or carries out a delete that waits) and writes what
    // this one has not stored yet. Where the file system gives no locks at
    // all, the same without one. False when the lock cannot be had now or
    // the file cannot be read or written; it is to be tried again.
    bool storePending(int waitMs);
    // Tries storePending() again until it succeeds.
    void retryLater();
    // At the end: what still waits is stored if the lock comes within a
    // bound, or else left beside the file.
    void storeBeforeEnd();
    // The records other processes left beside the file, less those already
    // in the document and those made before a delete; *names gets the files
    // they came from.
    QJsonArray recordsLeftBeside(QStringList* names);
    // A file in the data folder beside statistics.json.
    QString besideFile(const QString& name) const;
    // False when a count cannot be read now; *deletes then holds what is known.
    bool readDeletes(Deletes* deletes) const;
    // Counts this process's delete as asked for, where every process sees it.
    bool tellDelete();
    // Takes note of the deletes asked for: on a new one, the records this
    // process has not stored yet go, and so does the history it shows.
    void noteDeletes(qint64 asked);

    QString m_directory;
    QVector<double> m_blinkRates;
    QVector<int> m_lengths;
    QVector<QDateTime> m_dateTimes;
    QJsonDocument m_document;
    QString m_filePath;
    QString m_uploadJson;
    // The document rendered as the file is to hold it; empty when it is to
    // be rendered anew. Rendering 20,000 records takes longer than an addition
    // may, so additions splice their record in.
    QByteArray m_rendered;
    // Records appended to the document that the rendering does not hold yet.
    QJsonArray m_unrendered;
    // Set when an unreadable file could not be moved aside: it is then
    // never written over, and the history of this run is not stored.
    bool m_writeBlocked = false;
    // The file's content as this process last read or wrote it; empty when
    // unknown. Content tells a change where times have whole seconds and a
    // reused inode gives the same device, inode, size and times.
    QByteArray m_seenContent;
    // Records added by this process that no write has stored yet.
    QJsonArray m_unsaved;
    // The document holds what the file does not (a new empty history, one
    // that replaces a damaged file, or a delete carried out).
    bool m_changed = false;
    // The deletes this process knows of; its records not stored yet were
    // made after the last of them.
    qint64 m_deletesKnown = 0;
    // A delete asked for here waits to be carried out.
    bool m_deletePending = false;
    bool m_cleanedUp = false;
    // Whether the last try found the lock held, the last write failed, or
    // the file system gave no locks, so that each state logs once.
    bool m_lockMissed = false;
    bool m_writeFailing = false;
    bool m_noLocksLogged = false;
    QTimer* m_retry;
};
