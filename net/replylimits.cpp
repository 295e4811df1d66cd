#include "net/replylimits.h"

#include <QDebug>
#include <QNetworkReply>
#include <QTimer>

namespace replylimits {

namespace {

qint64 fromEnvironment(const char* variable, qint64 fallback)
{
    bool ok = false;
    const qint64 value = qgetenv(variable).toLongLong(&ok);
    return ok && value > 0 ? value : fallback;
}

}  // namespace

int requestDeadlineMs()
{
    return int(qMin<qint64>(fromEnvironment("LUMORA_REQUEST_DEADLINE_MS", 60000), INT_MAX));
}

int headerDeadlineMs()
{
    return int(qMin<qint64>(fromEnvironment("LUMORA_HEADER_DEADLINE_MS", 10000), INT_MAX));
}

int downloadWindowMs()
{
    return int(qMin<qint64>(fromEnvironment("LUMORA_DOWNLOAD_WINDOW_MS", 60000), INT_MAX));
}

qint64 downloadMinRate()
{
    return fromEnvironment("LUMORA_DOWNLOAD_MIN_RATE", 1024);
}

BoundedBody::BoundedBody(QNetworkReply* reply, qint64 maxBytes, const QString& label, QDeadlineTimer deadline)
    : QObject(reply), m_reply(reply), m_maxBytes(maxBytes), m_label(label)
{
    connect(reply, &QNetworkReply::readyRead, this, &BoundedBody::read);
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    const int ms = requestDeadlineMs();
    connect(timer, &QTimer::timeout, this,
            [this, ms] { giveUp(QStringLiteral("no complete answer within %1 ms").arg(ms)); });
    connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    // A hop begun after the deadline passed still ends through the timer,
    // once the caller has connected to the reply.
    timer->start(int(qBound<qint64>(0, deadline.remainingTime(), INT_MAX)));
    SilenceWatch::attach(reply, label);
}

BoundedBody* BoundedBody::attach(QNetworkReply* reply, qint64 maxBytes, const QString& label,
                                 QDeadlineTimer deadline)
{
    return new BoundedBody(reply, maxBytes, label, deadline);
}

QByteArray BoundedBody::bodyOf(QNetworkReply* reply, qint64 maxBytes)
{
    auto* bounded = reply->findChild<BoundedBody*>(QString(), Qt::FindDirectChildrenOnly);
    if (!bounded)
        return reply->isOpen() ? reply->read(maxBytes) : QByteArray();
    bounded->read();
    return bounded->m_failed ? QByteArray() : bounded->m_body;
}

void BoundedBody::read()
{
    if (m_failed || !m_reply->isOpen())
        return;
    // One byte past the bound is enough to know the reply is too large;
    // whatever else it holds is never copied.
    m_body += m_reply->read(m_maxBytes - m_body.size() + 1);
    if (m_body.size() > m_maxBytes)
        giveUp(QStringLiteral("more than %1 bytes").arg(m_maxBytes));
}

void BoundedBody::giveUp(const QString& why)
{
    if (m_failed || m_reply->isFinished())
        return;
    m_failed = true;
    m_body = QByteArray();
    qWarning().noquote() << m_label << "reply abandoned:" << why;
    m_reply->abort();
}

SilenceWatch::SilenceWatch(QNetworkReply* reply, const QString& label)
    : QObject(reply), m_reply(reply), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    const int ms = headerDeadlineMs();
    connect(m_timer, &QTimer::timeout, this, [this, label, ms] {
        if (m_reply->isFinished())
            return;
        qWarning().noquote() << label << "reply abandoned: nothing to be seen of it for" << ms
                             << (m_chunked ? "ms (a chunk-size line without end?)" : "ms (no header block)");
        m_reply->abort();
    });
    auto restart = [this, ms] { m_timer->start(ms); };
    // The request's own body counts as progress: the clock starts once it is sent.
    connect(reply, &QNetworkReply::uploadProgress, this, restart);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, ms] {
        // Without chunks the body's size is read as it is told, and the
        // reply's owner bounds its time.
        m_chunked = m_reply->rawHeader("Transfer-Encoding").toLower().contains("chunked");
        if (m_chunked)
            m_timer->start(ms);
        else
            m_timer->stop();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [this, ms] {
        if (m_chunked)
            m_timer->start(ms);
    });
    connect(reply, &QNetworkReply::finished, m_timer, &QTimer::stop);
    m_timer->start(ms);
}

SilenceWatch* SilenceWatch::attach(QNetworkReply* reply, const QString& label)
{
    return new SilenceWatch(reply, label);
}

RateWatch::RateWatch(QNetworkReply* reply, const QString& label) : QObject(reply), m_reply(reply), m_label(label)
{
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) { m_received = received; });
    auto* window = new QTimer(this);
    connect(window, &QTimer::timeout, this, &RateWatch::check);
    connect(reply, &QNetworkReply::finished, window, &QTimer::stop);
    window->start(downloadWindowMs());
}

RateWatch* RateWatch::attach(QNetworkReply* reply, const QString& label)
{
    return new RateWatch(reply, label);
}

void RateWatch::check()
{
    const qint64 window = downloadWindowMs();
    const qint64 least = downloadMinRate() * window / 1000;
    const qint64 got = m_received - m_atLastCheck;
    m_atLastCheck = m_received;
    if (got >= least || m_reply->isFinished())
        return;
    qWarning().noquote() << m_label << "download abandoned:" << got << "bytes in the last" << window
                         << "ms, less than" << least;
    m_reply->abort();
}

}  // namespace replylimits
