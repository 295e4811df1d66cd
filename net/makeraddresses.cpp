#include "net/makeraddresses.h"

#include <QByteArray>
#include <QDebug>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtGlobal>

namespace maker {

namespace {

struct Entry {
    const char* variable;
    const char* fallback;
};

Entry entry(Address which)
{
    switch (which) {
    case Address::HomePage:
        return {"LUMORA_HOME_URL", "https://www.harnwick.com/lumora"};
    case Address::SocialPage:
        return {"LUMORA_SOCIAL_URL", "https://www.facebook.com/harnwick"};
    case Address::HealthPage:
        return {"LUMORA_HEALTH_URL", "https://www.aao.org/eye-health"};
    case Address::PartnerPage:
        return {"LUMORA_PARTNER_URL", "https://www.harnwick.com/partners"};
    case Address::ServiceBase:
        return {"LUMORA_SERVICE_URL", "https://api.harnwick.com"};
    case Address::UpdateFeed:
        return {"LUMORA_UPDATE_FEED_URL", "https://www.harnwick.com/files/download/updates.json"};
    }
    return {"", ""};
}

QUrl below(const QUrl& base, const char* path)
{
    QString s = base.toString();
    while (s.endsWith(QLatin1Char('/')))
        s.chop(1);
    return QUrl(s + QLatin1String(path));
}

}  // namespace

QUrl address(Address which)
{
    const Entry e = entry(which);
    const QByteArray overridden = qgetenv(e.variable);
    return QUrl(overridden.isEmpty() ? QString::fromLatin1(e.fallback) : QString::fromUtf8(overridden));
}

QUrl statisticsService()
{
    return below(address(Address::ServiceBase), "/api/0.1/stats");
}

QUrl formService()
{
    return below(address(Address::ServiceBase), "/api/0.1/assign");
}

void trustTestAuthority()
{
    const QString path = QString::fromLocal8Bit(qgetenv("LUMORA_TEST_CA_FILE"));
    if (path.isEmpty())
        return;
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(path, QSsl::Pem);
    if (certs.isEmpty()) {
        qWarning() << "maker::trustTestAuthority() no certificate in" << path;
        return;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    // Adding authorities switches off the on-demand loading of the system's
    // own, so keep those explicitly.
    config.setCaCertificates(QSslConfiguration::systemCaCertificates() + certs);
    QSslConfiguration::setDefaultConfiguration(config);
}

}  // namespace maker
