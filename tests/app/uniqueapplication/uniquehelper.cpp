// A minimal program on the single-instance guard, launched by the tests as
// a real process. It reports on standard output, one line each:
//   name <block server name>, socket <socket path>, primary <pid> or
//   secondary <id>, started (for each instanceStarted()), message <id> <hex>,
//   sent <0|1>.
// Options: --allow-secondary, --per-user, --send <text>, --timeout <ms>.
// The primary runs until "quit" arrives on standard input or it is closed.
//
// With --squat <key> it plays another local user who takes the guard's
// names first and does not use the guard itself: it creates a shared block
// under that key that claims a running primary, and with --listen <path> a
// socket open to everyone that reports "intercepted" for each connection,
// with --ftok <number> a block open to everyone under that System V key,
// and with --folder <path> a folder open to everyone. It says "squatting"
// and holds them until "quit".

#include <QLocalServer>
#include <QLocalSocket>
#include <QSharedMemory>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
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

// Ends the event loop when "quit" arrives on standard input.
void quitOnInput(QSocketNotifier& input)
{
    QObject::connect(&input, &QSocketNotifier::activated, [&input] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (n <= 0 || QByteArray(buffer, static_cast<int>(n)).contains("quit")) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
}

// A block that says a primary runs: this process.
void claimPrimary(void* memory)
{
    auto* block = static_cast<InstanceBlock*>(memory);
    std::memset(block, 0, sizeof(InstanceBlock));
    block->hasPrimary = 1;
    block->primaryPid = ::getpid();
    std::strcpy(block->primaryUserName, "squatter");
    block->checksum = UniqueApplicationPrivate::blockChecksum(*block);
}

int squat(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::umask(0);
    QSharedMemory legacy(QString::fromLocal8Bit(argValue(argc, argv, "--squat")));
    if (legacy.create(sizeof(InstanceBlock)))
        claimPrimary(legacy.data());
    else
        say("legacy " + legacy.errorString().toLocal8Bit());

    int segment = -1;
    if (const char* ftokKey = argValue(argc, argv, "--ftok")) {
        segment = ::shmget(static_cast<key_t>(std::strtol(ftokKey, nullptr, 10)), sizeof(InstanceBlock),
                           IPC_CREAT | IPC_EXCL | 0666);
        void* memory = segment == -1 ? nullptr : ::shmat(segment, nullptr, 0);
        if (memory && memory != reinterpret_cast<void*>(-1))
            claimPrimary(memory);
        else
            say("ftok failed");
    }
    if (const char* folder = argValue(argc, argv, "--folder"))
        ::mkdir(folder, 0777);

    QLocalServer server;
    if (const char* path = argValue(argc, argv, "--listen")) {
        server.setSocketOptions(QLocalServer::WorldAccessOption);
        if (!server.listen(QString::fromLocal8Bit(path)))
            say("listen " + server.errorString().toLocal8Bit());
        QObject::connect(&server, &QLocalServer::newConnection, [&server] {
            while (QLocalSocket* peer = server.nextPendingConnection()) {
                say("intercepted");
                peer->write("\n");  // acknowledges whatever comes
                QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer] {
                    peer->readAll();
                    peer->write("\n");
                });
            }
        });
    }
    say("squatting");
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    quitOnInput(input);
    const int result = app.exec();
    if (segment != -1)
        ::shmctl(segment, IPC_RMID, nullptr);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argValue(argc, argv, "--squat"))
        return squat(argc, argv);

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
    quitOnInput(input);
    return app.exec();
}
