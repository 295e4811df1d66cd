#include "core/control/statisticscontroller.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/control/storefiles.h"
#include "core/loggedvalue.h"
#include "core/ownfiles.h"

namespace {

const QString kData = QStringLiteral("data");
const QString kDateTime = QStringLiteral("datetime");
const QString kBlinkRate = QStringLiteral("blinkrate");
const QString kNote = QStringLiteral("note");
const QString kLength = QStringLiteral("length");

const char* flag(bool value)
{
    return value ? "true" : "false";
}

QJsonDocument emptyHistory()
{
    return QJsonDocument(QJsonObject{{kData, QJsonArray()}});
}

// The history with records appended to its "data" array, in their order.
QJsonDocument withRecords(const QJsonDocument& history, const QJsonArray& records)
{
    QJsonObject top = history.object();
    QJsonArray data = top.value(kData).toArray();
    for (const QJsonValue& record : records)
        data.append(record);
    top.insert(kData, data);
    return QJsonDocument(top);
}

// ISO 8601 with the numeric UTC offset and whole seconds; a zero offset is
// written "+00:00", never "Z".
QString dateTimeText(const QDateTime& dateTime)
{
    QDateTime local = dateTime.toLocalTime();
    local.setOffsetFromUtc(local.offsetFromUtc());
    QString text = local.toString(Qt::ISODate);
    if (text.endsWith(QLatin1Char('Z'))) {
        text.chop(1);
        text += QStringLiteral("+00:00");
    }
    return text;
}

QDateTime parseDateTime(const QString& text)
{
    return QDateTime::fromString(text, Qt::ISODate).toLocalTime();
}

// Elements start..end (inclusive) of v; a negative start counts from 0, an
// end past the last element stops there, and a reversed range is empty.
template <typename T>
QVector<T> subRange(const QVector<T>& v, int start, int end)
{
    start = qMax(start, 0);
    end = qMin(end, v.size() - 1);
    if (start > end)
        return {};
    return v.mid(start, end - start + 1);
}

// Bounds of the waits for the lock on the store's thread: at the first
// read (the start chain waits for it), at each try, and at the end.
constexpr int kStartWaitMs = 300;
constexpr int kWaitMs = 5000;
constexpr int kRetryWaitMs = 100;
constexpr int kEndWaitMs = 3000;
constexpr int kRetryIntervalMs = 1000;

// Writes of the file go to a temporary file of this name plus six random
// letters beside it first; a write cut short by a kill leaves one behind.
const QString kTemporaryPrefix = QStringLiteral("statistics.json.saving-");
// Measurements a process could not store before its end wait in files of
// this name plus the process id and a random number, written without the
// lock. Their "deletes" is the number of deletes the process knew of.
const QString kLeftBesidePrefix = QStringLiteral("statistics.json.pending-");
const QString kDeletesKey = QStringLiteral("deletes");
// The number of deletes asked for, told by the deleting process without the
// lock, and the number carried out in the file, written under the lock.
const QString kDeletesAsked = QStringLiteral("statistics.json.deletes-asked");
const QString kDeletesDone = QStringLiteral("statistics.json.deletes-done");
// Files written without the lock (records left beside the file, a delete
// asked for) have temporary files named after them; one that has not
// changed for this long is left by a kill, not a write in flight.
constexpr int kStaleSeconds = 60;

// The count a file holds: 0 when there is none, -1 when it cannot be read now.
qint64 readCount(const QString& path)
{
    QByteArray text;
    QString error;
    const storefiles::Reading reading = storefiles::readRegularFile(path, QByteArray(), &text, &error);
    return reading == storefiles::Reading::History  ? qMax<qint64>(text.trimmed().toLongLong(), 0)
           : reading == storefiles::Reading::Failed ? -1
                                                    : 0;
}

bool writeCount(const QString& path, const QString& prefix, qint64 count, QString* error)
{
    QString openError;
    QString writeError;
    if (storefiles::saveAtomically(path, prefix, QByteArray::number(count) + '\n', &openError, &writeError))
        return true;
    *error = openError + writeError;
    return false;
}

// How many members of the top-level object of a parsed JSON text have this
// name. A repeated name would silently lose all but one of its values.
int topLevelMemberCount(const QByteArray& text, const QString& name)
{
    int depth = 0;
    int count = 0;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"') {
            const int start = i;
            for (++i; i < text.size() && text.at(i) != '"'; ++i) {
                if (text.at(i) == '\\')
                    ++i;
            }
            if (depth != 1)
                continue;
            int next = i + 1;
            while (next < text.size() && std::isspace(static_cast<unsigned char>(text.at(next))))
                ++next;
            if (next < text.size() && text.at(next) == ':') {
                const QByteArray quoted = text.mid(start, i - start + 1);
                const QJsonArray key = QJsonDocument::fromJson("[" + quoted + "]").array();
                if (key.size() == 1 && key.at(0).toString() == name)
                    ++count;
            }
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return count;
}

}  // namespace

StatisticsController::StatisticsController(QString directory, QObject* parent)
    : QObject(parent), m_directory(std::move(directory)), m_retry(new QTimer(this))
{
    qDebug() << "StatisticsController::StatisticsController ";
    m_filePath = QDir(m_directory).filePath(QStringLiteral("statistics.json"));
    m_retry->setSingleShot(true);
    m_retry->setInterval(kRetryIntervalMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (storePending(kRetryWaitMs))
            createSmallStatistics();  // what was taken in shows
        else
            m_retry->start();
    });
}

StatisticsController::~StatisticsController()
{
    storeBeforeEnd();
    qDebug() << "StatisticsController::~StatisticsController() thread" << QThread::currentThreadId();
}

QJsonDocument StatisticsController::loadMeasurementsFromJson(QString path)
{
    qDebug() << "StatisticsController::loadMeasurementsFromJson " << QThread::currentThreadId() << "path"
             << path;
    m_filePath = std::move(path);
    m_document = emptyHistory();
    // Another process holding the lock for long, or a read failing for a
    // passing reason, must not hold up the start: the history shows as the
    // file holds it (writes replace it whole) and is stored later.
    if (!storePending(kStartWaitMs)) {
        if (m_seenContent.isEmpty()) {
            Deletes deletes;
            readDeletes(&deletes);
            noteDeletes(deletes.asked);
            takeInFile(false, m_deletesKnown > deletes.done);
        }
        retryLater();
    }
    return m_document;
}

StatisticsController::Reading StatisticsController::readHistory(const QString& path, const QByteArray& known,
                                                                QByteArray* text, QJsonDocument* document) const
{
    const QFileInfo info(path);
    QString error;
    const Reading result = storefiles::readRegularFile(path, known, text, &error);
    switch (result) {
    case Reading::History:
        qDebug() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                 << "writable" << flag(info.isWritable());
        break;
    case Reading::Unusable:
    case Reading::Failed:
        qWarning() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                   << "writable" << flag(info.isWritable()) << "file cannot be opened" << path << error;
        return result;
    default:
        return result;
    }
    if (text->trimmed().isEmpty())
        return Reading::Blank;

    QJsonParseError parseError;
    *document = QJsonDocument::fromJson(*text, &parseError);
    const bool parsed = parseError.error == QJsonParseError::NoError;
    if (parsed && document->isObject() && document->object().value(kData).isArray()
        && topLevelMemberCount(*text, kData) == 1)
        return Reading::History;
    qWarning() << "StatisticsController: statistics.json is not a measurement history:"
               << (!parsed ? parseError.errorString()
                   : document->isObject() && document->object().value(kData).isArray()
                       ? QStringLiteral("more than one \"data\" array")
                       : QStringLiteral("no \"data\" array"));
    return Reading::Damaged;
}

bool StatisticsController::takeInFile(bool mayWrite, bool deleting)
{
    if (deleting) {
        // Every record of the file was made before a delete that waits: the
        // file is replaced, unread.
        m_seenContent.clear();
        m_document = withRecords(emptyHistory(), m_unsaved);
        m_rendered.clear();
        m_changed = true;
        fillSeries();
        return true;
    }
    QByteArray text;
    QJsonDocument file;
    const Reading reading = readHistory(m_filePath, m_seenContent, &text, &file);
    if (reading == Reading::Failed)
        return false;  // nothing is known of the file; a later try reads it
    if (reading == Reading::Unchanged)
        return true;
    const bool known = !m_seenContent.isEmpty();
    m_seenContent = reading == Reading::History ? text : QByteArray();
    if (reading != Reading::History) {
        // The file may be all the user's history, broken by an interrupted
        // write of an older version or by hand: when this store may write
        // it is kept under a name of its own and the store goes on with an
        // empty history in a new file. A missing or empty file becomes an
        // empty one.
        if (reading != Reading::Blank && (!mayWrite || !keepHistoryAside(m_filePath)))
            return true;
        file = emptyHistory();
        m_changed = true;
    }
    // The file is what all processes stored, deletes included; only the
    // records this process has not yet stored are added to it, in the order
    // they were taken.
    if (known)
        qDebug() << "StatisticsController: statistics.json was changed by another process; records there"
                 << file.object().value(kData).toArray().size() << "added here" << m_unsaved.size();
    m_document = withRecords(file, m_unsaved);
    m_rendered.clear();
    fillSeries();
    return true;
}

void StatisticsController::removeStaleTemporaryFiles(bool locked)
{
    // Under the lock any temporary file of a write of the history is a
    // leftover of a killed writer; those of files written without the lock
    // only once they have not changed for a while. Links and other names
    // are never touched.
    static const QRegularExpression temporaryName(QLatin1Char('^') + QRegularExpression::escape(kTemporaryPrefix) +
                                                  QStringLiteral("[A-Za-z0-9]{6}$"));
    static const QRegularExpression unlockedName(
        QStringLiteral("^statistics\\.json\\.(pending-[0-9]+-[0-9a-f]+|deletes-asked)\\.saving-[A-Za-z0-9]{6}$"));
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-kStaleSeconds);
    const QFileInfoList candidates =
        QDir(QFileInfo(m_filePath).absolutePath())
            .entryInfoList({QStringLiteral("statistics.json.*saving-*")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& file : candidates) {
        const bool stale = (locked && temporaryName.match(file.fileName()).hasMatch()) ||
                           (unlockedName.match(file.fileName()).hasMatch() && file.lastModified() < staleBefore);
        if (stale && QFile::remove(file.absoluteFilePath()))
            qDebug() << "StatisticsController: removed an interrupted write" << file.fileName();
    }
}

bool StatisticsController::keepHistoryAside(const QString& path)
{
    // An older kept copy that happens to have the same name stays; the next
    // free name is taken.
    QString error;
    const QString aside = ownfiles::keepAside(path, QStringLiteral("unreadable"), &error);
    if (!aside.isEmpty()) {
        qWarning() << "StatisticsController: unreadable statistics.json kept aside as" << aside;
        return true;
    }
    qWarning() << "StatisticsController: unreadable statistics.json cannot be kept aside" << error;
    qWarning() << "StatisticsController: statistics.json is left untouched; measurements of this run are "
                  "not stored";
    m_writeBlocked = true;
    return false;
}

bool StatisticsController::writeDocument()
{
    // What was seen stays known should the write fail; as it shares the
    // rendered bytes, the splice copies them once.
    renderAppended();
    QString openError;
    QString writeError;
    if (storefiles::saveAtomically(m_filePath, kTemporaryPrefix, m_rendered, &openError, &writeError)) {
        m_seenContent = m_rendered;
        m_writeFailing = false;
        return true;
    }
    if (!m_writeFailing) {  // a full disk is logged once, not at every try
        if (!openError.isEmpty())
            qWarning() << "StatisticsController: addMeasurement file cannot be opened" << openError;
        else
            qWarning() << "StatisticsController: statistics.json cannot be written, the previous file is kept"
                       << writeError;
    }
    m_writeFailing = true;
    return false;
}

void StatisticsController::renderAppended()
{
    // The indented form ends with the close of the "data" array when that
    // is the only key; each record goes in just before it, indented as an
    // element of the array.
    static const QByteArray tail = QByteArrayLiteral("\n    ]\n}\n");
    if (m_document.object().size() != 1 || !m_rendered.endsWith(tail)) {
        m_rendered = m_document.toJson(QJsonDocument::Indented);
        m_unrendered = QJsonArray();
        return;
    }
    for (const QJsonValue& record : qAsConst(m_unrendered)) {
        const bool wasEmpty = m_rendered.endsWith('[' + tail);
        QByteArray element = QJsonDocument(record.toObject()).toJson(QJsonDocument::Indented);
        element.chop(1);
        element.replace('\n', QByteArrayLiteral("\n        "));
        m_rendered.chop(tail.size());
        m_rendered += wasEmpty ? QByteArrayLiteral("\n        ") : QByteArrayLiteral(",\n        ");
        m_rendered += element;
        m_rendered += tail;
    }
    m_unrendered = QJsonArray();
}

QString StatisticsController::besideFile(const QString& name) const
{
    return QFileInfo(m_filePath).absolutePath() + QLatin1Char('/') + name;
}

bool StatisticsController::readDeletes(Deletes* deletes) const
{
    const qint64 asked = readCount(besideFile(kDeletesAsked));
    const qint64 done = readCount(besideFile(kDeletesDone));
    *deletes = {std::max({asked, done, qint64(0)}), std::max(done, qint64(0))};
    return asked >= 0 && done >= 0;
}

bool StatisticsController::tellDelete()
{
    QString error;
    if (writeCount(besideFile(kDeletesAsked), kDeletesAsked + QStringLiteral(".saving-"), m_deletesKnown, &error))
        return true;
    qWarning() << "StatisticsController: the delete cannot be told to other processes" << error;
    return false;
}

void StatisticsController::noteDeletes(qint64 asked)
{
    if (asked <= m_deletesKnown)
        return;
    // Another process deleted the history since this one last looked: what
    // this one has not stored yet was made before that, and goes too.
    m_deletesKnown = asked;
    m_unsaved = QJsonArray();
    m_document = emptyHistory();
    m_rendered.clear();
    m_unrendered = QJsonArray();
    m_seenContent.clear();
    fillSeries();
}

bool StatisticsController::storePending(int waitMs)
{
    const storefiles::StoreLock lock(besideFile(QStringLiteral("statistics.json.lock")), waitMs);
    if (lock.state() == storefiles::StoreLock::Busy || lock.state() == storefiles::StoreLock::Failed) {
        // Only a miss while something waits is worth a line: a start reads
        // the file without the lock and loses nothing.
        if (!m_unsaved.isEmpty() || m_deletePending) {
            if (!m_lockMissed)
                qWarning() << "StatisticsController: statistics.json lock cannot be had, measurements wait for it"
                           << lock.error();
            m_lockMissed = true;
        }
        return false;
    }
    m_lockMissed = false;
    const bool locked = lock.state() == storefiles::StoreLock::Held;
    if (!locked && !m_noLocksLogged)
        qWarning() << "StatisticsController: the file system gives statistics.json no locks, it is read and "
                      "written without them"
                   << lock.error();
    m_noLocksLogged = !locked;
    if (!m_cleanedUp)
        removeStaleTemporaryFiles(locked);
    m_cleanedUp = true;
    // Not knowing of a delete, a write could bring back what it deleted.
    Deletes deletes;
    if (!readDeletes(&deletes))
        return false;
    noteDeletes(deletes.asked);
    // The first process to write after a delete carries it out.
    const bool deleting = m_deletesKnown > deletes.done;
    m_deletePending = m_deletePending && deleting;
    if (!m_writeBlocked && !takeInFile(true, deleting))
        return false;
    QStringList besideFiles;
    const QJsonArray besides = recordsLeftBeside(&besideFiles);
    if (!m_changed && m_unsaved.isEmpty() && besideFiles.isEmpty())
        return true;
    if (m_writeBlocked) {
        qWarning() << "StatisticsController: statistics.json is not written, it holds an unreadable history";
        return true;
    }
    // What others left beside the file goes into this write only: should
    // the write fail, the files stay and the document is as before.
    const QJsonDocument before = m_document;
    if (!besideFiles.isEmpty()) {
        m_document = withRecords(m_document, besides);
        m_rendered.clear();
    }
    // The count of deletes done follows the file: a kill between the two
    // costs at most this process's own records, as a kill before the write
    // would.
    QString error;
    if (!writeDocument() || (deleting && !writeCount(besideFile(kDeletesDone), kTemporaryPrefix, m_deletesKnown, &error))) {
        if (!error.isEmpty())
            qWarning() << "StatisticsController: the delete cannot be noted beside statistics.json" << error;
        if (!besideFiles.isEmpty()) {
            m_document = before;
            m_rendered.clear();
        }
        return false;  // tried again, or left beside the file at the end
    }
    for (const QString& name : qAsConst(besideFiles))
        QFile::remove(name);
    if (!besideFiles.isEmpty())
        fillSeries();
    m_unsaved = QJsonArray();
    m_changed = m_deletePending = false;
    return true;
}

QJsonArray StatisticsController::recordsLeftBeside(QStringList* names)
{
    static const QRegularExpression leftBesideName(
        QLatin1Char('^') + QRegularExpression::escape(kLeftBesidePrefix) + QStringLiteral("[0-9]+-[0-9a-f]+$"));
    const QFileInfoList candidates =
        QDir(QFileInfo(m_filePath).absolutePath())
            .entryInfoList({kLeftBesidePrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    QJsonArray records;
    QSet<QByteArray> stored;  // a process killed before it removed them wrote them already
    for (const QFileInfo& candidate : candidates) {
        if (!leftBesideName.match(candidate.fileName()).hasMatch())
            continue;
        const QString path = candidate.absoluteFilePath();
        QByteArray text;
        QJsonDocument file;
        Reading reading = readHistory(path, QByteArray(), &text, &file);
        const QJsonArray data = file.object().value(kData).toArray();
        // Only records, as this store writes them, are taken in.
        if (reading == Reading::History &&
            std::any_of(data.begin(), data.end(), [](const QJsonValue& value) { return !value.isObject(); }))
            reading = Reading::Damaged;
        QString error;
        if (reading == Reading::Damaged &&
            !ownfiles::keepAside(path, QStringLiteral("unreadable"), &error).isEmpty())
            qWarning() << "StatisticsController: unreadable measurements kept aside" << path;
        if (reading != Reading::History)
            continue;
        *names << path;
        // Made before a delete the process that left them did not know of.
        if (qint64(file.object().value(kDeletesKey).toDouble(0)) < m_deletesKnown)
            continue;
        if (stored.isEmpty()) {
            for (const QJsonValue& record : m_document.object().value(kData).toArray())
                stored.insert(QJsonDocument(record.toObject()).toJson(QJsonDocument::Compact));
        }
        for (const QJsonValue& record : data) {
            if (!stored.contains(QJsonDocument(record.toObject()).toJson(QJsonDocument::Compact)))
                records.append(record);
        }
    }
    return records;
}

void StatisticsController::retryLater()
{
    if (!m_retry->isActive())
        m_retry->start();
}

void StatisticsController::storeBeforeEnd()
{
    if (!m_retry->isActive())
        return;
    m_retry->stop();
    // A delete that others have been told of waits for no one: the next
    // process to write carries it out.
    Deletes deletes;
    const bool deleteTold = !readDeletes(&deletes) || deletes.asked >= m_deletesKnown;
    if ((m_unsaved.isEmpty() && deleteTold) || storePending(kEndWaitMs))
        return;
    if (!deleteTold && !tellDelete())
        qWarning() << "StatisticsController: statistics.json lock cannot be had, the deleted history stays";
    if (readDeletes(&deletes))
        noteDeletes(deletes.asked);
    if (m_unsaved.isEmpty())
        return;
    const QString path = besideFile(kLeftBesidePrefix + QString::number(QCoreApplication::applicationPid()) +
                                    QLatin1Char('-') + QString::number(QRandomGenerator::global()->generate(), 16));
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{kData, m_unsaved}, {kDeletesKey, double(m_deletesKnown)}}).toJson(QJsonDocument::Indented);
    QString openError;
    QString writeError;
    if (storefiles::saveAtomically(path, QFileInfo(path).fileName() + QStringLiteral(".saving-"), bytes, &openError,
                                   &writeError)) {
        qWarning() << "StatisticsController: statistics.json lock cannot be had; measurements left beside it in"
                   << path << m_unsaved.size();
        m_unsaved = QJsonArray();
    } else {
        qWarning() << "StatisticsController: measurements cannot be left beside statistics.json, they are lost"
                   << m_unsaved.size() << openError << writeError;
    }
}

void StatisticsController::fillSeries()
{
    const QJsonArray data = m_document.object().value(kData).toArray();
    m_blinkRates.clear();
    m_lengths.clear();
    m_dateTimes.clear();
    m_blinkRates.reserve(data.size());
    m_lengths.reserve(data.size());
    m_dateTimes.reserve(data.size());
    for (const QJsonValue& value : data) {
        const QJsonObject record = value.toObject();
        m_dateTimes.append(parseDateTime(record.value(kDateTime).toString()));
        m_blinkRates.append(std::trunc(record.value(kBlinkRate).toDouble(0.0) * 10) / 10.0);
        m_lengths.append(record.value(kLength).toInt(0));
    }
}

void StatisticsController::init()
{
    qDebug() << "StatisticsController::init ";
    if (!m_directory.isEmpty() && !QDir().mkpath(m_directory))
        qWarning() << "StatisticsController: folder cannot be created" << m_directory;
    m_document = loadMeasurementsFromJson(m_filePath);
    if (m_rendered.isEmpty())
        m_rendered = m_document.toJson(QJsonDocument::Indented);
    createSmallStatistics();
    emit statsControllerInitialized();
}

void StatisticsController::quit()
{
    qDebug() << "StatisticsController::quit() emitting finish thread" << QThread::currentThreadId();
    storeBeforeEnd();
    emit finished();
}

void StatisticsController::addMeasurement(double blinkRate, QString note, int length)
{
    qDebug() << "StatisticsController::addMeasurement " << QThread::currentThreadId();
    const QString text = dateTimeText(QDateTime::currentDateTime());
    qDebug() << "StC: add measurment" << text;

    // A delete in another process since the last look goes first.
    Deletes deletes;
    if (readDeletes(&deletes))
        noteDeletes(deletes.asked);
    const QJsonObject record{{kDateTime, text}, {kBlinkRate, blinkRate}, {kNote, note}, {kLength, length}};
    m_document = withRecords(m_document, QJsonArray{record});
    m_unrendered.append(record);
    m_unsaved.append(record);

    m_blinkRates.append(blinkRate);
    m_lengths.append(length);
    // Read back from the stored text, so the series equals what a reload gives.
    m_dateTimes.append(parseDateTime(text));
    // After taking in the file the series are those of the whole history.
    // A lock held for long is not waited for again at every change.
    if (!storePending(m_lockMissed ? kRetryWaitMs : kWaitMs))
        retryLater();
    createSmallStatistics();
}

void StatisticsController::deleteAllMeasurements()
{
    m_blinkRates.clear();
    m_lengths.clear();
    m_dateTimes.clear();
    createSmallStatistics();
    updateStatistics(0, -1);
    // The delete is numbered and told to every process sharing the folder
    // before the file is emptied: a measurement that any of them made before
    // it is not stored, one made after it is, whoever writes first.
    Deletes deletes;
    readDeletes(&deletes);
    m_deletesKnown = qMax(deletes.asked, m_deletesKnown) + 1;
    tellDelete();
    m_deletePending = true;
    m_document = emptyHistory();
    m_rendered.clear();
    m_unrendered = QJsonArray();
    m_unsaved = QJsonArray();
    if (!storePending(m_lockMissed ? kRetryWaitMs : kWaitMs))
        retryLater();
}

void StatisticsController::createJsonData(QString lastDateTime, QString pcid)
{
    QJsonArray data = m_document.object().value(kData).toArray();
    if (!lastDateTime.isEmpty()) {
        // Instants compare alike in any zone; the conversion to local time is left out.
        const QDateTime last = QDateTime::fromString(lastDateTime, Qt::ISODate);
        if (!last.isValid()) {
            qWarning() << "StatisticsController: last uploaded date-time cannot be read, sending every record"
                       << loggedValue(lastDateTime);
        } else {
            QJsonArray later;
            for (const QJsonValue& value : qAsConst(data)) {
                if (QDateTime::fromString(value.toObject().value(kDateTime).toString(), Qt::ISODate) > last)
                    later.append(value);
            }
            data = later;
        }
    }

    if (!lastDateTime.isEmpty() && data.isEmpty()) {
        m_uploadJson.clear();
    } else {
        const QJsonObject upload{{kData, data},
                                 {QStringLiteral("version"), QCoreApplication::applicationVersion()},
                                 {QStringLiteral("pcid"), pcid}};
        m_uploadJson = QString::fromUtf8(QJsonDocument(upload).toJson(QJsonDocument::Indented));
    }
    qDebug() << "SC: " << m_uploadJson;
    emit measurementsUploadReady(m_uploadJson);
}

void StatisticsController::updateStatistics(int start, int end)
{
    emit statisticsChanged(createSubStatisticsBlinkRates(m_blinkRates, start, end),
                           createSubStatisticsLengths(m_lengths, start, end),
                           createSubStatisticsDateTimes(m_dateTimes, start, end), m_blinkRates.size());
}

void StatisticsController::createStatistics()
{
    const int n = m_blinkRates.size();
    updateStatistics(n < 8 ? 0 : n - 8, n - 1);
}

void StatisticsController::createSmallStatistics()
{
    const int n = m_blinkRates.size();
    const int start = n >= 8 ? n - 8 : 0;
    const int end = n - 1;
    emit smallStatisticsChanged(createSubStatisticsBlinkRates(m_blinkRates, start, end),
                                createSubStatisticsLengths(m_lengths, start, end),
                                createSubStatisticsDateTimes(m_dateTimes, start, end));
}

QVector<double> StatisticsController::createSubStatisticsBlinkRates(QVector<double> v, int start, int end)
{
    return subRange(v, start, end);
}

QVector<int> StatisticsController::createSubStatisticsLengths(QVector<int> v, int start, int end)
{
    return subRange(v, start, end);
}

QVector<QDateTime> StatisticsController::createSubStatisticsDateTimes(QVector<QDateTime> v, int start, int end)
{
    return subRange(v, start, end);
}
