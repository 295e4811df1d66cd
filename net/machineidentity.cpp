#include "net/machineidentity.h"

#include <QCryptographicHash>
#include <QSysInfo>

namespace machineidentity {

namespace {

QByteArray derive(const char* salt, const QByteArray& machineId)
{
    return QCryptographicHash::hash(QByteArray(salt) + machineId, QCryptographicHash::Sha256).toHex().toUpper();
}

}  // namespace

Source systemSource()
{
    return [] { return QSysInfo::machineUniqueId(); };
}

QString platformSerial(const QByteArray& machineId)
{
    if (machineId.isEmpty())
        return QStringLiteral("errorNoSerialNumberObtained");
    return QString::fromLatin1(derive("lumora/serial/v1:", machineId).left(12));
}

QString platformUuid(const QByteArray& machineId)
{
    if (machineId.isEmpty())
        return QStringLiteral("errorNoUUIDobtained");
    const QByteArray h = derive("lumora/platform-uuid/v1:", machineId);
    return QString::fromLatin1(h.mid(0, 8) + '-' + h.mid(8, 4) + '-' + h.mid(12, 4) + '-' + h.mid(16, 4) + '-'
                               + h.mid(20, 12));
}

}  // namespace machineidentity
