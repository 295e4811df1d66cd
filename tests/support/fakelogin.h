#pragma once
// Stands in for logind on a test's own system bus: tells the session
// listener which object is its login session.

#include <QDBusObjectPath>
#include <QObject>

class FakeLogin : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    static constexpr const char* kSessionPath = "/org/freedesktop/login1/session/_31";
    int calls = 0;
public slots:
    QDBusObjectPath GetSession(const QString&)
    {
        ++calls;
        return QDBusObjectPath(QString::fromLatin1(kSessionPath));
    }
};
