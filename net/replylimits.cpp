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

int downloadWindowMs()
{
    return int(qMin<qint64>(fromEnvironment("LUMORA_DOWNLOAD_WINDOW_MS", 60000), INT_MAX));
}

qint64 downloadMinRate()
{
    return fromEnvironment("LUMORA_DOWNLOAD_MIN_RATE", 1024);
}

QString logged(const QString& body)
{
    if (body.size() <= kLoggedCharacters)
        return body;
    return body.left(kLoggedCharacters) + QStringLiteral("... (%1 characters)").arg(body.size());
}

BoundedBody::BoundedBody(QNetworkReply* reply, qint64 maxBytes, const QString& label)
    : QObject(reply), m_reply(reply), m_maxBytes(maxBytes), m_label(label)
{
    connect(reply, &QNetworkReply::readyRead, this, &BoundedBody::read);
    auto* deadline = new QTimer(this);
    deadline->setSingleShot(true);
    const int ms = requestDeadlineMs();
    connect(deadline, &QTimer::timeout, this,
            [this, ms] { giveUp(QStringLiteral("no complete answer within %1 ms").arg(ms)); });
    connect(reply, &QNetworkReply::finished, deadline, &QTimer::stop);
    deadline->start(ms);
}

BoundedBody* BoundedBody::attach(QNetworkReply* reply, qint64 maxBytes, const QString& label)
{
    return new BoundedBody(reply, maxBytes, label);
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
