#include "app/uniqueapplication/uniqueapplication.h"

// Placeholder until the guard lands: every launch is the primary.
class UniqueApplicationPrivate
{
public:
    QStringList userData;
};

UniqueApplication::UniqueApplication(int& argc, char** argv, bool, QFlags<UniqueApplication::Mode>,
                                     int, const QString& userData)
    : QApplication(argc, argv), d_ptr(new UniqueApplicationPrivate)
{
    if (!userData.isEmpty())
        d_ptr->userData << userData;
}

UniqueApplication::~UniqueApplication() { delete d_ptr; }

bool UniqueApplication::isPrimary() const { return true; }
bool UniqueApplication::isSecondary() const { return false; }
quint32 UniqueApplication::instanceId() const { return 0; }
qint64 UniqueApplication::primaryPid() const { return QCoreApplication::applicationPid(); }
QString UniqueApplication::primaryUser() const { return currentUser(); }
QString UniqueApplication::currentUser() const { return qEnvironmentVariable("USER"); }
QStringList UniqueApplication::userData() const { return d_ptr->userData; }
bool UniqueApplication::sendMessage(const QByteArray&, int) { return false; }
