#include "core/control/statisticscontroller.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <QThread>

#include <cmath>

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

// Writes a temporary file beside the target and renames it over the target
// only when every byte reached it, so the target is always whole.
bool saveAtomically(const QString& path, const QByteArray& bytes, QString* openError, QString* writeError)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *openError = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *writeError = file.errorString();
        return false;  // the temporary file is discarded, the target stays
    }
    if (!file.commit()) {
        *writeError = file.errorString();
        return false;
    }
    return true;
}

}  // namespace

StatisticsController::StatisticsController(QString directory, QObject* parent)
    : QObject(parent), m_directory(std::move(directory))
{
    qDebug() << "StatisticsController::StatisticsController ";
    if (!m_directory.isEmpty() && !QDir().mkpath(m_directory))
        qWarning() << "StatisticsController: folder cannot be created" << m_directory;
    m_filePath = QDir(m_directory).filePath(QStringLiteral("statistics.json"));
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

    const QFileInfo info(path);
    bool usable = true;
    QByteArray text;
    if (info.exists()) {
        QFile file(path);
        const bool opened = file.open(QIODevice::ReadOnly | QIODevice::Text);
        if (!opened) {
            qWarning() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                       << "writable" << flag(info.isWritable()) << "file cannot be opened" << path
                       << file.errorString();
            usable = false;
        } else {
            qDebug() << "StatisticsController: file properties: readable" << flag(info.isReadable())
                     << "writable" << flag(info.isWritable());
            text = file.readAll();
            file.close();
        }
    }

    // A missing or empty file holds no history: it becomes an empty one.
    if (usable && text.trimmed().isEmpty()) {
        m_document = emptyHistory();
        writeDocument();
        return m_document;
    }

    if (usable) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (error.error == QJsonParseError::NoError && document.isObject()
            && document.object().value(kData).isArray())
            return document;
        qWarning() << "StatisticsController: statistics.json is not a measurement history:"
                   << (error.error == QJsonParseError::NoError ? QStringLiteral("no \"data\" array")
                                                               : error.errorString());
    }

    // The file may be all the user's history, broken by an interrupted write
    // of an older version or by hand: it is kept under a name of its own and
    // the store goes on with an empty history in a new file.
    m_document = emptyHistory();
    if (keepAside(path))
        writeDocument();
    return m_document;
}

bool StatisticsController::keepAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path + QStringLiteral(".unreadable-") + stamp;
    // rename() never replaces an existing file, so an older kept copy that
    // happens to have the same name stays; the next free name is taken.
    for (int i = 1; i <= 1000; ++i) {
        const QString aside = i == 1 ? base : base + QLatin1Char('-') + QString::number(i);
        if (QFileInfo::exists(aside))
            continue;
        QFile file(path);
        if (file.rename(aside)) {
            qWarning() << "StatisticsController: unreadable statistics.json kept aside as" << aside;
            return true;
        }
        if (!QFileInfo::exists(aside)) {
            qWarning() << "StatisticsController: unreadable statistics.json cannot be kept aside"
                       << file.errorString();
            break;
        }
    }
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
    if (saveAtomically(m_filePath, m_rendered, &openError, &writeError))
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

void StatisticsController::init()
{
    qDebug() << "StatisticsController::init ";
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
    writeDocument();

    m_blinkRates.append(blinkRate);
    m_lengths.append(length);
    // Read back from the stored text, so the series equals what a reload gives.
    m_dateTimes.append(parseDateTime(text));
    createSmallStatistics();
}

void StatisticsController::deleteAllMeasurements()
{
    m_blinkRates.clear();
    m_lengths.clear();
    m_dateTimes.clear();
    createSmallStatistics();
    updateStatistics(0, -1);
    m_document = emptyHistory();
    m_rendered.clear();
    writeDocument();
}

void StatisticsController::createJsonData(QString lastDateTime, QString pcid)
{
    QJsonArray data = m_document.object().value(kData).toArray();
    if (!lastDateTime.isEmpty()) {
        // Instants compare alike in any zone; the conversion to local time is left out.
        const QDateTime last = QDateTime::fromString(lastDateTime, Qt::ISODate);
        if (!last.isValid()) {
            qWarning() << "StatisticsController: last uploaded date-time cannot be read, sending every record"
                       << lastDateTime;
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
