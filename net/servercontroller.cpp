#include "net/servercontroller.h"

#include <QDebug>
#include <QThread>

ServerController::ServerController(QObject* parent) : QObject(parent) {}
ServerController::~ServerController() = default;

void ServerController::init()
{
    qDebug() << "ServerController::init()";
    emit serverControllerInitialized();
}

void ServerController::quit()
{
    qDebug() << "ServerController::quit() emitting finish thread" << QThread::currentThreadId();
    emit finished();
}

void ServerController::processLastDateTime() {}
void ServerController::dataUploaded() {}
void ServerController::proxySettingsVerified() {}
void ServerController::slotSslErrors(QList<QSslError>) {}
void ServerController::slotError(QNetworkReply::NetworkError) {}
void ServerController::findOutLastUploadedDateTime() {}
void ServerController::uploadStats(QString) {}
void ServerController::verifyProxySettings(QString, quint16, QString, QString) {}
