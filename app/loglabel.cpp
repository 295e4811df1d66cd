#include "app/loglabel.h"

namespace LOGUTILS {

QString labelled(QtMsgType type, const QString& message)
{
    switch (type) {
    case QtDebugMsg: return QStringLiteral("Debug: %1").arg(message);
    case QtWarningMsg: return QStringLiteral("Warning: %1").arg(message);
    case QtCriticalMsg: return QStringLiteral("Critical: %1").arg(message);
    case QtFatalMsg: return QStringLiteral("Fatal: %1").arg(message);
    case QtInfoMsg: return QStringLiteral("Info: %1").arg(message);
    }
    return QString();
}

}  // namespace LOGUTILS
