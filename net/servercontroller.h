#pragma once
// The server client: machine identity, proxy settings and the statistics
// service. Lives on a thread of its own.

#include <QList>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QVariant>

#include "core/lumoratypes.h"
#include "net/machineidentity.h"

class QNetworkAccessManager;

class ServerController : public QObject
{
    Q_OBJECT
public:
    explicit ServerController(QObject* parent = nullptr);
    ~ServerController() override;

    // Where init() reads the machine id; the system's by default.
    void setMachineIdSource(machineidentity::Source source) { m_machineIdSource = std::move(source); }

    static quint64 getCryptKey(QString serial);
    static QString encryptString(QString text, quint64 key);
    static QString decryptString(QString text, quint64 key);

signals:
    void finished();
    void proxySettingsChanged(QString server, quint16 port, QString user, QString password);
    void proxySettingsValidated(bool isValid);
    void lastDateTimeObtained(QString lastDateTime, QString pcid);
    void errorOccurred(Error);
    void noInternetConnection();
    void serverControllerInitialized();

public slots:
    void processLastDateTime();
    void dataUploaded();
    void proxySettingsVerified();
    void slotSslErrors(QList<QSslError> eList);
    void slotError(QNetworkReply::NetworkError e);
    void findOutLastUploadedDateTime();
    // The upload document, as a value this object owns.
    void uploadStats(QString jsonData);
    void init();
    void quit();
    void verifyProxySettings(QString server, quint16 port, QString user, QString password);

private:
    void loadProxy();
    void applySystemConfiguration();
    void saveProperty(QString key, QVariant value);
    QNetworkRequest createStatRequest();
    QNetworkRequest createFormRequest();
    QNetworkRequest createRequest(const QUrl& url, const char* contentType);
    QByteArray createPostData(QString serial, QString pcid);
    int processServerResponse(QString body);
    QNetworkReply* post(const QNetworkRequest& request, const QByteArray& body, const char* handler);
    // The reply whose finished() runs the calling handler, or the pending
    // one of its kind when called directly; clears the member when it is
    // that reply. Null when there is nothing to handle.
    QNetworkReply* finishedReply(QNetworkReply*& member);

    QString m_authorization;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_probeReply = nullptr;
    QNetworkReply* m_statsQueryReply = nullptr;
    QNetworkReply* m_statsUploadReply = nullptr;
    QNetworkProxy m_storedProxy;
    QString m_pcid;
    QString m_serial;
    quint64 m_cryptKey = 0;
    bool m_quitting = false;
    int m_idLengthLimit = 40;
    machineidentity::Source m_machineIdSource;
};
