#include "net/servercontroller.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QRegularExpression>
#include <QThread>
#include <QUrlQuery>

#include "core/loggedvalue.h"
#include "app/settings.h"
#include "net/makeraddresses.h"
#include "net/replylimits.h"
#include "net/scrambler.h"

#ifndef LUMORA_SERVICE_CREDENTIAL
#error "LUMORA_SERVICE_CREDENTIAL comes from the build configuration"
#endif

namespace {

// Appended to the serial before its first 15 characters become the key.
const char KeyFiller[] = "5A3C9E17B2D4F6081C7E";
constexpr quint64 FallbackKey = 0x6c3f9a2e51d8b47fULL;

// Proxy user names and passwords never reach the log.
QString redacted(const QString& secret)
{
    return secret.isEmpty() ? QStringLiteral("<none>") : QStringLiteral("<redacted>");
}

QString describe(const QNetworkProxy& proxy)
{
    static const char* const types[] = {"DefaultProxy", "Socks5Proxy",      "NoProxy",
                                        "HttpProxy",    "HttpCachingProxy", "FtpCachingProxy"};
    const int type = int(proxy.type());
    return QStringLiteral("QNetworkProxy(%1 %2:%3 user %4 password %5)")
        .arg(QString::fromLatin1(type >= 0 && type < 6 ? types[type] : "?"), loggedValue(proxy.hostName()))
        .arg(proxy.port())
        .arg(redacted(proxy.user()), redacted(proxy.password()));
}

// Empty when the reply passed its size or time bound (it then carries an
// error as well).
QString bodyOf(QNetworkReply* reply)
{
    QByteArray body = replylimits::BoundedBody::bodyOf(reply, replylimits::kServiceBytes);
    const int nul = body.indexOf('\0');
    if (nul >= 0)
        body.truncate(nul);
    return QString::fromLatin1(body);
}

}  // namespace

ServerController::ServerController(QObject* parent)
    : QObject(parent),
      m_authorization(QStringLiteral("Basic ") + QString::fromLatin1(LUMORA_SERVICE_CREDENTIAL)),
      m_machineIdSource(machineidentity::systemSource())
{
}

ServerController::~ServerController()
{
    qDebug() << "ServerController::~ServerController() thread" << QThread::currentThreadId();
}

void ServerController::init()
{
    qDebug() << "ServerController::init()";
    m_manager = new QNetworkAccessManager(this);

    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("LL"));
    m_serial = settings->value(QStringLiteral("WPID"), QString()).toString();
    QByteArray machineId;
    if (m_serial.isEmpty()) {
        machineId = m_machineIdSource();
        m_serial = machineidentity::platformSerial(machineId);
        settings->setValue(QStringLiteral("WPID"), m_serial);
    }
    m_cryptKey = getCryptKey(m_serial);
    loadProxy();
    m_pcid = settings->value(QStringLiteral("DICP"), QString()).toString();
    settings->endGroup();
    settings.reset();

    if (m_pcid.isEmpty()) {
        if (machineId.isEmpty())
            machineId = m_machineIdSource();
        m_pcid = (QStringLiteral("MAC-") + machineidentity::platformUuid(machineId)).left(m_idLengthLimit);
        saveProperty(QStringLiteral("DICP"), m_pcid);
    }
    qDebug() << "ServerController pcid" << loggedValue(m_pcid);
    emit serverControllerInitialized();
}

void ServerController::quit()
{
    m_quitting = true;
    qDebug() << "ServerController::quit() emitting finish thread" << QThread::currentThreadId();
    emit finished();
}

quint64 ServerController::getCryptKey(QString serial)
{
    serial.remove(QLatin1Char('-'));
    serial.remove(QRegularExpression(QStringLiteral("[g-zG-Z]")));
    serial.remove(QLatin1Char('{'));
    serial.remove(QLatin1Char('}'));
    serial.append(QLatin1String(KeyFiller));
    bool ok = false;
    const quint64 key = serial.left(15).toULongLong(&ok, 16);
    return ok ? key : FallbackKey;
}

QString ServerController::encryptString(QString text, quint64 key)
{
    return Scrambler(key).encryptToString(text);
}

QString ServerController::decryptString(QString text, quint64 key)
{
    return Scrambler(key).decryptToString(text);
}

void ServerController::saveProperty(QString key, QVariant value)
{
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("LL"));
    settings->setValue(key, value);
    settings->endGroup();
}

QNetworkRequest ServerController::createRequest(const QUrl& url, const char* contentType)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", m_authorization.toLocal8Bit());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(contentType));
    // The request keeps the default TLS configuration: the service's
    // certificate is verified against the system's authorities.
    return request;
}

QNetworkRequest ServerController::createStatRequest()
{
    return createRequest(maker::statisticsService(), "application/json");
}

QNetworkRequest ServerController::createFormRequest()
{
    return createRequest(maker::formService(), "application/x-www-form-urlencoded");
}

QByteArray ServerController::createPostData(QString serial, QString pcid)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("serial"), serial);
    query.addQueryItem(QStringLiteral("pcid"), pcid);
    return query.toString(QUrl::PrettyDecoded).toUtf8();
}

int ServerController::processServerResponse(QString body)
{
    qDebug() << "ServerController::processServerResponse" << loggedValue(body);
    if (body.isEmpty())
        return 0;
    return QJsonDocument::fromJson(body.toUtf8()).object().value(QStringLiteral("status")).toInt(0);
}

QNetworkReply* ServerController::post(const QNetworkRequest& request, const QByteArray& body, const char* handler)
{
    QNetworkReply* reply = m_manager->post(request, body);
    // Read as it arrives, within a size and a deadline: a service that
    // answers without end or never must not hold the thread's memory or
    // its one probe.
    replylimits::BoundedBody::attach(reply, replylimits::kServiceBytes, QStringLiteral("ServerController"));
    connect(reply, SIGNAL(finished()), this, handler);
    connect(reply, &QNetworkReply::errorOccurred, this, &ServerController::slotError);
    connect(reply, &QNetworkReply::sslErrors, this, &ServerController::slotSslErrors);
    return reply;
}

QNetworkReply* ServerController::finishedReply(QNetworkReply*& member)
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        reply = member;
    if (reply && reply == member)
        member = nullptr;
    return reply;
}

void ServerController::findOutLastUploadedDateTime()
{
    if (!m_manager)
        return;  // before init(): no identity yet
    // The identifier as a JSON string: escaped, whatever it holds.
    QByteArray pcid = QJsonDocument(QJsonArray{m_pcid}).toJson(QJsonDocument::Compact);
    pcid = pcid.mid(1, pcid.size() - 2);
    const QByteArray body = "{\"pcid\":" + pcid + ",\"data\":[]}";
    m_statsQueryReply = post(createStatRequest(), body, SLOT(processLastDateTime()));
}

void ServerController::processLastDateTime()
{
    QNetworkReply* reply = finishedReply(m_statsQueryReply);
    if (!reply)
        return;
    const QString body = bodyOf(reply);
    if (reply->error() == QNetworkReply::NoError && !body.isEmpty()) {
        const QString datetime =
            QJsonDocument::fromJson(body.toUtf8()).object().value(QStringLiteral("datetime")).toString();
        emit lastDateTimeObtained(datetime, m_pcid);
    }
    reply->deleteLater();
}

void ServerController::uploadStats(QString jsonData)
{
    if (jsonData.isEmpty() || !m_manager)
        return;
    m_statsUploadReply = post(createStatRequest(), jsonData.toUtf8(), SLOT(dataUploaded()));
}

void ServerController::dataUploaded()
{
    QNetworkReply* reply = finishedReply(m_statsUploadReply);
    if (!reply)
        return;
    const QString body = bodyOf(reply);
    if (!body.isEmpty())
        qDebug() << "ServerController::dataUploaded" << loggedValue(body);
    reply->deleteLater();
}

void ServerController::slotError(QNetworkReply::NetworkError e)
{
    qDebug() << "ServerController::slotError Network Failure"
             << QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(e);
}

void ServerController::slotSslErrors(QList<QSslError> eList)
{
    for (const QSslError& e : eList)
        qDebug() << "ServerController::slotSslErrors" << e.errorString();
}

void ServerController::applySystemConfiguration()
{
    // The default proxy first: setting an application proxy drops the
    // system configuration, so it is switched on afterwards.
    QNetworkProxy::setApplicationProxy(QNetworkProxy());
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    qDebug() << "ServerController using system proxy" << QNetworkProxyFactory::usesSystemConfiguration();
}

void ServerController::loadProxy()
{
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("P"));
    const QString password = decryptString(settings->value(QStringLiteral("PA")).toString(), m_cryptKey);
    const QString user = decryptString(settings->value(QStringLiteral("U")).toString(), m_cryptKey);
    const QString host = settings->value(QStringLiteral("S")).toString();
    const quint16 port = quint16(settings->value(QStringLiteral("PO"), 0).toUInt());
    settings->endGroup();

    if (!host.isEmpty()) {
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        m_storedProxy = QNetworkProxy(QNetworkProxy::HttpProxy, host, port, user, password);
        QNetworkProxy::setApplicationProxy(m_storedProxy);
        emit proxySettingsChanged(host, port, user, password);
    } else {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
    }
    qDebug() << "ServerController using system proxy" << QNetworkProxyFactory::usesSystemConfiguration();
    qDebug().noquote() << "ServerController default proxy" << describe(QNetworkProxy::applicationProxy());
    const QNetworkProxyQuery query(QUrl(QStringLiteral("https://www.debian.org")));
    for (const QNetworkProxy& p : QNetworkProxyFactory::systemProxyForQuery(query)) {
        qDebug().noquote() << "list of system proxies" << loggedValue(p.hostName()) << redacted(p.user())
                           << p.port() << redacted(p.password()) << describe(p);
    }
}

void ServerController::verifyProxySettings(QString server, quint16 port, QString user, QString password)
{
    // One probe at a time: its answer must belong to the candidate in force.
    if (m_probeReply) {
        qWarning() << "ServerController::verifyProxySettings a probe is running, candidate refused";
        return;
    }
    // A request queued before the server thread started arrives before
    // init(): nothing can be probed yet.
    if (!m_manager) {
        emit proxySettingsValidated(false);
        return;
    }
    if (server.isEmpty()) {
        applySystemConfiguration();
    } else {
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, server, port, user, password));
    }
    m_probeReply = post(createFormRequest(), createPostData(QStringLiteral("NON_EXISTING_SERIAL"), m_pcid),
                        SLOT(proxySettingsVerified()));
}

void ServerController::proxySettingsVerified()
{
    QNetworkReply* reply = finishedReply(m_probeReply);
    if (!reply)
        return;
    const QString body = bodyOf(reply);
    const int status = reply->error() != QNetworkReply::NoError ? 0 : processServerResponse(body);
    reply->deleteLater();

    if (status == 0) {
        qDebug() << "ServerController: " << "proxy not valid";
        emit proxySettingsValidated(false);
        if (!m_storedProxy.hostName().isEmpty()) {
            QNetworkProxyFactory::setUseSystemConfiguration(false);
            QNetworkProxy::setApplicationProxy(m_storedProxy);
        } else {
            applySystemConfiguration();
        }
        return;
    }

    const QNetworkProxy accepted = QNetworkProxy::applicationProxy();
    emit proxySettingsValidated(true);
    if (!accepted.hostName().isEmpty()) {
        m_storedProxy = accepted;
    } else {
        // No own proxy any more: a later failed probe must not bring the
        // previous one back.
        m_storedProxy = QNetworkProxy();
        applySystemConfiguration();
    }
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("P"));
    settings->setValue(QStringLiteral("PA"), encryptString(accepted.password(), m_cryptKey));
    settings->setValue(QStringLiteral("U"), encryptString(accepted.user(), m_cryptKey));
    settings->setValue(QStringLiteral("S"), accepted.hostName());
    settings->setValue(QStringLiteral("PO"), int(accepted.port()));
    settings->endGroup();
    settings->sync();
}
