#pragma once
// The server client: machine identity, proxy settings and the statistics
// service. Lives on a thread of its own.

#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QSslError>
#include <QString>

#include "core/lumoratypes.h"

class ServerController : public QObject
{
    Q_OBJECT
public:
    explicit ServerController(QObject* parent = nullptr);
    ~ServerController() override;

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
};
