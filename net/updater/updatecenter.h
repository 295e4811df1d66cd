#pragma once
// The process-wide facade of the update checker: one Updater per feed
// address, made on first use. Its one owner is the process: it is destroyed
// once, while the application object shuts down; whoever lets it go earlier
// (deleteLater()) leaves no dangling instance, the next use makes a new one.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class Updater;

class UpdateCenter : public QObject
{
    Q_OBJECT
public:
    static UpdateCenter* getInstance();
    ~UpdateCenter() override;

    bool getNotifyOnUpdate(const QString& url);
    bool getNotifyOnFinish(const QString& url);
    bool getUpdateAvailable(const QString& url);
    QString getChangelog(const QString& url);
    QString getModuleName(const QString& url);
    QString getDownloadUrl(const QString& url);
    QString getPlatformKey(const QString& url);
    QString getLatestVersion(const QString& url);
    QString getModuleVersion(const QString& url);
    QString getUserAgentString(const QString& url);
    QString getOpenUrl(const QString& url);

    // Test seam: the Updater behind a feed address.
    Updater* updaterFor(const QString& url) { return getUpdater(url); }

signals:
    void checkingFinished(QString url);
    void downloadFinished(QString url, QString filepath);

public slots:
    void checkForUpdates(QString url);
    void setModuleName(QString url, QString name);
    void setNotifyOnUpdate(QString url, bool notify);
    void setNotifyOnFinish(QString url, bool notify);
    void setPlatformKey(QString url, QString platform);
    void setModuleVersion(QString url, QString version);
    void setUserAgentString(QString url, QString agent);
    void setEnableBeta(QString url, bool isEnabled);

private:
    explicit UpdateCenter(QObject* parent);
    Updater* getUpdater(const QString& url);

    QStringList m_urls;
    QList<Updater*> m_updaters;
};
