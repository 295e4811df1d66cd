// The single-instance guard with real processes: the helper program is a
// minimal application on UniqueApplication that reports what it is and
// which signals it received.

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSharedMemory>
#include <QStandardPaths>
#include <QtTest>

#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "app/uniqueapplication/uniqueapplication_p.h"
#include "tests/support/otheruser.h"
#include "tests/support/reachablecopy.h"
#include "tests/support/trivialmodel.h"

namespace {

// One helper process and the lines it printed.
class Helper
{
public:
    explicit Helper(const QStringList& args = {})
    {
        process.setProgram(QStringLiteral(UNIQUE_HELPER));
        process.setArguments(args);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Helper()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
    void start() { process.start(); }
    // Runs program (a copy of the helper that the user can reach) as
    // another user (numeric id, no groups) with only the given environment.
    void runAs(uint uid, const QProcessEnvironment& env, const QString& program)
    {
        const QString id = QString::number(uid);
        QStringList args{"--reuid=" + id, "--regid=" + id, "--clear-groups", "--", program};
        args += process.arguments();
        process.setProgram(QStringLiteral("setpriv"));
        process.setArguments(args);
        process.setProcessEnvironment(env);
    }

    QStringList lines()
    {
        buffer += process.readAllStandardOutput();
        return QString::fromLocal8Bit(buffer).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString line(const QString& prefix)
    {
        for (const QString& l : lines())
            if (l.startsWith(prefix + QLatin1Char(' ')) || l == prefix)
                return l.mid(prefix.size() + 1);
        return QString();
    }
    int count(const QString& prefix)
    {
        int n = 0;
        for (const QString& l : lines())
            if (l == prefix || l.startsWith(prefix + QLatin1Char(' ')))
                ++n;
        return n;
    }
    bool waitFor(const QString& prefix, int ms = 15000)
    {
        QElapsedTimer t;
        t.start();
        while (count(prefix) == 0) {
            if (t.elapsed() > ms || process.state() == QProcess::NotRunning)
                return count(prefix) > 0;
            process.waitForReadyRead(50);
        }
        return true;
    }
    // Keeps reading for a while so late lines are counted too.
    void settle(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            process.waitForReadyRead(20);
    }
    bool quit()
    {
        process.write("quit\n");
        process.closeWriteChannel();
        return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    QProcess process;

private:
    QByteArray buffer;
};

// Connects a client of the test's own to the primary's socket.
bool connectToPrimary(QLocalSocket& socket, Helper& primary)
{
    socket.connectToServer(primary.line("socket"));
    return socket.waitForConnected(2000);
}

QByteArray frameHeader(qint64 length)
{
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_6);
    out << length;
    return header;
}

// Writes bytes and waits for the one-byte acknowledgement.
bool sendFrame(QLocalSocket& socket, const QByteArray& bytes)
{
    socket.write(bytes);
    socket.flush();
    if (!socket.waitForReadyRead(2000))
        return false;
    return socket.read(1) == "\n";
}

// A complete handshake of a connection made to send messages.
bool sendMessageHandshake(QLocalSocket& socket, const QString& name, quint32 id)
{
    const QByteArray body =
        UniqueApplicationPrivate::handshakeBody(name, UniqueApplicationPrivate::MessageConnection, id);
    return sendFrame(socket, frameHeader(body.size())) && sendFrame(socket, body);
}

// True when the primary closes the connection within two seconds.
bool closedByPeer(QLocalSocket& socket)
{
    if (socket.state() == QLocalSocket::UnconnectedState)
        return true;
    return socket.waitForDisconnected(2000);
}

// A temporary folder shared by everyone, as /tmp is, a home of the guarded
// user's, that user's environment in them (no XDG_RUNTIME_DIR) and a copy
// of the helper that the test users can run.
struct GuardedUser
{
    explicit GuardedUser(uid_t uid) : uid(uid)
    {
        helper = programs.addProgram(QStringLiteral(UNIQUE_HELPER));
        const QByteArray sharedPath = QFile::encodeName(shared.path());
        const QByteArray homePath = QFile::encodeName(home.path());
        ready = shared.isValid() && home.isValid() && ::chmod(sharedPath.constData(), 01777) == 0 &&
                ::chown(homePath.constData(), uid, uid) == 0 && ::chmod(homePath.constData(), 0755) == 0;
        env.insert("PATH", qEnvironmentVariable("PATH"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TMPDIR", shared.path());
        env.insert("HOME", home.path());
        env.insert("USER", "guarded");
    }

    // Empty when both test users can run the helper's copy; else why not.
    QString unreachable() { return programs.unreachableBy(uid) + programs.unreachableBy(kOtherTestUser); }

    // The guard's folder in the helper's data folder, made as the user's
    // own, private: its path.
    QString makeGuardFolder()
    {
        QString path = home.path();
        const QStringList levels{".local", "share", QFileInfo(helper).fileName(),
                                 UniqueApplicationPrivate::hostFolderName()};
        for (const QString& level : levels) {
            path += QLatin1Char('/') + level;
            const QByteArray encoded = QFile::encodeName(path);
            if (!QDir().mkpath(path) || ::chown(encoded.constData(), uid, uid) != 0 ||
                ::chmod(encoded.constData(), 0700) != 0)
                return QString();
        }
        return path;
    }

    uid_t uid;
    ReachableCopy programs;
    QString helper;
    QTemporaryDir shared{QStringLiteral("/tmp/lumora-guard-XXXXXX")};
    // Short enough for the guard's socket path to fit a socket address.
    QTemporaryDir home{QStringLiteral("/tmp/lumora-gh-XXXXXX")};
    QProcessEnvironment env;
    bool ready = false;
};

// The calling thread, and every process it starts, in a System V IPC
// namespace of their own while this lives: what a test does to the blocks
// there meets no other test, and goes with the namespace. Needs root.
class PrivateIpcNamespace
{
public:
    PrivateIpcNamespace() : m_previous(::open("/proc/thread-self/ns/ipc", O_RDONLY | O_CLOEXEC))
    {
        m_entered = m_previous >= 0 && ::unshare(CLONE_NEWIPC) == 0;
    }
    ~PrivateIpcNamespace()
    {
        if (m_entered)
            ::setns(m_previous, CLONE_NEWIPC);
        if (m_previous >= 0)
            ::close(m_previous);
    }
    PrivateIpcNamespace(const PrivateIpcNamespace&) = delete;
    PrivateIpcNamespace& operator=(const PrivateIpcNamespace&) = delete;
    bool entered() const { return m_entered; }

private:
    int m_previous;
    bool m_entered = false;
};

}  // namespace

class TestUniqueApplication : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checksumIsX25();
    void blockServerNameFollowsOptions();
    void secondLaunchWakesPrimaryOnce();
    void simultaneousLaunchesGiveOnePrimary();
    void killedPrimaryIsReplaced();
    void cleanQuitFreesTheBlock();
    void copiesAtOtherPathsDoNotMeet();
    void socketIsPrivate();
    void inconsistentBlockIsResetAfterFiveSeconds();
    void badClientsAreDropped_data();
    void badClientsAreDropped();
    void messagesNeedHandshakeAndWholeFrames();
    void secondarySendsMessage();
    void launchesOfOneUserMeetWhateverTheirFolders_data();
    void launchesOfOneUserMeetWhateverTheirFolders();
    void anotherUserCannotStopOrReachIt();
    void usedUpBlocksDoNotStopIt();
    void everyKeyTakenDoesNotStopIt();
};

void TestUniqueApplication::initTestCase()
{
    // The guard's folder as the helper finds it: in its data folder.
    QCoreApplication::setApplicationName(QFileInfo(QStringLiteral(UNIQUE_HELPER)).fileName());
}

void TestUniqueApplication::checksumIsX25()
{
    // The published check value of CRC-16/X-25 (ISO 3309).
    QCOMPARE(qChecksum("123456789", 9, Qt::ChecksumIso3309), quint16(0x906E));

    // The block checksum covers the first 144 bytes only.
    InstanceBlock block;
    std::memset(&block, 0, sizeof(block));
    block.primaryPid = -1;
    const quint16 before = UniqueApplicationPrivate::blockChecksum(block);
    block.padding2[0] = 0x55;
    QCOMPARE(UniqueApplicationPrivate::blockChecksum(block), before);
    block.primaryUserName[127] = 'x';
    QVERIFY(UniqueApplicationPrivate::blockChecksum(block) != before);

    // Handshake body: name, type, instance number, CRC of all before it.
    const QByteArray body =
        UniqueApplicationPrivate::handshakeBody(QStringLiteral("abc"), UniqueApplicationPrivate::NewLaunch, 7);
    QCOMPARE(body.size(), 4 + 3 + 1 + 4 + 2);
    QCOMPARE(body.left(7), QByteArray("\0\0\0\3abc", 7));
    QCOMPARE(body.mid(7, 5), QByteArray("\1\0\0\0\7", 5));
    const quint16 crc = qChecksum(body.constData(), 12, Qt::ChecksumIso3309);
    QCOMPARE(quint8(body.at(12)), quint8(crc >> 8));
    QCOMPARE(quint8(body.at(13)), quint8(crc & 0xff));
}

void TestUniqueApplication::blockServerNameFollowsOptions()
{
    using P = UniqueApplicationPrivate;
    const UniqueApplication::Options none;
    const QString base = P::makeBlockServerName("app", "org", "dom", {}, "1.0", "/bin/app", "ann", none);
    QCOMPARE(base.size(), 44);
    QVERIFY(!base.contains(QLatin1Char('/')));
    QCOMPARE(P::makeBlockServerName("app", "org", "dom", {}, "1.0", "/bin/app", "bob", none), base);
    QVERIFY(P::makeBlockServerName("app", "org", "dom", {}, "2.0", "/bin/app", "ann", none) != base);
    QVERIFY(P::makeBlockServerName("app", "org", "dom", {}, "1.0", "/opt/app", "ann", none) != base);
    QVERIFY(P::makeBlockServerName("app", "org", "dom", {"x"}, "1.0", "/bin/app", "ann", none) != base);

    const QString perUser =
        P::makeBlockServerName("app", "org", "dom", {}, "1.0", "/bin/app", "ann", UniqueApplication::PerUser);
    QVERIFY(perUser != base);
    QVERIFY(P::makeBlockServerName("app", "org", "dom", {}, "1.0", "/bin/app", "bob",
                                   UniqueApplication::PerUser) != perUser);
    const UniqueApplication::Options ignore =
        UniqueApplication::IgnoreVersion | UniqueApplication::IgnoreAppPath;
    QCOMPARE(P::makeBlockServerName("app", "org", "dom", {}, "1.0", "/bin/app", "ann", ignore),
             P::makeBlockServerName("app", "org", "dom", {}, "9.9", "/usr/app", "ann", ignore));

    // The platform names always differ between users.
    QVERIFY(P::sharedMemoryKey(base, 1000) != P::sharedMemoryKey(base, 1001));
    QVERIFY(P::socketPath(base, 1000) != P::socketPath(base, 1001));
}

void TestUniqueApplication::secondLaunchWakesPrimaryOnce()
{
    Helper primary;
    primary.start();
    QVERIFY(primary.waitFor("primary"));
    QCOMPARE(primary.line("primary").section(' ', 0, 0).toLongLong(), qint64(primary.process.processId()));

    Helper second;
    QElapsedTimer timer;
    timer.start();
    second.start();
    QVERIFY(second.process.waitForFinished(15000));
    const qint64 took = timer.elapsed();
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY2(took < 1500, qPrintable(QString::number(took)));
    QCOMPARE(second.count("primary"), 0);

    QVERIFY(primary.waitFor("started"));
    primary.settle(300);
    QCOMPARE(primary.count("started"), 1);
    QVERIFY(primary.quit());
}

void TestUniqueApplication::simultaneousLaunchesGiveOnePrimary()
{
    // A generous handshake limit: on a loaded machine the four processes
    // start slowly, and a launch that gives up would not be counted.
    std::vector<std::unique_ptr<Helper>> helpers;
    for (int i = 0; i < 4; ++i)
        helpers.emplace_back(new Helper({"--timeout", "5000"}));
    for (auto& h : helpers)
        h->start();

    // Three of them end with status 0; the fourth stays as the primary.
    QElapsedTimer timer;
    timer.start();
    Helper* primary = nullptr;
    int ended = 0;
    while (timer.elapsed() < 30000 && ended < 3) {
        ended = 0;
        for (auto& h : helpers) {
            h->process.waitForFinished(20);
            if (h->process.state() == QProcess::NotRunning) {
                QCOMPARE(h->process.exitStatus(), QProcess::NormalExit);
                QCOMPARE(h->process.exitCode(), 0);
                QCOMPARE(h->count("primary"), 0);
                ++ended;
            }
        }
    }
    QCOMPARE(ended, 3);
    for (auto& h : helpers)
        if (h->process.state() != QProcess::NotRunning)
            primary = h.get();
    QVERIFY(primary);
    QVERIFY(primary->waitFor("primary"));
    primary->settle(300);
    QCOMPARE(primary->count("started"), 3);
    QVERIFY(primary->quit());
}

void TestUniqueApplication::killedPrimaryIsReplaced()
{
    {
        Helper primary;
        primary.start();
        QVERIFY(primary.waitFor("primary"));
        ::kill(static_cast<pid_t>(primary.process.processId()), SIGKILL);
        QVERIFY(primary.process.waitForFinished(15000));
    }
    Helper next;
    next.start();
    QVERIFY(next.waitFor("primary"));
    QCOMPARE(next.line("primary").section(' ', 0, 0).toLongLong(), qint64(next.process.processId()));

    Helper third;
    third.start();
    QVERIFY(third.process.waitForFinished(15000));
    QCOMPARE(third.process.exitCode(), 0);
    QVERIFY(next.waitFor("started"));
    QVERIFY(next.quit());
}

void TestUniqueApplication::cleanQuitFreesTheBlock()
{
    {
        Helper primary({"--allow-secondary"});
        primary.start();
        QVERIFY(primary.waitFor("primary"));
        const QString user = primary.line("primary").section(' ', 1);
        QVERIFY(!user.isEmpty());

        // An allowed secondary reads the primary's record from the block.
        Helper secondary({"--allow-secondary"});
        secondary.start();
        QVERIFY(secondary.process.waitForFinished(15000));
        QCOMPARE(secondary.process.exitCode(), 0);
        QCOMPARE(secondary.line("secondary"),
                 QStringLiteral("1 %1 %2").arg(primary.process.processId()).arg(user));
        QVERIFY(primary.waitFor("started"));
        QVERIFY(primary.quit());
    }
    Helper next;
    next.start();
    QVERIFY(next.waitFor("primary"));
    QVERIFY(next.quit());
}

void TestUniqueApplication::copiesAtOtherPathsDoNotMeet()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("uniqueapplication_helper"));
    QVERIFY(QFile::copy(QStringLiteral(UNIQUE_HELPER), copy));
    QVERIFY(QFile::setPermissions(copy, QFile::permissions(QStringLiteral(UNIQUE_HELPER))));

    Helper original;
    original.start();
    QVERIFY(original.waitFor("primary"));
    Helper other;
    other.process.setProgram(copy);
    other.start();
    QVERIFY(other.waitFor("primary"));
    QVERIFY(other.line("name") != original.line("name"));
    QVERIFY(other.quit());
    QVERIFY(original.quit());
    QCOMPARE(original.count("started"), 0);
}

void TestUniqueApplication::socketIsPrivate()
{
    Helper primary;
    primary.start();
    QVERIFY(primary.waitFor("socket"));
    const QString path = primary.line("socket");
    QVERIFY(primary.waitFor("primary"));
    const QString dir = UniqueApplicationPrivate::privateDirectory();
    QCOMPARE(QFileInfo(path).absolutePath(), dir);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QVERIFY(S_ISSOCK(st.st_mode));
    QCOMPARE(int(st.st_mode & 077), 0);
    QVERIFY(primary.quit());

    // The folder, opened up by someone, is made private again.
    QCOMPARE(::stat(QFile::encodeName(dir).constData(), &st), 0);
    QCOMPARE(st.st_uid, ::geteuid());
    QCOMPARE(int(st.st_mode & 077), 0);
    QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0755) == 0);
    QCOMPARE(UniqueApplicationPrivate::privateDirectory(), dir);
    QCOMPARE(::stat(QFile::encodeName(dir).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 077), 0);
}

void TestUniqueApplication::inconsistentBlockIsResetAfterFiveSeconds()
{
    QString name;
    {
        Helper first;
        first.start();
        QVERIFY(first.waitFor("primary"));
        name = first.line("name");
        QVERIFY(first.quit());
    }
    // A block whose checksum never matches, as a primary that died while
    // writing it would leave; this process keeps it alive.
    QSharedMemory broken;
    broken.setNativeKey(UniqueApplicationPrivate::blockKeyFile(UniqueApplicationPrivate::privateDirectory(),
                                                                name, ::geteuid()));
    QVERIFY2(broken.create(sizeof(InstanceBlock)), qPrintable(broken.errorString()));
    std::memset(broken.data(), 0xAB, sizeof(InstanceBlock));

    Helper next;
    next.process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    next.start();
    QVERIFY(next.waitFor("primary", 10000));
    QVERIFY2(timer.elapsed() >= 5000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(next.lines().filter("Assuming primary instance failure.").size(), 1);
    const auto* block = static_cast<const InstanceBlock*>(broken.constData());
    QCOMPARE(block->hasPrimary, quint8(1));
    QCOMPARE(block->secondaryCount, quint32(0));
    QCOMPARE(block->primaryPid, qint64(next.process.processId()));
    QCOMPARE(block->checksum, UniqueApplicationPrivate::blockChecksum(*block));
    QVERIFY(next.quit());
}

void TestUniqueApplication::badClientsAreDropped_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("garbage") << 0;
    QTest::newRow("wrong checksum") << 1;
    QTest::newRow("huge length") << 2;
    QTest::newRow("negative length") << 3;
    QTest::newRow("other program") << 4;
    QTest::newRow("unfinished handshake") << 5;
}

void TestUniqueApplication::badClientsAreDropped()
{
    QFETCH(int, kind);
    Helper primary;
    primary.start();
    QVERIFY(primary.waitFor("primary"));
    const QString name = primary.line("name");
    QLocalSocket raw;
    QVERIFY(connectToPrimary(raw, primary));

    QByteArray body = UniqueApplicationPrivate::handshakeBody(name, UniqueApplicationPrivate::NewLaunch, 0);
    switch (kind) {
    case 0:
    {
        static const char garbage[] = "\xff\x13garbage that is not a frame at all\x00\x01";
        raw.write(garbage, sizeof(garbage) - 1);
    }
        raw.flush();
        QVERIFY(closedByPeer(raw));
        break;
    case 1:
        body[body.size() - 1] = char(body.at(body.size() - 1) ^ 0x01);
        QVERIFY(sendFrame(raw, frameHeader(body.size())));
        raw.write(body);
        raw.flush();
        QVERIFY(closedByPeer(raw));
        break;
    case 2:
        raw.write(frameHeader(Q_INT64_C(1) << 40));
        raw.flush();
        QVERIFY(closedByPeer(raw));
        break;
    case 3:
        raw.write(frameHeader(-5));
        raw.flush();
        QVERIFY(closedByPeer(raw));
        break;
    case 4: {
        const QByteArray other =
            UniqueApplicationPrivate::handshakeBody(QStringLiteral("another program"),
                                                    UniqueApplicationPrivate::NewLaunch, 0);
        QVERIFY(sendFrame(raw, frameHeader(other.size())));
        raw.write(other);
        raw.flush();
        QVERIFY(closedByPeer(raw));
        break;
    }
    case 5:
        // Half a handshake, then the client goes away.
        QVERIFY(sendFrame(raw, frameHeader(body.size())));
        raw.write(body.left(body.size() / 2));
        raw.flush();
        raw.disconnectFromServer();
        break;
    }

    // The primary is still responsive: a real launch wakes it exactly once.
    Helper second;
    second.start();
    QVERIFY(second.process.waitForFinished(15000));
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY(primary.waitFor("started"));
    primary.settle(200);
    QCOMPARE(primary.count("started"), 1);
    QCOMPARE(primary.count("message"), 0);
    QVERIFY(primary.quit());
}

void TestUniqueApplication::messagesNeedHandshakeAndWholeFrames()
{
    Helper primary;
    primary.start();
    QVERIFY(primary.waitFor("primary"));
    const QString name = primary.line("name");

    // Bytes sent in place of a handshake are never delivered as a message.
    {
        QLocalSocket raw;
        QVERIFY(connectToPrimary(raw, primary));
        QVERIFY(sendFrame(raw, frameHeader(100)));
        raw.write(QByteArray(20, 'x'));
        raw.flush();
        raw.disconnectFromServer();
    }
    // An unfinished message frame is dropped with its connection.
    {
        QLocalSocket raw;
        QVERIFY(connectToPrimary(raw, primary));
        QVERIFY(sendMessageHandshake(raw, name, 9));
        QVERIFY(sendFrame(raw, frameHeader(10)));
        raw.write("12345");
        raw.flush();
        raw.disconnectFromServer();
    }
    // A whole message after a handshake arrives, with the sender's id.
    {
        QLocalSocket raw;
        QVERIFY(connectToPrimary(raw, primary));
        QVERIFY(sendMessageHandshake(raw, name, 9));
        QVERIFY(sendFrame(raw, frameHeader(5)));
        QVERIFY(sendFrame(raw, "hello"));
        QVERIFY(sendFrame(raw, frameHeader(2)));
        QVERIFY(sendFrame(raw, "ok"));
    }
    QVERIFY(primary.waitFor("message"));
    primary.settle(300);
    const QStringList messages = primary.lines().filter(QRegularExpression("^message "));
    QCOMPARE(messages, QStringList({"message 9 " + QByteArray("hello").toHex(), "message 9 " + QByteArray("ok").toHex()}));
    QCOMPARE(primary.count("started"), 0);
    QVERIFY(primary.quit());
}

void TestUniqueApplication::secondarySendsMessage()
{
    Helper primary({"--allow-secondary"});
    primary.start();
    QVERIFY(primary.waitFor("primary"));

    Helper secondary({"--allow-secondary", "--send", "wake up"});
    secondary.start();
    QVERIFY(secondary.process.waitForFinished(15000));
    QCOMPARE(secondary.line("sent"), QStringLiteral("1"));
    QVERIFY(secondary.line("secondary").startsWith(QLatin1String("1 ")));
    QVERIFY(primary.waitFor("message"));
    QCOMPARE(primary.line("message"), QStringLiteral("1 ") + QByteArray("wake up").toHex());
    QCOMPARE(primary.count("started"), 1);
    QVERIFY(primary.quit());
}

void TestUniqueApplication::launchesOfOneUserMeetWhateverTheirFolders_data()
{
    // Each launch's XDG_RUNTIME_DIR: the test's, none, or a private one of
    // its own; and whether the second has a temporary folder of its own.
    QTest::addColumn<QString>("firstRuntime");
    QTest::addColumn<QString>("secondRuntime");
    QTest::addColumn<bool>("ownTemporary");
    // Both with a data folder too long to name the socket in an address.
    QTest::addColumn<bool>("longData");
    // The cache folder: the test's, removed while the first runs (as by a
    // cache cleaner), or another one for the second.
    QTest::addColumn<QString>("cache");
    QTest::newRow("with, then without XDG_RUNTIME_DIR") << "test" << "none" << false << false << "same";
    QTest::newRow("without, then with XDG_RUNTIME_DIR") << "none" << "test" << false << false << "same";
    QTest::newRow("other XDG_RUNTIME_DIR and TMPDIR") << "test" << "own" << true << false << "same";
    QTest::newRow("other TMPDIR") << "none" << "none" << true << false << "same";
    QTest::newRow("long data folder") << "test" << "none" << false << true << "same";
    QTest::newRow("cache folder removed") << "test" << "test" << false << false << "removed";
    QTest::newRow("other XDG_CACHE_HOME") << "test" << "test" << false << false << "other";
}

// The real program, launched twice by one user with different runtime and
// temporary folders: one primary, which the second launch wakes.
void TestUniqueApplication::launchesOfOneUserMeetWhateverTheirFolders()
{
    QFETCH(QString, firstRuntime);
    QFETCH(QString, secondRuntime);
    QFETCH(bool, ownTemporary);
    QFETCH(bool, longData);
    QFETCH(QString, cache);
    QTemporaryDir bin;
    const QString data = bin.filePath(QString(90, QLatin1Char('d')));
    QVERIFY(QDir().mkpath(data));
    const QString lumora = bin.filePath(QStringLiteral("lumora"));
    QVERIFY(QFile::copy(QStringLiteral(LUMORA_EXE), lumora));
    QVERIFY(writeTrivialLandmarkModel(bin.filePath(QStringLiteral("data.dat"))));
    QTemporaryDir runtime;
    QTemporaryDir temporary;
    QTemporaryDir otherCache;
    QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    const auto launch = [&](QProcess& p, const QString& runtimeKind, bool second, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (runtimeKind == "none")
            env.remove("XDG_RUNTIME_DIR");
        else if (runtimeKind == "own")
            env.insert("XDG_RUNTIME_DIR", runtime.path());
        if (second && ownTemporary)
            env.insert("TMPDIR", temporary.path());
        if (second && cache == "other")
            env.insert("XDG_CACHE_HOME", otherCache.path());
        if (longData)
            env.insert("XDG_DATA_HOME", data);
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(lumora, args);
    };
    const auto waitFor = [](QProcess& p, QByteArray& out, const char* text) {
        QElapsedTimer t;
        t.start();
        while (!out.contains(text) && t.elapsed() < 30000 && p.state() != QProcess::NotRunning) {
            p.waitForReadyRead(100);
            out += p.readAll();
        }
        out += p.readAll();
        return out.contains(text);
    };

    QProcess first;
    QByteArray firstOut;
    launch(first, firstRuntime, false, {"/m"});
    QVERIFY2(waitFor(first, firstOut, "LumoraGUI::init()"), firstOut.constData());
    if (cache == "removed")
        QVERIFY(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)).removeRecursively());

    QProcess second;
    launch(second, secondRuntime, true, {});
    QVERIFY(second.waitForFinished(15000));
    const QByteArray secondOut = second.readAll();
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(!secondOut.contains("lumora app class constructed"), secondOut.constData());
    QVERIFY2(waitFor(first, firstOut, "LumoraGUI::openWindow()"), firstOut.constData());

    ::kill(pid_t(first.processId()), SIGTERM);
    QVERIFY(first.waitForFinished(20000));
    QCOMPARE(first.exitCode(), 0);
}

void TestUniqueApplication::anotherUserCannotStopOrReachIt()
{
    // Root ignores file modes: the guarded program runs as a plain user.
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root and setpriv to run the guard as two other local users");
    const uid_t user = kTestUser;
    const uid_t other = kOtherTestUser;
    removeTestUsersIpc();

    GuardedUser guarded(user);
    QVERIFY(guarded.ready);
    if (!guarded.unreachable().isEmpty())
        QSKIP(qPrintable(guarded.unreachable()));
    const QTemporaryDir& shared = guarded.shared;
    const QProcessEnvironment& env = guarded.env;

    using P = UniqueApplicationPrivate;
    const QString name =
        P::makeBlockServerName("uniqueapplication_helper", {}, {}, {}, {},
                               QFileInfo(guarded.helper).canonicalFilePath(), {}, UniqueApplication::NotifyOnSecondary);
    // A key file the user's program left behind in its private folder, and
    // the System V key it stands for.
    const QString privateDir = guarded.makeGuardFolder();
    QVERIFY(!privateDir.isEmpty());
    const QString keyFile = P::blockKeyFile(privateDir, name, user);
    QVERIFY(QFile(keyFile).open(QIODevice::WriteOnly));
    QCOMPARE(::chown(QFile::encodeName(keyFile).constData(), user, user), 0);
    const key_t leftKey = ::ftok(QFile::encodeName(keyFile).constData(), 'Q');
    QVERIFY(leftKey != -1);

    // The other user takes every name it can know first: the shared block
    // and its lock under the key of the name, the socket folder and the
    // plain socket name in the temporary folder, and a block open to
    // everyone, claiming a running primary, under the left key file's key.
    const QString sharedFolder = shared.path() + "/uniqueapplication-" + QString::number(user);
    Helper squatter({"--squat", P::sharedMemoryKey(name, user), "--listen",
                     shared.path() + "/" + P::sharedMemoryKey(name, user), "--folder", sharedFolder, "--ftok",
                     QString::number(leftKey)});
    squatter.runAs(other, env, guarded.helper);
    squatter.start();
    QVERIFY(squatter.waitFor("squatting"));
    QVERIFY2(squatter.lines().contains("squatting") && !squatter.lines().contains("intercepted"),
             qPrintable(squatter.lines().join(" | ")));

    // The user's program starts all the same, as the primary.
    Helper primary;
    primary.runAs(user, env, guarded.helper);
    primary.process.setProcessChannelMode(QProcess::MergedChannels);
    primary.start();
    QVERIFY2(primary.waitFor("primary"), qPrintable(primary.lines().join('\n')));
    QCOMPARE(primary.line("name"), name);
    QCOMPARE(primary.line("primary").section(' ', 0, 0).toLongLong(), qint64(primary.process.processId()));

    // Its socket lies in a folder of its own that nobody else may enter.
    const QString socket = primary.line("socket");
    QCOMPARE(QFileInfo(socket).absolutePath(), privateDir);
    struct stat st;
    QCOMPARE(::lstat(QFile::encodeName(privateDir).constData(), &st), 0);
    QVERIFY(S_ISDIR(st.st_mode));
    QCOMPARE(st.st_uid, user);
    QCOMPARE(int(st.st_mode & 077), 0);
    // Its block is its own, closed to others.
    const key_t key = ::ftok(QFile::encodeName(keyFile).constData(), 'Q');
    QVERIFY(key != leftKey);
    struct shmid_ds ds;
    QCOMPARE(::shmctl(::shmget(key, 0, 0), IPC_STAT, &ds), 0);
    QCOMPARE(ds.shm_perm.uid, user);
    QCOMPARE(int(ds.shm_perm.mode & 077), 0);

    // The other user reaches neither the socket nor the lock.
    const QByteArray socketPath = QFile::encodeName(socket);
    const QByteArray lockPath = QFile::encodeName(P::sharedMemoryKey(privateDir + "/" + name, user) + ".lock");
    QVERIFY(asUser(user, [&] { return ::access(lockPath.constData(), R_OK) == 0; }));
    QVERIFY(asUser(other, [&] {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool refused = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0;
        return refused && ::open(lockPath.constData(), O_RDONLY) == -1;
    }));

    // A later launch of the user wakes the user's primary, not the other's socket.
    Helper second;
    second.runAs(user, env, guarded.helper);
    second.start();
    QVERIFY(second.process.waitForFinished(15000));
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(second.count("primary"), 0);
    QVERIFY(primary.waitFor("started"));
    primary.settle(300);
    QCOMPARE(primary.count("started"), 1);
    QCOMPARE(squatter.count("intercepted"), 0);
    QVERIFY(primary.quit());
    QVERIFY(squatter.quit());
    removeTestUsersIpc();
}

// Starts the helper as the test user with its output and errors together;
// true once it says it is a primary.
static bool startAsPrimary(Helper& launch, const GuardedUser& guarded)
{
    launch.runAs(kTestUser, guarded.env, guarded.helper);
    launch.process.setProcessChannelMode(QProcess::MergedChannels);
    launch.start();
    return launch.waitFor("primary");
}

void TestUniqueApplication::usedUpBlocksDoNotStopIt()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root and setpriv to use up the blocks as another local user in an IPC "
              "namespace of the test's own");
    // Declared first: the helpers end before the namespace is left.
    PrivateIpcNamespace ipc;
    QVERIFY2(ipc.entered(), std::strerror(errno));
    GuardedUser guarded(kTestUser);
    QVERIFY(guarded.ready);
    if (!guarded.unreachable().isEmpty())
        QSKIP(qPrintable(guarded.unreachable()));

    // The other user takes every block the system has room for.
    QVERIFY(asUser(kOtherTestUser, [] {
        while (::shmget(IPC_PRIVATE, 1, IPC_CREAT | 0600) != -1) {
        }
        return errno == ENOSPC;
    }));
    QVERIFY(asUser(kTestUser, [] { return ::shmget(IPC_PRIVATE, 1, IPC_CREAT | 0600) == -1 && errno == ENOSPC; }));

    // The user's program starts all the same and keeps running, and so does
    // a second launch: two copies rather than none.
    Helper first;
    Helper second;
    for (Helper* launch : {&first, &second}) {
        QVERIFY2(startAsPrimary(*launch, guarded), qPrintable(launch->lines().join('\n')));
    }
    first.settle(300);
    QCOMPARE(first.process.state(), QProcess::Running);
    QCOMPARE(second.process.state(), QProcess::Running);
    // Each says once why it runs without the guard.
    for (Helper* launch : {&first, &second})
        QCOMPARE(launch->lines().filter(QStringLiteral("without the guard")).size(), 1);
    QVERIFY(second.quit());
    QVERIFY(first.quit());
}

void TestUniqueApplication::everyKeyTakenDoesNotStopIt()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root and setpriv to take the keys as another local user in an IPC namespace "
              "of the test's own");
    PrivateIpcNamespace ipc;
    QVERIFY2(ipc.entered(), std::strerror(errno));
    GuardedUser guarded(kTestUser);
    QVERIFY(guarded.ready);
    if (!guarded.unreachable().isEmpty())
        QSKIP(qPrintable(guarded.unreachable()));
    // The guard's folder, where its key file will be made.
    const QString folder = guarded.makeGuardFolder();
    QVERIFY(!folder.isEmpty());

    // A key is the key file's device and the low bits of its inode number,
    // and a file system hands out inode numbers close to each other: the
    // other user takes the keys of all inodes near one from that folder.
    const QByteArray probe = QFile::encodeName(folder) + "/probe";
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(fd >= 0);
    struct stat st;
    QCOMPARE(::fstat(fd, &st), 0);
    ::close(fd);
    QCOMPARE(::unlink(probe.constData()), 0);
    constexpr long kReach = 12000;
    QFile shmmni(QStringLiteral("/proc/sys/kernel/shmmni"));
    QVERIFY(shmmni.open(QIODevice::WriteOnly));
    QVERIFY(shmmni.write(QByteArray::number(qlonglong(2 * kReach + 100))) > 0);
    shmmni.close();
    QVERIFY(asUser(kOtherTestUser, [&st] {
        const long first = qMax(1L, long(st.st_ino) - kReach);
        for (long ino = first; ino < long(st.st_ino) + kReach; ++ino) {
            const key_t key = key_t((ino & 0xffff) | ((st.st_dev & 0xff) << 16) | (key_t('Q') << 24));
            if (::shmget(key, sizeof(InstanceBlock), IPC_CREAT | 0666) == -1)
                return false;
        }
        return true;
    }));

    // Every key file tried is taken: the program runs without the guard,
    // and so does a second launch, rather than neither.
    Helper first;
    Helper second;
    for (Helper* launch : {&first, &second}) {
        QVERIFY2(startAsPrimary(*launch, guarded), qPrintable(launch->lines().join('\n')));
        QCOMPARE(launch->lines().filter(QStringLiteral("every key tried is taken")).size(), 1);
        QCOMPARE(launch->lines().filter(QStringLiteral("another user's block holds the key")).size(), 1);
    }
    first.settle(300);
    QCOMPARE(first.process.state(), QProcess::Running);
    QVERIFY(second.quit());
    QVERIFY(first.quit());
}

QTEST_GUILESS_MAIN(TestUniqueApplication)
#include "tst_uniqueapplication.moc"
