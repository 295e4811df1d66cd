#include "core/control/statisticscontroller.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QThread>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

// Opened rather than looked up, so that a network file system checks it anew.
QByteArray fileStamp(const QString& path)
{
    const int fd = ownfiles::openRegular(QFile::encodeName(path), O_RDONLY);
    if (fd < 0)
        return QByteArray();
    const QByteArray stamp = ownfiles::stampOf(fd);
    ::close(fd);
    return stamp;
}

// An exclusive lock on a file of the data folder, held from a store's read
// of statistics.json to the end of its write, so that no process writes
// from a stale read or removes another's write in flight. The wait is
// bounded: a process that keeps the lock (stopped, or a file system without
// locks) must not stop the others from storing.
class StoreLock
{
public:
    explicit StoreLock(const QString& path)
    {
        bool notRegular = false;
        m_fd = ownfiles::openRegular(QFile::encodeName(path), O_RDWR | O_CREAT | O_NOFOLLOW, &notRegular, 0600);
        if (m_fd < 0) {
            m_error = notRegular ? QStringLiteral("not a regular file") : QString::fromLocal8Bit(strerror(errno));
            return;
        }
        const QDeadlineTimer deadline(5000);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                m_error = QString::fromLocal8Bit(strerror(errno));
                return;
            }
            if (deadline.hasExpired()) {
                m_error = QStringLiteral("another process has held it for 5 s");
                return;
            }
            QThread::msleep(5);
        }
        m_held = true;
    }
    ~StoreLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);  // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool held() const { return m_held; }
    const QString& error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_held = false;
    QString m_error;
};

// Writes of the file go to a temporary file of this name plus six random
// letters beside it first; a write cut short by a kill leaves one behind.
const QString kTemporaryPrefix = QStringLiteral("statistics.json.saving-");

// Writes a temporary file beside the target and renames it over the target
// only when every byte reached the disk, so the target is always whole. A
// link is followed: its target is replaced, the link stays. *stamp gets the
// stamp of the new file.
bool saveAtomically(const QString& path, const QByteArray& bytes, QString* openError, QString* writeError,
                    QByteArray* stamp)
{
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    QTemporaryFile file(QFileInfo(target).absolutePath() + QLatin1Char('/') + kTemporaryPrefix +
                        QStringLiteral("XXXXXX"));
    if (!file.open()) {
        *openError = file.errorString();
        return false;
    }
    file.setPermissions(QFileInfo::exists(target)
                            ? QFile::permissions(target)
                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                  QFileDevice::ReadOther);
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        *writeError = file.errorString();
        return false;  // the temporary file is removed, the target stays
    }
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        *writeError = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    file.setAutoRemove(false);
    *stamp = ownfiles::stampOf(file.handle());
    return true;
}

// Reads a file that must be a regular one. Anything else at the path (a
// FIFO, a device, a folder) is never read from: opening does not wait for a
// writer, and the content is not taken. *stamp gets the stamp of what was
// read.
enum class ReadResult { Missing, Read, NotRegular, Failed };
ReadResult readRegularFile(const QString& path, QByteArray* text, QString* error, QByteArray* stamp)
{
    bool notRegular = false;
    const int fd = ownfiles::openRegular(QFile::encodeName(path), O_RDONLY, &notRegular);
    if (fd < 0 && notRegular) {
        *error = QStringLiteral("not a regular file");
        return ReadResult::NotRegular;
    }
    if (fd < 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return ReadResult::Failed;
    }
    *stamp = ownfiles::stampOf(fd);
    *text = file.readAll();
    return ReadResult::Read;
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
    : QObject(parent), m_directory(std::move(directory))
{
    qDebug() << "StatisticsController::StatisticsController ";
    if (!m_directory.isEmpty() && !QDir().mkpath(m_directory))
        qWarning() << "StatisticsController: folder cannot be created" << m_directory;
    m_filePath = QDir(m_directory).filePath(QStringLiteral("statistics.json"));
    const StoreLock lock(lockPath());
    if (lock.held())
        removeStaleTemporaryFiles();
    else
        qWarning() << "StatisticsController: statistics.json lock cannot be had, interrupted writes are left"
                   << lock.error();
    m_document = loadMeasurementsFromJson(m_filePath);
}

StatisticsController::~StatisticsController()
{
    qDebug() << "StatisticsController::~StatisticsController() thread" << QThread::currentThreadId();
}

QJsonDocument StatisticsController::loadMeasurementsFromJson(QString path)
{
    qDebug() << "StatisticsController::loadMeasurementsFromJson " << QThread::currentThreadId() << "path"
             << path;

    QJsonDocument document;
    switch (readHistory(path, &document)) {
    case Reading::History:
        return document;
    case Reading::Blank:
        // A missing or empty file holds no history: it becomes an empty one.
        m_document = emptyHistory();
        writeDocument();
        return m_document;
    case Reading::Unusable:
        break;
    }
    // The file may be all the user's history, broken by an interrupted write
    // of an older version or by hand: it is kept under a name of its own and
    // the store goes on with an empty history in a new file.
    m_document = emptyHistory();
    if (keepAside(path))
        writeDocument();
    return m_document;
}

StatisticsController::Reading StatisticsController::readHistory(const QString& path, QJsonDocument* document)
{
    const QFileInfo info(path);
    bool usable = true;
    QByteArray text;
    QString error;
    m_seenStamp.clear();
    switch (readRegularFile(path, &text, &error, &m_seenStamp)) {
    case ReadResult::Missing:
        break;
    case ReadResult::Read:
        qDebug() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                 << "writable" << flag(info.isWritable());
        break;
    case ReadResult::NotRegular:
    case ReadResult::Failed:
        qWarning() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                   << "writable" << flag(info.isWritable()) << "file cannot be opened" << path << error;
        usable = false;
        break;
    }

    if (!usable)
        return Reading::Unusable;
    if (text.trimmed().isEmpty())
        return Reading::Blank;

    QJsonParseError parseError;
    *document = QJsonDocument::fromJson(text, &parseError);
    const bool parsed = parseError.error == QJsonParseError::NoError;
    if (parsed && document->isObject() && document->object().value(kData).isArray()
        && topLevelMemberCount(text, kData) == 1)
        return Reading::History;
    qWarning() << "StatisticsController: statistics.json is not a measurement history:"
               << (!parsed ? parseError.errorString()
                   : document->isObject() && document->object().value(kData).isArray()
                       ? QStringLiteral("more than one \"data\" array")
                       : QStringLiteral("no \"data\" array"));
    return Reading::Unusable;
}

void StatisticsController::removeStaleTemporaryFiles()
{
    // Every store writes under the lock, which this one holds now, so any
    // temporary file of a write is a leftover of a killed writer. Links and
    // other names are never touched.
    static const QRegularExpression temporaryName(QLatin1Char('^') + QRegularExpression::escape(kTemporaryPrefix) +
                                                  QStringLiteral("[A-Za-z0-9]{6}$"));
    const QFileInfoList candidates =
        QDir(QFileInfo(m_filePath).absolutePath())
            .entryInfoList({kTemporaryPrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& file : candidates) {
        if (!temporaryName.match(file.fileName()).hasMatch())
            continue;
        if (QFile::remove(file.absoluteFilePath()))
            qDebug() << "StatisticsController: removed an interrupted write" << file.fileName();
    }
}

bool StatisticsController::keepAside(const QString& path)
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
    if (m_writeBlocked) {
        qWarning() << "StatisticsController: statistics.json is not written, it holds an unreadable history";
        return false;
    }
    if (m_rendered.isEmpty())
        m_rendered = m_document.toJson(QJsonDocument::Indented);
    QString openError;
    QString writeError;
    if (saveAtomically(m_filePath, m_rendered, &openError, &writeError, &m_seenStamp))
        return true;
    if (!openError.isEmpty())
        qWarning() << "StatisticsController: addMeasurement file cannot be opened" << openError;
    else
        qWarning() << "StatisticsController: statistics.json cannot be written, the previous file is kept"
                   << writeError;
    return false;
}

void StatisticsController::renderAppended(const QJsonObject& record, bool wasEmpty)
{
    // The indented form ends with the close of the "data" array when that
    // is the only key; the record goes in just before it, indented as an
    // element of the array.
    static const QByteArray tail = QByteArrayLiteral("\n    ]\n}\n");
    if (m_document.object().size() != 1 || !m_rendered.endsWith(tail)) {
        m_rendered = m_document.toJson(QJsonDocument::Indented);
        return;
    }
    QByteArray element = QJsonDocument(record).toJson(QJsonDocument::Indented);
    element.chop(1);
    element.replace('\n', QByteArrayLiteral("\n        "));
    m_rendered.chop(tail.size());
    m_rendered += wasEmpty ? QByteArrayLiteral("\n        ") : QByteArrayLiteral(",\n        ");
    m_rendered += element;
    m_rendered += tail;
}

QString StatisticsController::lockPath() const
{
    return QFileInfo(m_filePath).absolutePath() + QStringLiteral("/statistics.json.lock");
}

void StatisticsController::store(bool merge)
{
    const StoreLock lock(lockPath());
    if (!lock.held())
        qWarning() << "StatisticsController: statistics.json lock cannot be had, writing without it" << lock.error();
    if (merge && !m_writeBlocked && (m_seenStamp.isEmpty() || fileStamp(m_filePath) != m_seenStamp))
        mergeFromFile();
    if (writeDocument())
        m_unsaved = QJsonArray();
}

void StatisticsController::mergeFromFile()
{
    // The file is what all processes stored, deletes included; only the
    // records this process has not yet stored are added to it, in the order
    // they were taken.
    QJsonDocument file;
    switch (readHistory(m_filePath, &file)) {
    case Reading::History:
        break;
    case Reading::Blank:
        file = emptyHistory();
        break;
    case Reading::Unusable:
        // Kept aside as at start; this process's history takes its place.
        keepAside(m_filePath);
        return;
    }
    QJsonObject top = file.object();
    QJsonArray data = top.value(kData).toArray();
    qDebug() << "StatisticsController: statistics.json was changed by another process; records there"
             << data.size() << "added here" << m_unsaved.size();
    for (const QJsonValue& record : qAsConst(m_unsaved))
        data.append(record);
    top.insert(kData, data);
    m_document.setObject(top);
    m_rendered.clear();
    fillSeries();
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
    fillSeries();
    m_rendered = m_document.toJson(QJsonDocument::Indented);
    createSmallStatistics();
    emit statsControllerInitialized();
}

void StatisticsController::quit()
{
    qDebug() << "StatisticsController::quit() emitting finish thread" << QThread::currentThreadId();
    emit finished();
}

void StatisticsController::addMeasurement(double blinkRate, QString note, int length)
{
    qDebug() << "StatisticsController::addMeasurement " << QThread::currentThreadId();
    const QString text = dateTimeText(QDateTime::currentDateTime());
    qDebug() << "StC: add measurment" << text;

    const QJsonObject record{{kDateTime, text}, {kBlinkRate, blinkRate}, {kNote, note}, {kLength, length}};
    QJsonObject top = m_document.object();
    QJsonArray data = top.value(kData).toArray();
    const bool wasEmpty = data.isEmpty();
    data.append(record);
    top.insert(kData, data);
    m_document.setObject(top);
    renderAppended(record, wasEmpty);
    m_unsaved.append(record);

    m_blinkRates.append(blinkRate);
    m_lengths.append(length);
    // Read back from the stored text, so the series equals what a reload gives.
    m_dateTimes.append(parseDateTime(text));
    // After a merge the series are those of the merged history.
    store(true);
    createSmallStatistics();
}

void StatisticsController::deleteAllMeasurements()
{
    m_blinkRates.clear();
    m_lengths.clear();
    m_dateTimes.clear();
    createSmallStatistics();
    updateStatistics(0, -1);
    // Everything stored so far goes, whoever stored it; what other processes
    // add afterwards stays.
    m_document = emptyHistory();
    m_rendered.clear();
    m_unsaved = QJsonArray();
    store(false);
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
