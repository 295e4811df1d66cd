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
#include <QTimer>
#include <QRandomGenerator>
#include <QSet>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

bool samePlace(int fd, const QByteArray& path)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// Opens the lock file. What no process can lock (a folder, a FIFO, a link,
// a file of another user) is kept aside and made anew.
int openLockFile(const QByteArray& path, QString* error)
{
    const int flags = O_RDWR | O_CREAT | O_NOFOLLOW;
    bool notRegular = false;
    int fd = ownfiles::openRegular(path, flags, &notRegular, 0600);
    if (fd >= 0 || (!notRegular && errno != ELOOP && errno != EACCES && errno != EPERM)) {
        if (fd < 0)
            *error = QString::fromLocal8Bit(strerror(errno));
        return fd;
    }
    const bool notAFile = notRegular || errno == ELOOP;
    const QString aside = ownfiles::keepAside(
        QFile::decodeName(path), notAFile ? QStringLiteral("not-a-file") : QStringLiteral("not-ours"), error);
    if (aside.isEmpty())
        return -1;
    qWarning() << "StatisticsController: unusable statistics.json lock kept aside as" << aside;
    fd = ownfiles::openRegular(path, flags | O_EXCL, nullptr, 0600);
    if (fd < 0 && errno == EEXIST)  // another process made it anew first
        fd = ownfiles::openRegular(path, flags, nullptr, 0600);
    if (fd < 0)
        *error = QString::fromLocal8Bit(strerror(errno));
    return fd;
}

// An exclusive lock on a file of the data folder, held from a store's read
// of statistics.json to the end of its write, so that no process writes
// from a stale read or removes another's write in flight. The wait is
// bounded; without the lock nothing is written.
class StoreLock
{
public:
    StoreLock(const QString& path, int waitMs)
    {
        const QByteArray name = QFile::encodeName(path);
        const QDeadlineTimer deadline(waitMs);
        while ((m_fd = openLockFile(name, &m_error)) >= 0) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                // A lock file kept aside meanwhile locks nobody out.
                if (samePlace(m_fd, name)) {
                    m_held = true;
                    return;
                }
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                m_error = QString::fromLocal8Bit(strerror(errno));
                return;
            }
            ::close(m_fd);
            m_fd = -1;
            if (deadline.hasExpired()) {
                m_error = QStringLiteral("another process holds it");
                return;
            }
            QThread::msleep(5);
        }
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
// Measurements a process could not store before its end wait in files of
// this name plus the process id and a random number, written without the lock.
const QString kLeftBesidePrefix = QStringLiteral("statistics.json.pending-");

// Writes a temporary file beside the target and renames it over the target
// only when every byte reached the disk, so the target is always whole. A
// link is followed: its target is replaced, the link stays. The temporary
// file's name is prefix plus six random letters.
bool saveAtomically(const QString& path, const QString& prefix, const QByteArray& bytes, QString* openError,
                    QString* writeError)
{
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    QTemporaryFile file(QFileInfo(target).absolutePath() + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX"));
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
    return true;
}

// Reads a file that must be a regular one. Anything else at the path (a
// FIFO, a device, a folder) is never read from: opening does not wait for a
// writer, and the content is not taken. A file that holds known is compared
// piece by piece, not read whole, and is Unchanged.
enum class ReadResult { Missing, Read, Unchanged, Unusable, Failed };
ReadResult readRegularFile(const QString& path, const QByteArray& known, QByteArray* text, QString* error)
{
    bool notRegular = false;
    const int fd = ownfiles::openRegular(QFile::encodeName(path), O_RDONLY, &notRegular);
    if (fd < 0 && notRegular) {
        *error = QStringLiteral("not a regular file");
        return ReadResult::Unusable;
    }
    if (fd < 0) {
        // Another user's file (left by a run as root) stays unreadable; the
        // other reasons (EIO, EMFILE, ...) may pass.
        const int reason = errno;
        *error = QString::fromLocal8Bit(strerror(reason));
        return reason == ENOENT                      ? ReadResult::Missing
               : reason == EACCES || reason == EPERM ? ReadResult::Unusable
                                                     : ReadResult::Failed;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return ReadResult::Failed;
    }
    if (!known.isEmpty() && file.size() == known.size()) {
        char piece[1 << 16];
        qint64 at = 0;
        qint64 n = 0;
        while (at < known.size() && (n = file.read(piece, qMin<qint64>(sizeof piece, known.size() - at))) > 0 &&
               std::memcmp(piece, known.constData() + at, size_t(n)) == 0)
            at += n;
        if (at == known.size() && file.read(piece, 1) == 0)
            return ReadResult::Unchanged;
        file.seek(0);
    }
    *text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return ReadResult::Failed;
    }
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
    m_document = emptyHistory();
    // Another process holding the lock for long, or a read failing for a
    // passing reason, must not hold up the start: the history shows as the
    // file holds it (writes replace it whole) and is stored later.
    if (!storePending(kStartWaitMs)) {
        if (m_seenContent.isEmpty())
            takeInFile(false);
        retryLater();
    }
    return m_document;
}

StatisticsController::Reading StatisticsController::readHistory(const QString& path, const QByteArray& known,
                                                                QByteArray* text, QJsonDocument* document) const
{
    const QFileInfo info(path);
    QString error;
    const ReadResult result = readRegularFile(path, known, text, &error);
    switch (result) {
    case ReadResult::Missing:
        return Reading::Blank;
    case ReadResult::Unchanged:
        return Reading::Unchanged;
    case ReadResult::Read:
        qDebug() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                 << "writable" << flag(info.isWritable());
        break;
    case ReadResult::Unusable:
    case ReadResult::Failed:
        qWarning() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                   << "writable" << flag(info.isWritable()) << "file cannot be opened" << path << error;
        return result == ReadResult::Failed ? Reading::Failed : Reading::Unusable;
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

bool StatisticsController::takeInFile(bool locked)
{
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
        // write of an older version or by hand: under the lock it is kept
        // under a name of its own and the store goes on with an empty
        // history in a new file. A missing or empty file becomes an empty one.
        if (reading != Reading::Blank && (!locked || !keepAside(m_filePath)))
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
    // The content seen shares the rendered bytes, which the splice would copy.
    m_seenContent.clear();
    renderAppended();
    QString openError;
    QString writeError;
    if (saveAtomically(m_filePath, kTemporaryPrefix, m_rendered, &openError, &writeError)) {
        m_seenContent = m_rendered;
        return true;
    }
    if (!openError.isEmpty())
        qWarning() << "StatisticsController: addMeasurement file cannot be opened" << openError;
    else
        qWarning() << "StatisticsController: statistics.json cannot be written, the previous file is kept"
                   << writeError;
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

QString StatisticsController::lockPath() const
{
    return QFileInfo(m_filePath).absolutePath() + QStringLiteral("/statistics.json.lock");
}

bool StatisticsController::storePending(int waitMs)
{
    const StoreLock lock(lockPath(), waitMs);
    if (!lock.held()) {
        if (!m_lockMissed)
            qWarning() << "StatisticsController: statistics.json lock cannot be had, measurements wait for it"
                       << lock.error();
        m_lockMissed = true;
        return false;
    }
    m_lockMissed = false;
    if (!m_cleanedUp)
        removeStaleTemporaryFiles();
    m_cleanedUp = true;
    if (!m_deleting && !m_writeBlocked && !takeInFile(true))
        return false;
    QStringList besideFiles;
    const QJsonArray besides = recordsLeftBeside(&besideFiles);
    if (!m_changed && !m_deleting && m_unsaved.isEmpty() && besideFiles.isEmpty())
        return true;
    // What others left beside the file goes into this write only: should
    // the write fail, the files stay and the document is as before.
    const QJsonDocument before = m_document;
    if (!besideFiles.isEmpty()) {
        m_document = withRecords(m_document, besides);
        m_rendered.clear();
    }
    if (!writeDocument()) {
        if (!besideFiles.isEmpty()) {
            m_document = before;
            m_rendered.clear();
        }
        return true;  // logged; the next change writes everything again
    }
    for (const QString& name : qAsConst(besideFiles))
        QFile::remove(name);
    if (!besideFiles.isEmpty())
        fillSeries();
    m_unsaved = QJsonArray();
    m_changed = m_deleting = false;
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
        const Reading reading = readHistory(path, QByteArray(), &text, &file);
        QString error;
        if (reading == Reading::Damaged &&
            !ownfiles::keepAside(path, QStringLiteral("unreadable"), &error).isEmpty())
            qWarning() << "StatisticsController: unreadable measurements kept aside" << path;
        if (reading != Reading::History)
            continue;
        if (stored.isEmpty()) {
            for (const QJsonValue& record : m_document.object().value(kData).toArray())
                stored.insert(QJsonDocument(record.toObject()).toJson(QJsonDocument::Compact));
        }
        for (const QJsonValue& record : file.object().value(kData).toArray()) {
            if (!stored.contains(QJsonDocument(record.toObject()).toJson(QJsonDocument::Compact)))
                records.append(record);
        }
        *names << path;
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
    // A new or replaced empty history waits for no one: the next start writes it.
    if (!m_retry->isActive() || (m_unsaved.isEmpty() && !m_deleting))
        return;
    m_retry->stop();
    if (storePending(kEndWaitMs))
        return;
    if (m_deleting)
        qWarning() << "StatisticsController: statistics.json lock cannot be had, the deleted history stays";
    if (m_unsaved.isEmpty())
        return;
    const QString path = QFileInfo(m_filePath).absolutePath() + QLatin1Char('/') + kLeftBesidePrefix +
                         QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-') +
                         QString::number(QRandomGenerator::global()->generate(), 16);
    const QByteArray bytes = QJsonDocument(QJsonObject{{kData, m_unsaved}}).toJson(QJsonDocument::Indented);
    QString openError;
    QString writeError;
    if (saveAtomically(path, QFileInfo(path).fileName() + QStringLiteral(".saving-"), bytes, &openError,
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
    // Everything stored so far goes, whoever stored it; what other processes
    // add afterwards stays.
    m_document = emptyHistory();
    m_rendered.clear();
    m_unsaved = QJsonArray();
    m_deleting = true;
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
