#include "net/makeraddresses.h"

#include <QByteArray>
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

}  // namespace maker
