#pragma once
// Single-instance guard: the base class of the application object. The first
// launch becomes the primary and listens on a local socket; a later launch
// announces itself to the primary and ends with status 0.

#include <QApplication>
#include <QByteArray>
#include <QFlags>
#include <QString>
#include <QStringList>

class UniqueApplicationPrivate;

class UniqueApplication : public QApplication
{
    Q_OBJECT
public:
    enum Mode {
        PerUser = 1,
        SystemWide = 2,
        NotifyOnSecondary = 4,
        IgnoreVersion = 8,
        IgnoreAppPath = 16
    };
    Q_DECLARE_FLAGS(Options, Mode)

    UniqueApplication(int& argc, char** argv, bool allowSecondary = false,
                      QFlags<UniqueApplication::Mode> options = Mode::NotifyOnSecondary,
                      int timeout = 1000, const QString& userData = QString());
    ~UniqueApplication() override;

    bool isPrimary() const;
    bool isSecondary() const;
    quint32 instanceId() const;
    qint64 primaryPid() const;
    QString primaryUser() const;
    QString currentUser() const;
    QStringList userData() const;
    bool sendMessage(const QByteArray& message, int timeout = 100);

signals:
    void instanceStarted();
    void receivedMessage(quint32 instanceId, QByteArray message);

private:
    UniqueApplicationPrivate* d_ptr;
    friend class UniqueApplicationPrivate;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(UniqueApplication::Options)
