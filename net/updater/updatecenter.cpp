#include "net/updater/updatecenter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>

#include "net/updater/updater.h"

namespace {

QPointer<UpdateCenter> instance;

// Runs while the application object is still whole, so the downloader
// windows go before the widget machinery does.
void destroyInstance()
{
    delete instance.data();
}

}  // namespace

UpdateCenter::UpdateCenter(QObject* parent) : QObject(parent) {}

UpdateCenter* UpdateCenter::getInstance()
{
    if (!instance) {
        instance = new UpdateCenter(nullptr);
        qAddPostRoutine(destroyInstance);
    }
    return instance;
}

UpdateCenter::~UpdateCenter()
{
    qDebug() << "~UpdateCenter";
    m_urls.clear();
    qDeleteAll(m_updaters);
    m_updaters.clear();
}

Updater* UpdateCenter::getUpdater(const QString& url)
{
    const int i = m_urls.indexOf(url);
    if (i >= 0)
        return m_updaters.at(i);
    Updater* updater = new Updater();
    updater->setUrl(url);
    m_urls.append(url);
    m_updaters.append(updater);
    connect(updater, SIGNAL(checkingFinished(QString)), this, SIGNAL(checkingFinished(QString)));
    connect(updater, SIGNAL(downloadFinished(QString,QString)), this, SIGNAL(downloadFinished(QString,QString)));
    return updater;
}

void UpdateCenter::checkForUpdates(QString url) { getUpdater(url)->checkForUpdates(); }
void UpdateCenter::setModuleName(QString url, QString name) { getUpdater(url)->setModuleName(name); }
void UpdateCenter::setNotifyOnUpdate(QString url, bool notify) { getUpdater(url)->setNotifyOnUpdate(notify); }
void UpdateCenter::setNotifyOnFinish(QString url, bool notify) { getUpdater(url)->setNotifyOnFinish(notify); }
void UpdateCenter::setPlatformKey(QString url, QString platform) { getUpdater(url)->setPlatformKey(platform); }
void UpdateCenter::setModuleVersion(QString url, QString version) { getUpdater(url)->setModuleVersion(version); }
void UpdateCenter::setUserAgentString(QString url, QString agent) { getUpdater(url)->setUserAgentString(agent); }
void UpdateCenter::setEnableBeta(QString url, bool isEnabled) { getUpdater(url)->setBetaRequired(isEnabled); }

bool UpdateCenter::getNotifyOnUpdate(const QString& url) { return getUpdater(url)->notifyOnUpdate(); }
bool UpdateCenter::getNotifyOnFinish(const QString& url) { return getUpdater(url)->notifyOnFinish(); }
bool UpdateCenter::getUpdateAvailable(const QString& url) { return getUpdater(url)->updateAvailable(); }
QString UpdateCenter::getChangelog(const QString& url) { return getUpdater(url)->changelog(); }
QString UpdateCenter::getModuleName(const QString& url) { return getUpdater(url)->moduleName(); }
QString UpdateCenter::getDownloadUrl(const QString& url) { return getUpdater(url)->downloadUrl(); }
QString UpdateCenter::getPlatformKey(const QString& url) { return getUpdater(url)->platformKey(); }
QString UpdateCenter::getLatestVersion(const QString& url) { return getUpdater(url)->latestVersion(); }
QString UpdateCenter::getModuleVersion(const QString& url) { return getUpdater(url)->moduleVersion(); }
QString UpdateCenter::getUserAgentString(const QString& url) { return getUpdater(url)->userAgentString(); }
QString UpdateCenter::getOpenUrl(const QString& url) { return getUpdater(url)->openUrl(); }
