#pragma once
// The one place that holds the maker's addresses: the web pages the about
// page links to and the services the program talks to. Each address can be
// pointed elsewhere through its environment variable at start, so tests
// reach their own local servers without a rebuild.

#include <QString>
#include <QUrl>

namespace maker {

enum class Address {
    HomePage,       // LUMORA_HOME_URL
    SocialPage,     // LUMORA_SOCIAL_URL
    HealthPage,     // LUMORA_HEALTH_URL: an eye-health organisation's page
    PartnerPage,    // LUMORA_PARTNER_URL
    ServiceBase,    // LUMORA_SERVICE_URL: statistics and form services
    UpdateFeed,     // LUMORA_UPDATE_FEED_URL
};

// The address, or its environment override when that is set and non-empty.
QUrl address(Address which);

// The statistics service ("/api/0.1/stats") and the form service used by
// the proxy probe ("/api/0.1/assign"), below ServiceBase.
QUrl statisticsService();
QUrl formService();

}  // namespace maker
