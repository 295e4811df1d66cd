#pragma once
// Private part of the single-instance guard: the shared block, the local
// server of the primary, the client socket of a later launch and the
// per-connection handshake state.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "app/uniqueapplication/uniqueapplication.h"

class QLocalServer;
class QLocalSocket;
class QSharedMemory;

// The shared block, native byte order, 152 bytes.
struct InstanceBlock
{
    quint8 hasPrimary;
    quint8 padding1[3];
    quint32 secondaryCount;
    qint64 primaryPid;
    char primaryUserName[128];
    quint16 checksum;
    quint8 padding2[6];
};
static_assert(sizeof(InstanceBlock) == 152, "InstanceBlock must be 152 bytes");

class UniqueApplicationPrivate : public QObject
{
    Q_OBJECT
public:
    enum ConnectionType : quint8 { NewLaunch = 1, SecondaryLaunch = 2, MessageConnection = 3 };
    enum ConnectionStage : quint8 {
        AwaitInitHeader = 0,
        AwaitInitBody = 1,
        AwaitMessageHeader = 2,
        AwaitMessageBody = 3
    };

    struct PeerState
    {
        qint64 pendingLength = 0;
        quint32 instanceId = 0;
        ConnectionStage stage = AwaitInitHeader;
    };

    // Longest body a peer may announce, per stage. Anything negative or
    // larger closes the connection: the length comes from another process.
    static constexpr qint64 kMaxHandshakeLength = 4096;
    static constexpr qint64 kMaxMessageLength = 1024 * 1024;

    explicit UniqueApplicationPrivate(UniqueApplication* q);
    ~UniqueApplicationPrivate() override;

    // Pure helpers, also used by the tests.
    static QString makeBlockServerName(const QString& appName, const QString& orgName,
                                       const QString& orgDomain, const QStringList& userData,
                                       const QString& version, const QString& appPath,
                                       const QString& userName, UniqueApplication::Options options);
    // Base of the platform names: the name plus the user id, so that users
    // never share (or fight over) one block.
    static QString sharedMemoryKey(const QString& blockServerName, uint uid);
    // The folder of the block's key file, its lock file and the local
    // socket, which no other user may enter: one of this host in the
    // program's data folder, the same whatever XDG_RUNTIME_DIR, TMPDIR or
    // XDG_CACHE_HOME say, so that every launch that shares the data finds
    // the others. Empty when there is none; the guard then stays out of the
    // way.
    static QString privateDirectory();
    // Name of the folder in the data folder: one per host, as machines may
    // share a home.
    static QString hostFolderName();
    // Empty when there is no private folder or the path is too long for a
    // local socket: a plain name would land in the shared temporary folder.
    static QString socketPath(const QString& blockServerName, uint uid);
    // Where this process binds or connects the local socket: socketPath, or
    // when that is too long, the same file reached through a descriptor of
    // the folder. Empty when there is none.
    QString serverPath();
    // The file whose identity (ftok) names the shared block.
    static QString blockKeyFile(const QString& directory, const QString& blockServerName, uint uid);
    // True when a block exists under the key of that file and belongs to
    // another user or is open to others: it is never used.
    static bool blockIsForeign(const QString& keyFile);
    static QByteArray handshakeBody(const QString& blockServerName, ConnectionType type,
                                    quint32 instanceNumber);
    static quint16 blockChecksum(const InstanceBlock& block);
    static QString userName();

    void addUserData(const QStringList& data);
    void makeBlockServerName();
    void resetBlock(InstanceBlock* block);
    void startPrimary(InstanceBlock* block);
    void startSecondary(InstanceBlock* block);
    bool connectToPrimary(int timeout, ConnectionType type);
    bool writeConfirmedMessage(int timeout, const QByteArray& body);
    bool writeConfirmedFrame(int timeout, const QByteArray& bytes);
    // Attaches or creates this user's block; false, with one warning, when
    // there is none to be had (the guard then stays out of the way).
    bool openBlock(const QString& directory);
    // Logs why there is no block, drops the memory object; returns false.
    bool giveUpBlock(const char* what);
    // Leaves the lock and makes this launch a primary without a block:
    // better two copies than none.
    void runUnguarded();
    bool lockBlock();
    bool unlockBlock();
    [[noreturn]] void abortStart();

    UniqueApplication* q_ptr;
    QSharedMemory* memory = nullptr;
    QLocalSocket* socket = nullptr;
    QLocalServer* server = nullptr;
    quint32 instanceNumber = 0;
    QString blockServerName;
    UniqueApplication::Options options;
    QHash<QLocalSocket*, PeerState> connections;
    QStringList userData;
    // The block's lock: an exclusive flock on a file of the private folder,
    // which no other user can open, hold or remove.
    int lockFile = -1;
    // The private folder, for a socket path too long to name it directly.
    int directoryFd = -1;

public slots:
    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket* peer, quint32 instanceId);
    void slotClientConnectionClosed(QLocalSocket* peer, quint32 instanceId);

private:
    // One step of a connection's stage machine; false when nothing could
    // be done with the bytes at hand or the connection was dropped.
    bool processStep(QLocalSocket* peer);
    void dropConnection(QLocalSocket* peer, const char* reason);
};
