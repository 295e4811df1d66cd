// A minimal program on the single-instance guard, launched by the tests as
// a real process. It reports on standard output, one line each:
//   name <block server name>, socket <socket path>, primary <pid> or
//   secondary <id>, started (for each instanceStarted()), message <id> <hex>,
//   sent <0|1>.
// Options: --allow-secondary, --per-user, --send <text>, --timeout <ms>.
// The primary runs until "quit" arrives on standard input or it is closed.

#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "app/uniqueapplication/uniqueapplication.h"
#include "app/uniqueapplication/uniqueapplication_p.h"

namespace {

void say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool hasArg(int argc, char** argv, const char* name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

const char* argValue(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool allowSecondary = hasArg(argc, argv, "--allow-secondary");
    UniqueApplication::Options options = UniqueApplication::NotifyOnSecondary;
    if (hasArg(argc, argv, "--per-user"))
        options |= UniqueApplication::PerUser;
    const char* timeoutText = argValue(argc, argv, "--timeout");
    const int timeout = timeoutText ? std::atoi(timeoutText) : 1000;
    const char* send = argValue(argc, argv, "--send");

    UniqueApplication app(argc, argv, allowSecondary, options, timeout);

    const QString name = UniqueApplicationPrivate::makeBlockServerName(
        QCoreApplication::applicationName(), QString(), QString(), QStringList(), QString(),
        QCoreApplication::applicationFilePath(), app.currentUser(), options);
    say("name " + name.toLatin1());
    say("socket " + UniqueApplicationPrivate::socketPath(name, ::geteuid()).toLocal8Bit());

    QObject::connect(&app, &UniqueApplication::instanceStarted, [] { say("started"); });
    QObject::connect(&app, &UniqueApplication::receivedMessage, [](quint32 id, const QByteArray& message) {
        say("message " + QByteArray::number(id) + ' ' + message.toHex());
    });

    if (app.isSecondary()) {
        say("secondary " + QByteArray::number(app.instanceId()) + ' ' +
            QByteArray::number(app.primaryPid()) + ' ' + app.primaryUser().toUtf8());
        if (send)
            say(QByteArray("sent ") + (app.sendMessage(QByteArray(send), timeout) ? "1" : "0"));
        return 0;
    }

    say("primary " + QByteArray::number(app.primaryPid()) + ' ' + app.primaryUser().toUtf8());
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&input] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (n <= 0 || QByteArray(buffer, static_cast<int>(n)).contains("quit")) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return app.exec();
}
