#include "app/uniqueapplication/uniqueapplication.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QSharedMemory>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/privatedirectory.h"
#include "app/uniqueapplication/uniqueapplication_p.h"

namespace {

constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_5_6;  // version 17
constexpr int kConsistencyLimitMs = 5001;
// New key files tried when another user holds a block under the key of
// the last one.
constexpr int kKeyAttempts = 16;

void randomSleep()
{
    QThread::msleep(QRandomGenerator::global()->bounded(8, 18));
}

int remaining(int timeout, const QElapsedTimer& timer)
{
    return timeout - static_cast<int>(timer.elapsed());
}

// Descriptors of replaced key files, closed when it goes: while one is
// open its inode cannot be handed out again, so that each new key file has
// an inode (and a key) not tried before.
class ReplacedKeyFiles
{
public:
    ReplacedKeyFiles() = default;
    ReplacedKeyFiles(const ReplacedKeyFiles&) = delete;
    ReplacedKeyFiles& operator=(const ReplacedKeyFiles&) = delete;
    ~ReplacedKeyFiles()
    {
        for (int fd : m_fds)
            ::close(fd);
    }
    void keep(int fd)
    {
        if (fd >= 0)
            m_fds.push_back(fd);
    }

private:
    std::vector<int> m_fds;
};

// Gives the key file a new identity, and with it a new key: the new file
// is made while the old one still exists, so it gets another inode.
void renewKeyFile(const QString& keyFile, ReplacedKeyFiles& replaced)
{
    const QByteArray path = QFile::encodeName(keyFile);
    const QByteArray fresh = path + ".new";
    replaced.keep(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    ::unlink(fresh.constData());
    const int fd = ::open(fresh.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    ::rename(fresh.constData(), path.constData());
}

// Makes the key file where it is missing; true when this call made it.
bool makeKeyFile(const QString& keyFile)
{
    const int fd = ::open(QFile::encodeName(keyFile).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// The block under the key that the memory object derives from the key
// file, with its state in ds: kNoBlock, kHiddenBlock (one that we may not
// look into), or its id.
constexpr int kNoBlock = -1;
constexpr int kHiddenBlock = -2;
int findBlock(const QString& keyFile, struct shmid_ds& ds)
{
    const key_t key = ::ftok(QFile::encodeName(keyFile).constData(), 'Q');
    if (key == -1)
        return kNoBlock;
    const int id = ::shmget(key, 0, 0);
    if (id == -1)
        return errno == ENOENT ? kNoBlock : kHiddenBlock;
    return ::shmctl(id, IPC_STAT, &ds) == 0 ? id : kHiddenBlock;
}

// Whether a block that a process still holds exists under the key of the
// key file. One of this user's that nobody holds (left by a killed
// process) is removed instead, as the last detach would have done.
bool heldBlockExists(const QString& keyFile)
{
    struct shmid_ds ds;
    const int id = findBlock(keyFile, ds);
    if (id == kNoBlock || id == kHiddenBlock)
        return id == kHiddenBlock;
    if (ds.shm_nattch == 0 && ds.shm_perm.uid == ::geteuid())
        return ::shmctl(id, IPC_RMID, nullptr) != 0;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Private part

UniqueApplicationPrivate::UniqueApplicationPrivate(UniqueApplication* q) : q_ptr(q) {}

UniqueApplicationPrivate::~UniqueApplicationPrivate()
{
    if (socket) {
        socket->close();
        delete socket;
        socket = nullptr;
    }
    if (memory) {
        lockBlock();
        auto* block = static_cast<InstanceBlock*>(memory->data());
        if (server && block) {
            // The accepted sockets die with the server; nothing of theirs
            // may reach this half-destroyed object.
            for (QLocalSocket* peer : connections.keys())
                peer->disconnect(this);
            connections.clear();
            server->close();
            delete server;
            server = nullptr;
            block->hasPrimary = 0;
            block->primaryPid = -1;
            block->primaryUserName[0] = '\0';
            block->checksum = blockChecksum(*block);
        }
        // Detached under the lock: the last detach removes the block and its
        // key file, which must not race with a launch creating them anew.
        delete memory;
        memory = nullptr;
        unlockBlock();
    }
    delete server;  // only when the guard stayed out of the way
    server = nullptr;
    if (lockFile >= 0)
        ::close(lockFile);
    lockFile = -1;
    if (directoryFd >= 0)
        ::close(directoryFd);
    directoryFd = -1;
}

QString UniqueApplicationPrivate::makeBlockServerName(const QString& appName, const QString& orgName,
                                                      const QString& orgDomain,
                                                      const QStringList& userData,
                                                      const QString& version, const QString& appPath,
                                                      const QString& userName,
                                                      UniqueApplication::Options options)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("UniqueApplication", 17);
    hash.addData(appName.toUtf8());
    hash.addData(orgName.toUtf8());
    hash.addData(orgDomain.toUtf8());
    if (!userData.isEmpty())
        hash.addData(userData.join(QString()).toUtf8());
    if (!options.testFlag(UniqueApplication::IgnoreVersion))
        hash.addData(version.toUtf8());
    if (!options.testFlag(UniqueApplication::IgnoreAppPath))
        hash.addData(appPath.toUtf8());
    if (options.testFlag(UniqueApplication::PerUser))
        hash.addData(userName.toUtf8());
    return QString::fromLatin1(hash.result().toBase64()).replace(QLatin1Char('/'), QLatin1Char('_'));
}

QString UniqueApplicationPrivate::sharedMemoryKey(const QString& blockServerName, uint uid)
{
    return blockServerName + QLatin1Char('-') + QString::number(uid);
}

QString UniqueApplicationPrivate::privateDirectory()
{
    // In the program's data folder, the one its statistics live in: one
    // primary per data folder, however the launch's runtime, temporary or
    // cache folders are set and whatever a cache cleaner removes. The
    // user's own data folder is one that nobody else can create first.
    // Taken at the first call, while the guard starts: the application may
    // rename itself later, which would move the location.
    static const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString folder = data + QLatin1Char('/') + hostFolderName();
    if (!data.isEmpty() && makePrivateDirectory(folder))
        return folder;
    qWarning() << "UniqueApplication: no private folder for the guard:" << folder;
    return QString();
}

QString UniqueApplicationPrivate::hostFolderName()
{
    // A hash keeps the socket path short whatever the host name.
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    return QStringLiteral("guard-") +
           QString::fromLatin1(QCryptographicHash::hash(host, QCryptographicHash::Sha256).toHex().left(8));
}

QString UniqueApplicationPrivate::socketPath(const QString& blockServerName, uint uid)
{
    // Half the name is plenty to tell programs apart and leaves room for a
    // long home folder.
    const QString dir = privateDirectory();
    const QString path = dir + QLatin1Char('/') + sharedMemoryKey(blockServerName.left(22), uid);
    if (dir.isEmpty() || QFile::encodeName(path).size() >= int(sizeof(sockaddr_un::sun_path)))
        return QString();
    return path;
}

QString UniqueApplicationPrivate::blockKeyFile(const QString& directory, const QString& blockServerName,
                                               uint uid)
{
    return directory + QLatin1Char('/') + sharedMemoryKey(blockServerName, uid) + QStringLiteral(".block");
}

bool UniqueApplicationPrivate::blockIsForeign(const QString& keyFile)
{
    struct shmid_ds ds;
    const int id = findBlock(keyFile, ds);
    if (id == kNoBlock || id == kHiddenBlock)
        return id == kHiddenBlock;  // one not even readable to us is foreign
    const uid_t me = ::geteuid();
    return ds.shm_perm.uid != me || ds.shm_perm.cuid != me || (ds.shm_perm.mode & 077) != 0;
}

QByteArray UniqueApplicationPrivate::handshakeBody(const QString& blockServerName, ConnectionType type,
                                                   quint32 instanceNumber)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out.setByteOrder(QDataStream::BigEndian);
    out << blockServerName.toLatin1();
    out << static_cast<qint8>(type);
    out << static_cast<qint32>(instanceNumber);
    out << qChecksum(body.constData(), static_cast<uint>(body.size()), Qt::ChecksumIso3309);
    return body;
}

quint16 UniqueApplicationPrivate::blockChecksum(const InstanceBlock& block)
{
    return qChecksum(reinterpret_cast<const char*>(&block), offsetof(InstanceBlock, checksum),
                     Qt::ChecksumIso3309);
}

QString UniqueApplicationPrivate::userName()
{
    if (const passwd* pw = ::getpwuid(::geteuid())) {
        const QString name = QString::fromLocal8Bit(pw->pw_name);
        if (!name.isEmpty())
            return name;
    }
    return qEnvironmentVariable("USER");
}

void UniqueApplicationPrivate::addUserData(const QStringList& data)
{
    userData.append(data);
}

void UniqueApplicationPrivate::makeBlockServerName()
{
    blockServerName = makeBlockServerName(
        QCoreApplication::applicationName(), QCoreApplication::organizationName(),
        QCoreApplication::organizationDomain(), userData, QCoreApplication::applicationVersion(),
        QCoreApplication::applicationFilePath(), userName(), options);
}

void UniqueApplicationPrivate::resetBlock(InstanceBlock* block)
{
    block->hasPrimary = 0;
    block->secondaryCount = 0;
    block->primaryPid = -1;
    block->primaryUserName[0] = '\0';
    block->checksum = blockChecksum(*block);
}

QString UniqueApplicationPrivate::serverPath()
{
    const QString path = socketPath(blockServerName, ::geteuid());
    if (!path.isEmpty())
        return path;
    // A folder path too long for a socket address (a long home) is reached
    // through a descriptor of the folder, opened by each process itself.
    const QString directory = privateDirectory();
    if (directory.isEmpty())
        return QString();
    if (directoryFd < 0)
        directoryFd = ::open(QFile::encodeName(directory).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directoryFd < 0)
        return QString();
    const QString viaDescriptor = QStringLiteral("/proc/self/fd/%1/").arg(directoryFd) +
                                  sharedMemoryKey(blockServerName.left(22), ::geteuid());
    return QFile::encodeName(viaDescriptor).size() < int(sizeof(sockaddr_un::sun_path)) ? viaDescriptor : QString();
}

void UniqueApplicationPrivate::startPrimary(InstanceBlock* block)
{
    block->hasPrimary = 1;
    block->primaryPid = QCoreApplication::applicationPid();
    const QByteArray user = userName().toUtf8().left(127);
    std::memset(block->primaryUserName, 0, sizeof(block->primaryUserName));
    std::memcpy(block->primaryUserName, user.constData(), static_cast<size_t>(user.size()));
    block->checksum = blockChecksum(*block);
    instanceNumber = 0;

    const QString path = serverPath();
    server = new QLocalServer();
    if (path.isEmpty()) {
        qWarning() << "UniqueApplication: no private place for the local socket; later launches "
                      "cannot reach this one.";
        return;
    }
    QLocalServer::removeServer(path);
    // Only this user may connect, whatever the options: a socket open to
    // everyone would let any user wake this user's window.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path))
        qWarning() << "UniqueApplication: the local server does not listen:" << server->errorString();
    connect(server, &QLocalServer::newConnection, this,
            &UniqueApplicationPrivate::slotConnectionEstablished);
}

void UniqueApplicationPrivate::startSecondary(InstanceBlock* block)
{
    block->secondaryCount += 1;
    block->checksum = blockChecksum(*block);
    instanceNumber = block->secondaryCount;
}

bool UniqueApplicationPrivate::connectToPrimary(int timeout, ConnectionType type)
{
    QElapsedTimer timer;
    timer.start();
    if (!socket)
        socket = new QLocalSocket();
    if (socket->state() == QLocalSocket::ConnectedState)
        return true;

    const QString path = serverPath();
    if (path.isEmpty())
        return false;
    for (;;) {
        randomSleep();
        if (socket->state() != QLocalSocket::ConnectingState)
            socket->connectToServer(path, QIODevice::ReadWrite);
        if (socket->state() == QLocalSocket::ConnectingState)
            socket->waitForConnected(qMax(0, remaining(timeout, timer)));
        if (socket->state() == QLocalSocket::ConnectedState)
            break;
        if (timer.elapsed() >= timeout)
            return false;
    }
    return writeConfirmedMessage(remaining(timeout, timer),
                                 handshakeBody(blockServerName, type, instanceNumber));
}

bool UniqueApplicationPrivate::writeConfirmedMessage(int timeout, const QByteArray& body)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << static_cast<qint64>(body.size());
    if (!writeConfirmedFrame(remaining(timeout, timer), header))
        return false;
    return writeConfirmedFrame(remaining(timeout, timer), body);
}

bool UniqueApplicationPrivate::writeConfirmedFrame(int timeout, const QByteArray& bytes)
{
    // A limit already used up must not become "wait for ever".
    if (timeout <= 0)
        return false;
    socket->write(bytes);
    socket->flush();
    if (!socket->waitForReadyRead(timeout))
        return false;
    char ack;
    socket->read(&ack, 1);  // any byte confirms the frame
    return true;
}

bool UniqueApplicationPrivate::lockBlock()
{
    while (::flock(lockFile, LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

bool UniqueApplicationPrivate::unlockBlock()
{
    return ::flock(lockFile, LOCK_UN) == 0;
}

bool UniqueApplicationPrivate::openBlock(const QString& directory)
{
    const QString keyFile = blockKeyFile(directory, blockServerName, ::geteuid());
    // The key comes from only part of the key file's inode number, so a
    // block under it may belong to another key file (an inode used again
    // after a folder was removed, or a chance match). A key file made under
    // the lock just now has no block of its own yet: any block under its
    // key is another's, and a held one makes us take a new key file.
    bool fresh = makeKeyFile(keyFile);
    ReplacedKeyFiles replaced;
    bool warned = false;
    for (int attempt = 0; attempt < kKeyAttempts; ++attempt) {
        // Another user's block under our key (squatted, or a chance match
        // of the key) is never attached: its owner could write to it. Said
        // once: a squatter may hold many keys.
        if (blockIsForeign(keyFile)) {
            if (!std::exchange(warned, true))
                qWarning() << "UniqueApplication: another user's block holds the key; taking a new one.";
            renewKeyFile(keyFile, replaced);
            fresh = true;
            continue;
        }
        if (fresh && heldBlockExists(keyFile)) {
            renewKeyFile(keyFile, replaced);
            continue;
        }
        {
            // Attaching and detaching at once removes a block that no
            // process holds any more, such as one left by a killed primary.
            QSharedMemory probe;
            probe.setNativeKey(keyFile);
            probe.attach(QSharedMemory::ReadWrite);
        }

        delete memory;
        memory = new QSharedMemory();
        memory->setNativeKey(keyFile);
        bool created = memory->create(sizeof(InstanceBlock), QSharedMemory::ReadWrite);
        if (!created && memory->error() == QSharedMemory::AlreadyExists) {
            // A fresh object: a failed create leaves an error behind in the
            // memory's lock that would fail the attach as well.
            delete memory;
            memory = new QSharedMemory();
            memory->setNativeKey(keyFile);
            if (!memory->attach(QSharedMemory::ReadWrite) && !blockIsForeign(keyFile))
                return giveUpBlock("Unable to attach to shared memory block.");
        } else if (!created && !blockIsForeign(keyFile)) {
            // Out of resources, for one: another user can use up the
            // system's blocks.
            return giveUpBlock("Unable to create block.");
        }
        // Checked again now that it is attached: another user may have
        // made a block under the key between the check and the creation.
        if (blockIsForeign(keyFile)) {
            delete memory;
            memory = nullptr;
            renewKeyFile(keyFile, replaced);
            fresh = true;
            continue;
        }
        if (created)
            resetBlock(static_cast<InstanceBlock*>(memory->data()));
        return true;
    }
    return giveUpBlock("Unable to create block: every key tried is taken.");
}

bool UniqueApplicationPrivate::giveUpBlock(const char* what)
{
    if (memory)
        qWarning().nospace() << "UniqueApplication: " << what << " Running without the guard: "
                             << memory->error() << ' ' << memory->errorString();
    else
        qWarning().nospace() << "UniqueApplication: " << what << " Running without the guard.";
    delete memory;
    memory = nullptr;
    return false;
}

void UniqueApplicationPrivate::runUnguarded()
{
    if (lockFile >= 0)
        ::close(lockFile);  // releases the lock as well
    lockFile = -1;
    server = new QLocalServer();
}

void UniqueApplicationPrivate::abortStart()
{
    if (memory)
        qCritical() << "UniqueApplication: " << memory->error() << memory->errorString();
    else
        qCritical() << "UniqueApplication: " << std::strerror(errno);
    delete this;
    ::exit(1);
}

void UniqueApplicationPrivate::slotConnectionEstablished()
{
    QLocalSocket* peer = server->nextPendingConnection();
    if (!peer)
        return;
    connections.insert(peer, PeerState());

    connect(peer, &QLocalSocket::aboutToClose, this, [this, peer]() {
        slotClientConnectionClosed(peer, connections.value(peer).instanceId);
    });
    connect(peer, &QLocalSocket::disconnected, peer, &QLocalSocket::deleteLater);
    connect(peer, &QObject::destroyed, this, [this, peer]() { connections.remove(peer); });
    connect(peer, &QLocalSocket::readyRead, this, [this, peer]() {
        slotDataAvailable(peer, connections.value(peer).instanceId);
    });
}

void UniqueApplicationPrivate::slotDataAvailable(QLocalSocket* peer, quint32 /*instanceId*/)
{
    processStep(peer);
}

void UniqueApplicationPrivate::slotClientConnectionClosed(QLocalSocket* peer, quint32 /*instanceId*/)
{
    // Serve what the peer completed before it went away. Bytes of a frame
    // that never became whole, or that came before an accepted handshake,
    // are not a message and are dropped with the connection.
    if (peer->bytesAvailable() > 0)
        while (connections.contains(peer) && processStep(peer)) {
        }
}

bool UniqueApplicationPrivate::processStep(QLocalSocket* peer)
{
    auto it = connections.find(peer);
    if (it == connections.end())
        return false;
    PeerState& state = it.value();

    switch (state.stage) {
    case AwaitInitHeader:
    case AwaitMessageHeader: {
        if (peer->bytesAvailable() < static_cast<qint64>(sizeof(qint64)))
            return false;
        QDataStream in(peer);
        in.setVersion(kStreamVersion);
        qint64 length = 0;
        in >> length;
        const bool init = state.stage == AwaitInitHeader;
        const qint64 limit = init ? kMaxHandshakeLength : kMaxMessageLength;
        if (length < 0 || length > limit) {
            dropConnection(peer, "frame length out of range");
            return false;
        }
        state.pendingLength = length;
        state.stage = init ? AwaitInitBody : AwaitMessageBody;
        peer->write("\n", 1);
        return true;
    }
    case AwaitInitBody: {
        if (peer->bytesAvailable() < state.pendingLength)
            return false;
        const QByteArray body = peer->read(state.pendingLength);
        QDataStream in(body);
        in.setVersion(kStreamVersion);
        QByteArray name;
        qint8 type = 0;
        qint32 instanceId = 0;
        quint16 checksum = 0;
        in >> name >> type >> instanceId >> checksum;
        if (in.status() != QDataStream::Ok || name != blockServerName.toLatin1() ||
            checksum != qChecksum(body.constData(), static_cast<uint>(body.size() - 2),
                                  Qt::ChecksumIso3309)) {
            dropConnection(peer, "bad handshake");
            return false;
        }
        state.instanceId = static_cast<quint32>(instanceId);
        state.stage = AwaitMessageHeader;
        if (type == NewLaunch ||
            (type == SecondaryLaunch && options.testFlag(UniqueApplication::NotifyOnSecondary)))
            emit q_ptr->instanceStarted();
        // The slot may have run a nested event loop; the peer may be gone.
        if (connections.contains(peer))
            peer->write("\n", 1);
        return true;
    }
    case AwaitMessageBody: {
        if (peer->bytesAvailable() < state.pendingLength)
            return false;
        const QByteArray message = peer->read(state.pendingLength);
        const quint32 id = state.instanceId;
        state.stage = AwaitMessageHeader;
        emit q_ptr->receivedMessage(id, message);
        if (connections.contains(peer))
            peer->write("\n", 1);
        return true;
    }
    }
    return false;
}

void UniqueApplicationPrivate::dropConnection(QLocalSocket* peer, const char* reason)
{
    qDebug() << "UniqueApplication: closing a connection:" << reason;
    connections.remove(peer);
    peer->disconnect(this);
    peer->abort();
    peer->deleteLater();
}

// ---------------------------------------------------------------------------
// Public part

UniqueApplication::UniqueApplication(int& argc, char** argv, bool allowSecondary,
                                     QFlags<UniqueApplication::Mode> options, int timeout,
                                     const QString& userData)
    : QApplication(argc, argv), d_ptr(new UniqueApplicationPrivate(this))
{
    UniqueApplicationPrivate* d = d_ptr;
    d->options = options;
    if (!userData.isEmpty())
        d->addUserData(QStringList(userData));
    d->makeBlockServerName();

    randomSleep();

    // Every name lies in a folder that only this user may enter, so no
    // other user can take the names first, hold the lock or listen in.
    const QString directory = UniqueApplicationPrivate::privateDirectory();
    // Better two copies than none: without a folder, a lock or a block of
    // its own (another user may use up the system's blocks) the program
    // runs without the guard.
    if (directory.isEmpty()) {
        d->runUnguarded();
        return;
    }
    const QByteArray lockPath = QFile::encodeName(
        directory + QLatin1Char('/') +
        UniqueApplicationPrivate::sharedMemoryKey(d->blockServerName, ::geteuid()) + QStringLiteral(".lock"));
    d->lockFile = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (d->lockFile < 0 || !d->lockBlock()) {
        const int error = errno;
        qWarning() << "UniqueApplication: Unable to lock the guard's lock file" << lockPath
                   << std::strerror(error) << "- running without the guard.";
        d->runUnguarded();
        return;
    }
    if (!d->openBlock(directory)) {
        d->runUnguarded();
        return;
    }

    auto* block = static_cast<InstanceBlock*>(d->memory->data());
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (block->checksum == UniqueApplicationPrivate::blockChecksum(*block))
            break;
        if (timer.elapsed() >= kConsistencyLimitMs) {
            qWarning() << "UniqueApplication: Shared memory block has been in an inconsistent state "
                          "from more than 5s. Assuming primary instance failure.";
            d->resetBlock(block);
        }
        if (!d->unlockBlock()) {
            qDebug() << "UniqueApplication: Unable to unlock memory for random wait.";
            qDebug() << std::strerror(errno);
        }
        randomSleep();
        if (!d->lockBlock()) {
            qCritical() << "UniqueApplication: Unable to lock memory after random wait.";
            d->abortStart();
        }
    }

    if (block->hasPrimary == 0) {
        d->startPrimary(block);
        if (!d->unlockBlock()) {
            qDebug() << "UniqueApplication: Unable to unlock memory after primary start.";
            qDebug() << std::strerror(errno);
        }
        return;
    }

    if (allowSecondary) {
        d->startSecondary(block);
        if (options.testFlag(NotifyOnSecondary))
            d->connectToPrimary(timeout, UniqueApplicationPrivate::SecondaryLaunch);
        if (!d->unlockBlock()) {
            qDebug() << "UniqueApplication: Unable to unlock memory after secondary start.";
            qDebug() << std::strerror(errno);
        }
        return;
    }

    if (!d->unlockBlock()) {
        qDebug() << "UniqueApplication: Unable to unlock memory at end of execution.";
        qDebug() << std::strerror(errno);
    }
    d->connectToPrimary(timeout, UniqueApplicationPrivate::NewLaunch);
    delete d;
    d_ptr = nullptr;
    ::exit(EXIT_SUCCESS);
}

UniqueApplication::~UniqueApplication()
{
    delete d_ptr;
}

bool UniqueApplication::isPrimary() const
{
    return d_ptr->server != nullptr;
}

bool UniqueApplication::isSecondary() const
{
    return d_ptr->server == nullptr;
}

quint32 UniqueApplication::instanceId() const
{
    return d_ptr->instanceNumber;
}

qint64 UniqueApplication::primaryPid() const
{
    if (!d_ptr->memory)
        return -1;
    d_ptr->lockBlock();
    const qint64 pid = static_cast<const InstanceBlock*>(d_ptr->memory->constData())->primaryPid;
    d_ptr->unlockBlock();
    return pid;
}

QString UniqueApplication::primaryUser() const
{
    if (!d_ptr->memory)
        return QString();
    d_ptr->lockBlock();
    const auto* block = static_cast<const InstanceBlock*>(d_ptr->memory->constData());
    const QByteArray name(block->primaryUserName,
                          static_cast<int>(qstrnlen(block->primaryUserName, sizeof(block->primaryUserName))));
    d_ptr->unlockBlock();
    return QString::fromUtf8(name);
}

QString UniqueApplication::currentUser() const
{
    return UniqueApplicationPrivate::userName();
}

QStringList UniqueApplication::userData() const
{
    return d_ptr->userData;
}

bool UniqueApplication::sendMessage(const QByteArray& message, int timeout)
{
    if (isPrimary())
        return false;
    QElapsedTimer timer;
    timer.start();
    if (!d_ptr->connectToPrimary(timeout, UniqueApplicationPrivate::MessageConnection))
        return false;
    return d_ptr->writeConfirmedMessage(remaining(timeout, timer), message);
}
