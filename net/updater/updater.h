#pragma once
// Asks one update feed whether a newer version exists for this platform,
// asks the user, and opens the release page or hands the file to the
// downloader.

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

class Downloader;
class QNetworkAccessManager;
class QNetworkReply;

class Updater : public QObject
{
    Q_OBJECT
public:
    Updater();
    ~Updater() override;

    static constexpr int kMaxRedirects = 5;
    // Entries whose "latest-version" is longer are skipped.
    static constexpr int kMaxVersionCharacters = 32;

    // True when y is a newer version than x (dotted numbers, part by part).
    bool compare(const QString& x, const QString& y);

    QString url() const { return m_url; }
    QString openUrl() const { return m_openUrl; }
    QString changelog() const { return m_changelog; }
    QString moduleName() const { return m_moduleName; }
    QString platformKey() const { return m_platform; }
    QString downloadUrl() const { return m_downloadUrl; }
    QString latestVersion() const { return m_latestVersion; }
    QString userAgentString() const { return m_userAgentString; }
    QString moduleVersion() const { return m_moduleVersion; }
    bool notifyOnUpdate() const { return m_notifyOnUpdate; }
    bool notifyOnFinish() const { return m_notifyOnFinish; }
    bool updateAvailable() const { return m_updateAvailable; }
    Downloader* downloader() const { return m_downloader; }

signals:
    void checkingFinished(QString url);
    void downloadFinished(QString url, QString filepath);

public slots:
    void checkForUpdates();
    void setUrl(QString url);
    void setModuleName(QString name);
    void setNotifyOnUpdate(bool notify);
    void setNotifyOnFinish(bool notify);
    void setUserAgentString(QString agent);
    void setModuleVersion(QString version);
    void setPlatformKey(QString platformKey);
    void setBetaRequired(bool enabled);

private slots:
    void onReply(QNetworkReply* reply);
    void setUpdateAvailable(bool available);

private:
    void request(int redirects);
    void endCheck();

    QString m_url;
    // One for the whole check, its redirects included.
    QDeadlineTimer m_deadline;
    QString m_userAgentString;
    int m_downloadSize = 0;
    bool m_notifyOnUpdate = true;
    bool m_notifyOnFinish = false;
    bool m_updateAvailable = false;
    bool m_updateIsBeta = false;
    bool m_betaRequired = false;
    QString m_openUrl;
    QString m_md5;
    QString m_platform;
    QString m_changelog;
    QString m_moduleName;
    QString m_downloadUrl;
    QString m_moduleVersion;
    QString m_latestVersion;
    Downloader* m_downloader = nullptr;
    QNetworkAccessManager* m_manager = nullptr;
};
