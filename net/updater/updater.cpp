#include "net/updater/updater.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QVector>
#include <memory>

#include "core/loggedvalue.h"
#include "net/replylimits.h"
#include "net/updater/downloader.h"

namespace {

const char kRedirects[] = "lumoraRedirects";

bool isHttps(const QString& address)
{
    return QUrl(address).scheme() == QLatin1String("https");
}

struct LaterDeleter {
    void operator()(QNetworkReply* r) const { r->deleteLater(); }
};

}  // namespace

Updater::Updater()
    : m_userAgentString(QStringLiteral("%1/%2 (Qt; UpdateCenter)")
                            .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion())),
      m_platform(QStringLiteral("linux")), m_moduleName(QCoreApplication::applicationName()),
      m_moduleVersion(QCoreApplication::applicationVersion()), m_downloader(new Downloader()),
      m_manager(new QNetworkAccessManager())
{
    m_downloader->setUserAgentString(m_userAgentString);
    connect(m_downloader, SIGNAL(downloadFinished(QString,QString)), this, SIGNAL(downloadFinished(QString,QString)));
    connect(m_manager, SIGNAL(finished(QNetworkReply*)), this, SLOT(onReply(QNetworkReply*)));
}

Updater::~Updater()
{
    qDebug() << "~Updater";
    delete m_downloader;
    delete m_manager;
}

void Updater::checkForUpdates()
{
    m_deadline = QDeadlineTimer(replylimits::requestDeadlineMs());
    request(0);
}

void Updater::request(int redirects)
{
    QNetworkRequest req{QUrl(m_url)};
    // Redirects are followed here, one checked hop at a time.
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!m_userAgentString.isEmpty())
        req.setRawHeader("User-Agent", m_userAgentString.toUtf8());
    QNetworkReply* reply = m_manager->get(req);
    reply->setProperty(kRedirects, redirects);
    // Read as it arrives, up to a size no real feed reaches and within a
    // deadline that its redirects share; past either the check ends as a
    // failed one.
    replylimits::BoundedBody::attach(reply, replylimits::kFeedBytes, QStringLiteral("Updater::onReply"), m_deadline);
}

void Updater::endCheck()
{
    setUpdateAvailable(false);
    emit checkingFinished(m_url);
}

void Updater::onReply(QNetworkReply* r)
{
    // Every reply is released once, whichever way this ends.
    std::unique_ptr<QNetworkReply, LaterDeleter> reply(r);

    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (!target.isEmpty()) {
        const QUrl next = reply->url().resolved(target);
        const int hops = reply->property(kRedirects).toInt() + 1;
        if (hops > kMaxRedirects || next.scheme() != QLatin1String("https")) {
            qWarning() << "Updater::onReply redirect not followed (" << hops << "hops, scheme"
                       << loggedValue(next.scheme()) << ")";
            endCheck();
            return;
        }
        // Later checks ask where the feed was found.
        m_url = next.toString();
        request(hops);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << "Updater::onReply network error" << reply->error();
        endCheck();
        return;
    }
    const QJsonDocument document =
        QJsonDocument::fromJson(replylimits::BoundedBody::bodyOf(reply.get(), replylimits::kFeedBytes));
    if (document.isNull()) {
        endCheck();
        return;
    }

    const QJsonArray entries =
        document.object().value(QStringLiteral("updates")).toObject().value(m_platform).toArray();
    m_latestVersion = m_moduleVersion;
    int overlong = 0;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const bool beta = entry.value(QStringLiteral("beta")).toBool(false);
        if (!m_betaRequired && beta)
            continue;
        const QString version = entry.value(QStringLiteral("latest-version")).toString();
        // No real version is that long; such a text is never offered, nor
        // laid out in the question.
        if (version.size() > kMaxVersionCharacters) {
            ++overlong;
            continue;
        }
        if (!compare(m_latestVersion, version))
            continue;
        // Only what the user can safely be sent to: an HTTPS page or file.
        const QString openUrl = entry.value(QStringLiteral("open-url")).toString();
        const QString downloadUrl = entry.value(QStringLiteral("download-url")).toString();
        if (openUrl.isEmpty() ? !isHttps(downloadUrl) : !isHttps(openUrl)) {
            qWarning() << "Updater::onReply entry" << loggedValue(version) << "skipped: not an HTTPS address";
            continue;
        }
        m_openUrl = openUrl;
        m_md5 = entry.value(QStringLiteral("md5")).toString();
        m_downloadSize = entry.value(QStringLiteral("size-in-mb")).toInt();
        m_updateIsBeta = beta;
        m_changelog = entry.value(QStringLiteral("changelog")).toString();
        m_downloadUrl = downloadUrl;
        m_latestVersion = version;
    }
    if (overlong > 0)
        qWarning() << "Updater::onReply" << overlong << "entries skipped: a latest-version longer than"
                   << kMaxVersionCharacters << "characters";

    qDebug() << "Updater::onReply current version" << loggedValue(m_moduleVersion) << "latest version"
             << loggedValue(m_latestVersion);
    qDebug() << "Updater::onReply isBetaRequired" << (m_betaRequired ? "true" : "false") << "is update beta"
             << (m_updateIsBeta ? "true" : "false");
    setUpdateAvailable(compare(m_moduleVersion, m_latestVersion));
    emit checkingFinished(m_url);
}

bool Updater::compare(const QString& x, const QString& y)
{
    const QStringList xs = x.split(QLatin1Char('.'));
    const QStringList ys = y.split(QLatin1Char('.'));
    const int n = qMin(xs.size(), ys.size());
    for (int i = 0; i < n; ++i) {
        const int a = xs.at(i).toInt(nullptr, 10);
        const int b = ys.at(i).toInt(nullptr, 10);
        if (a != b)
            return a < b;
    }
    return false;
}

void Updater::setUpdateAvailable(bool available)
{
    m_updateAvailable = available;
    if (!available || (!m_notifyOnUpdate && !m_notifyOnFinish))
        return;

    QMessageBox box;
    box.setTextFormat(Qt::RichText);
    box.setIcon(QMessageBox::Information);
    // The feed's text is shown as text, never as markup.
    box.setText(tr("Version %1 of %2 has been released!")
                    .arg(m_latestVersion.toHtmlEscaped(), m_moduleName.toHtmlEscaped()));
    box.setInformativeText(tr("Would you like to download the update now (size %1MB)?").arg(m_downloadSize));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() != QMessageBox::Yes)
        return;

    if (!m_openUrl.isEmpty()) {
        QDesktopServices::openUrl(QUrl(m_openUrl));
        return;
    }
    m_downloader->setUpdateProperties(m_downloadUrl, m_md5);
    m_downloader->setAnnouncedSize(m_downloadSize);
    m_downloader->setFileName(m_downloadUrl.split(QLatin1Char('/')).last());
    m_downloader->startDownload(QUrl(m_downloadUrl));
}

void Updater::setUrl(QString url) { m_url = url; }
void Updater::setModuleName(QString name) { m_moduleName = name; }
void Updater::setNotifyOnUpdate(bool notify) { m_notifyOnUpdate = notify; }
void Updater::setNotifyOnFinish(bool notify) { m_notifyOnFinish = notify; }
void Updater::setModuleVersion(QString version) { m_moduleVersion = version; }
void Updater::setPlatformKey(QString platformKey) { m_platform = platformKey; }
void Updater::setBetaRequired(bool enabled) { m_betaRequired = enabled; }

void Updater::setUserAgentString(QString agent)
{
    m_userAgentString = agent;
    m_downloader->setUserAgentString(agent);
}
