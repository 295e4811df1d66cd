// The port layer between processes: rights moving across, message bytes,
// deadlines, notifications, bootstrap names, foreign and malformed
// datagrams, the handshake and crash delivery.

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "crash/base/logging.h"
#include "crash/util/child_port_handshake.h"
#include "crash/util/mach_message_server.h"
#include "crash/util/mach_util.h"
#include "crash/util/notify_server.h"
#include "crash/util/process.h"
#include "tests/support/otheruser.h"

using namespace crashwatch;

namespace {

struct Buffer {
    mach_msg_header_t header;
    char rest[8192];
};

QByteArray uniqueName(const char* what)
{
    return QByteArray("test.") + what + "." + QByteArray::number(getpid()) + "." +
           QByteArray::number(QRandomGenerator::global()->generate());
}

mach_port_t newPortWithSendRight()
{
    const mach_port_t port = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    mach_port_t right;
    mach_msg_type_name_t type;
    if (port == MACH_PORT_NULL || mach_port_extract_right(mach_task_self(), port, MACH_MSG_TYPE_MAKE_SEND, &right,
                                                          &type) != KERN_SUCCESS)
        return MACH_PORT_NULL;
    return port;
}

// A message of size bytes (random body) to a send right, with a send-once
// reply right made from reply when given.
mach_msg_return_t sendPlain(mach_port_t to, mach_msg_id_t id, mach_msg_size_t size, mach_port_t reply,
                            QByteArray* body = nullptr, mach_msg_timeout_t timeout = 5000)
{
    Buffer out = {};
    out.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, reply ? MACH_MSG_TYPE_MAKE_SEND_ONCE : 0);
    out.header.msgh_size = size;
    out.header.msgh_remote_port = to;
    out.header.msgh_local_port = reply;
    out.header.msgh_id = id;
    for (size_t i = 0; i + sizeof(mach_msg_header_t) < size; ++i)
        out.rest[i] = static_cast<char>(QRandomGenerator::global()->generate());
    if (body)
        *body = QByteArray(out.rest, int(size - sizeof(mach_msg_header_t)));
    return mach_msg(&out.header, MACH_SEND_MSG | MACH_SEND_TIMEOUT, size, 0, MACH_PORT_NULL, timeout, MACH_PORT_NULL);
}

mach_msg_return_t receive(mach_port_t port, Buffer* in, mach_msg_timeout_t timeout)
{
    return mach_msg(&in->header, MACH_RCV_MSG | MACH_RCV_TIMEOUT | MACH_RCV_TRAILER_ELEMENTS(MACH_RCV_TRAILER_AUDIT),
                    0, sizeof(*in), port, timeout, MACH_PORT_NULL);
}

// Sends port's receive right to a send right, as the check-in does.
mach_msg_return_t moveReceiveRight(mach_port_t to, mach_port_t port)
{
    struct {
        mach_msg_header_t header;
        mach_msg_body_t body;
        mach_msg_port_descriptor_t port;
    } out = {};
    out.header.msgh_bits = MACH_MSGH_BITS_COMPLEX | MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
    out.header.msgh_size = sizeof(out);
    out.header.msgh_remote_port = to;
    out.header.msgh_id = 500;
    out.body.msgh_descriptor_count = 1;
    out.port.name = port;
    out.port.disposition = MACH_MSG_TYPE_MOVE_RECEIVE;
    return mach_msg(&out.header, MACH_SEND_MSG, sizeof(out), 0, MACH_PORT_NULL, 0, MACH_PORT_NULL);
}

// Sends size bytes on a connected datagram socket with the descriptor
// passed, when it is not -1.
ssize_t sendDatagram(int fd, const void* bytes, size_t size, int passed)
{
    iovec iov = {const_cast<void*>(bytes), size};
    msghdr message = {};
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (passed >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        cmsghdr* cmsg = CMSG_FIRSTHDR(&message);
        cmsg->cmsg_level = SOL_SOCKET;
        cmsg->cmsg_type = SCM_RIGHTS;
        cmsg->cmsg_len = CMSG_LEN(sizeof(int));
        memcpy(CMSG_DATA(cmsg), &passed, sizeof(int));
    }
    return sendmsg(fd, &message, MSG_NOSIGNAL);
}

int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

// Records what the notification server hands over.
struct RecordingNotifications : MachNotifyServer::Interface {
    int calls = 0;
    mach_port_t notify = MACH_PORT_NULL;
    mach_port_t returned = MACH_PORT_NULL;
    kern_return_t DoMachNotifyPortDeleted(mach_port_t, mach_port_name_t, const mach_msg_trailer_t*) override
    {
        ++calls;
        return MIG_BAD_ID;
    }
    kern_return_t DoMachNotifyPortDestroyed(mach_port_t n, mach_port_t rights, const mach_msg_trailer_t*,
                                            bool*) override
    {
        ++calls;
        notify = n;
        returned = rights;
        return KERN_SUCCESS;
    }
    kern_return_t DoMachNotifyNoSenders(mach_port_t, uint32_t, const mach_msg_trailer_t*) override
    {
        ++calls;
        return MIG_BAD_ID;
    }
    kern_return_t DoMachNotifySendOnce(mach_port_t, const mach_msg_trailer_t*) override
    {
        ++calls;
        return MIG_BAD_ID;
    }
    kern_return_t DoMachNotifyDeadName(mach_port_t, mach_port_name_t, const mach_msg_trailer_t*) override
    {
        ++calls;
        return MIG_BAD_ID;
    }
};

// Runs portpeer with args; its standard output comes on *out.
pid_t spawnPeer(const std::vector<std::string>& args, int* out)
{
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0)
        return -1;
    std::vector<char*> argv{const_cast<char*>(PORTPEER)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    *out = pipe_fds[0];
    return pid;
}

// The crash client's warnings about refused messages, counted by a log
// handler: each must come from the ports, in the client's own log.
std::atomic<int> g_refusalWarnings{0};
bool CountRefusalWarnings(int severity, const char* file, int, size_t, const std::string& line)
{
    if (severity == base::severity::WARNING && strstr(file, "port.cpp") &&
        line.find("dropping message of ") != std::string::npos)
        ++g_refusalWarnings;
    return false;
}

// Keeps standard error in a file while many log lines are expected.
class QuietErrors {
public:
    QuietErrors() : saved_(dup(STDERR_FILENO))
    {
        FILE* file = tmpfile();
        fflush(stderr);
        dup2(fileno(file), STDERR_FILENO);
        fclose(file);
    }
    ~QuietErrors()
    {
        fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

}  // namespace

class TestPorts : public QObject {
    Q_OBJECT

private slots:
    void rightMovesAcrossAndComesBackWhenItsHolderDies();
    void receiveRightReleasedLocallyComesBackAtOnce();
    void deadlinesAreHonoured();
    void bootstrapNamesInUseAndUnknown();
    void messagesFromAnotherUserAreDropped();
    void portsAreBoundInAPrivateFolder_data();
    void portsAreBoundInAPrivateFolder();
    void leftSocketFilesAreRemovedOrTakenOver();
    void malformedDatagramsAreRefusedAndServingGoesOn();
    void droppedDatagramsAreLoggedAtABoundedRateAndAllCounted();
    void foreignDatagramsOfAnySizeReachOnlyTheBoundedLog();
    void portDestroyedOfWrongShapeNeverReachesTheInterface();
    void handshakeHandsTheRightToAnotherProcess();
    void handshakeGivesUpWithinItsBound_data();
    void handshakeGivesUpWithinItsBound();
    void handshakeServerOutlivesAClientThatLeft();
    void handshakeOutlastsAnotherUsersDatagrams();
    void crashIsDeliveredOnceAndEndsTheProcessAsBefore_data();
    void crashIsDeliveredOnceAndEndsTheProcessAsBefore();
    void crashWithoutAnAnswerEndsAfterTheWait();
};

void TestPorts::rightMovesAcrossAndComesBackWhenItsHolderDies()
{
    const QByteArray service = uniqueName("echo");
    QProcess peer;
    peer.start(PORTPEER, {"echo", QString::fromLatin1(service)});
    QVERIFY(peer.waitForReadyRead(10000));
    QCOMPARE(peer.readAll(), QByteArray("ready\n"));

    const mach_port_t port = newPortWithSendRight();
    const mach_port_t notify = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    const mach_port_t reply = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    mach_port_t previous;
    QCOMPARE(mach_port_request_notification(mach_task_self(), port, MACH_NOTIFY_PORT_DESTROYED, 0, notify,
                                            MACH_MSG_TYPE_MAKE_SEND_ONCE, &previous),
             KERN_SUCCESS);
    {
        base::mac::ScopedMachSendRight service_port = BootstrapLookUp(service.toStdString());
        QVERIFY(service_port.is_valid());
        QCOMPARE(moveReceiveRight(service_port.get(), port), MACH_MSG_SUCCESS);
    }
    QCOMPARE(PortReceiveDescriptor(port), -1);  // the receive right left

    // Each message reaches the other process with its exact size and bytes.
    for (mach_msg_size_t size : {24u, 28u, 132u, 4000u}) {
        QByteArray body;
        QCOMPARE(sendPlain(port, 1000 + int(size), size, reply, &body), MACH_MSG_SUCCESS);
        Buffer in;
        QCOMPARE(receive(reply, &in, 10000), MACH_MSG_SUCCESS);
        QCOMPARE(in.header.msgh_id, 1100 + int(size));
        uint32_t seen;
        memcpy(&seen, in.rest, sizeof(seen));
        QCOMPARE(seen, size);
        QCOMPARE(QByteArray(in.rest + 4, body.size()), body);
        QCOMPARE(AuditPIDFromMachMessageTrailer(TrailerOfMessage(&in.header)), pid_t(peer.processId()));
    }

    peer.kill();
    QVERIFY(peer.waitForFinished(10000));
    // The port outlives its holder: a message sent now waits in its queue.
    QCOMPARE(sendPlain(port, 777, 32, MACH_PORT_NULL), MACH_MSG_SUCCESS);

    RecordingNotifications notifications;
    MachNotifyServer server(&notifications);
    QCOMPARE(MachMessageServer::Run(&server, notify, MACH_MSG_OPTION_NONE, MachMessageServer::kOneShot,
                                    MachMessageServer::kReceiveLargeError, 10000),
             MACH_MSG_SUCCESS);
    QCOMPARE(notifications.calls, 1);
    QCOMPARE(notifications.notify, notify);
    QVERIFY(notifications.returned != MACH_PORT_NULL);
    Buffer in;
    QCOMPARE(receive(notifications.returned, &in, 0), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, 777);

    mach_port_deallocate(mach_task_self(), port);
    for (mach_port_t right : {notifications.returned, notify, reply})
        mach_port_mod_refs(mach_task_self(), right, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::receiveRightReleasedLocallyComesBackAtOnce()
{
    const mach_port_t port = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    const mach_port_t notify = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    mach_port_t previous;
    QCOMPARE(mach_port_request_notification(mach_task_self(), port, MACH_NOTIFY_PORT_DESTROYED, 0, notify,
                                            MACH_MSG_TYPE_MAKE_SEND_ONCE, &previous),
             KERN_SUCCESS);
    QCOMPARE(mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1), KERN_SUCCESS);
    Buffer in;
    QCOMPARE(receive(notify, &in, 0), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, MACH_NOTIFY_PORT_DESTROYED);
    QCOMPARE(in.header.msgh_size, mach_msg_size_t(40));
    mach_port_destroyed_notification_t notification;
    memcpy(&notification, &in, sizeof(notification));
    QCOMPARE(int(notification.not_port.disposition), int(MACH_MSG_TYPE_PORT_RECEIVE));
    QVERIFY(PortReceiveDescriptor(notification.not_port.name) >= 0);
    QCOMPARE(receive(notify, &in, 0), MACH_RCV_TIMED_OUT);  // only once
    mach_port_mod_refs(mach_task_self(), notification.not_port.name, MACH_PORT_RIGHT_RECEIVE, -1);
    mach_port_mod_refs(mach_task_self(), notify, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::deadlinesAreHonoured()
{
    const mach_port_t port = newPortWithSendRight();
    Buffer in;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(MachMessageUntil(&in.header, MACH_RCV_MSG, sizeof(in), port, DeadlineFromTimeout(150), MACH_PORT_NULL,
                              false),
             MACH_RCV_TIMED_OUT);
    QVERIFY2(timer.elapsed() >= 149 && timer.elapsed() < 150 + 400, qPrintable(QString::number(timer.elapsed())));

    RecordingNotifications notifications;
    MachNotifyServer server(&notifications);
    timer.restart();
    QCOMPARE(MachMessageServer::Run(&server, port, MACH_MSG_OPTION_NONE, MachMessageServer::kPersistent,
                                    MachMessageServer::kReceiveLargeError, kMachMessageTimeoutNonblocking),
             MACH_RCV_TIMED_OUT);
    QVERIFY(timer.elapsed() < 100);

    // Fill the queue of a port nobody reads; the next send waits for room
    // until its deadline.
    int queued = 0;
    while (sendPlain(port, 1, 24, MACH_PORT_NULL, nullptr, 0) == MACH_MSG_SUCCESS && queued < 100000)
        ++queued;
    QVERIFY(queued > 0 && queued < 100000);
    timer.restart();
    QCOMPARE(sendPlain(port, 1, 24, MACH_PORT_NULL, nullptr, 150), MACH_SEND_TIMED_OUT);
    QVERIFY2(timer.elapsed() >= 149 && timer.elapsed() < 150 + 400, qPrintable(QString::number(timer.elapsed())));
    mach_port_deallocate(mach_task_self(), port);
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::bootstrapNamesInUseAndUnknown()
{
    const std::string name = uniqueName("boot").toStdString();
    {
        base::mac::ScopedMachReceiveRight first = BootstrapRegister(name);
        QVERIFY(first.is_valid());
        mach_port_t second;
        QCOMPARE(bootstrap_check_in(bootstrap_port, name.c_str(), &second), BOOTSTRAP_NAME_IN_USE);
        QVERIFY(!BootstrapRegister(name).is_valid());
        QVERIFY(BootstrapLookUp(name).is_valid());
    }
    // Free again once its receive right is gone.
    mach_port_t looked_up;
    QCOMPARE(bootstrap_look_up(bootstrap_port, name.c_str(), &looked_up), BOOTSTRAP_UNKNOWN_SERVICE);
    QVERIFY(!BootstrapLookUp(name).is_valid());
    QVERIFY(BootstrapRegister(name).is_valid());

    // The longest accepted name reaches its own port; one byte more is
    // refused before the bootstrap server is asked.
    const std::string longest = name + std::string(127 - name.size(), 'x');
    base::mac::ScopedMachReceiveRight port = BootstrapRegister(longest);
    QVERIFY(port.is_valid());
    base::mac::ScopedMachSendRight right = BootstrapLookUp(longest);
    QVERIFY(right.is_valid());
    QCOMPARE(sendPlain(right.get(), 127, 24, MACH_PORT_NULL), MACH_MSG_SUCCESS);
    Buffer in;
    QCOMPARE(receive(port.get(), &in, 0), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, 127);

    const std::string too_long = longest + "y";
    mach_port_t raw;
    QCOMPARE(bootstrap_check_in(bootstrap_port, too_long.c_str(), &raw), BOOTSTRAP_SUCCESS);
    QVERIFY(!BootstrapLookUp(too_long).is_valid());
    QVERIFY(!BootstrapRegister(too_long + "z").is_valid());
    mach_port_mod_refs(mach_task_self(), raw, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::messagesFromAnotherUserAreDropped()
{
    if (geteuid() != 0)
        QSKIP("needs root to send as a second user");
    const mach_port_t port = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    QCOMPARE(getsockname(PortReceiveDescriptor(port), reinterpret_cast<sockaddr*>(&address), &length), 0);

    mach_msg_header_t message = {};
    message.msgh_size = sizeof(message);
    // The port lies in a folder of this user's: the kernel refuses another
    // user's datagram and connection.
    QVERIFY(address.sun_path[0] == '/');
    QVERIFY(asUser(65534, [&] {
        const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        return sendto(fd, &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&address), length) == -1 &&
               errno == EACCES && ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == -1;
    }));
    // A socket connected before it changed hands still reaches the port;
    // what another user sends through it is dropped.
    auto sendAs = [&](uid_t uid, mach_msg_id_t id) {
        const pid_t child = fork();
        if (child == 0) {
            const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
            message.msgh_id = id;
            const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && setgid(uid) == 0 &&
                            setuid(uid) == 0 && send(fd, &message, sizeof(message), 0) == ssize_t(sizeof(message));
            _exit(ok ? 0 : 1);
        }
        int status = -1;
        waitpid(child, &status, 0);
        return status;
    };
    QCOMPARE(sendAs(65534, 41), 0);
    QCOMPARE(sendAs(geteuid(), 42), 0);
    Buffer in;
    QCOMPARE(receive(port, &in, 5000), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, 42);
    QCOMPARE(receive(port, &in, 0), MACH_RCV_TIMED_OUT);
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}

namespace {

// What portpeer's "folder" mode says, by key: folder, port, service.
QMap<QString, QString> runFolderPeer(const QProcessEnvironment& env, const QString& service)
{
    QProcess peer;
    peer.setProcessEnvironment(env);
    peer.start(PORTPEER, {"folder", service});
    QMap<QString, QString> said;
    if (!peer.waitForFinished(10000))
        return said;
    for (const QString& line : QString::fromLocal8Bit(peer.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        said.insert(line.section(' ', 0, 0), line.section(' ', 1));
    return said;
}

// A socket file at path whose socket is gone, as a crashed process leaves
// it; with old, last changed a minute ago.
bool leaveSocketFile(const QString& path, bool old)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    const timespec times[2] = {{time(nullptr) - 60, 0}, {time(nullptr) - 60, 0}};
    return bound && (!old || utimensat(AT_FDCWD, encoded.constData(), times, AT_SYMLINK_NOFOLLOW) == 0);
}

bool isPrivateFolder(const QString& path)
{
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

void TestPorts::portsAreBoundInAPrivateFolder_data()
{
    // Which folders the process is given (runtime: private, open or none;
    // the folder a starter names; temporary and cache folders short or too
    // long for a socket address), and where its ports must be bound.
    QTest::addColumn<QString>("runtime");
    QTest::addColumn<bool>("given");
    QTest::addColumn<bool>("longTemporary");
    QTest::addColumn<bool>("longCache");
    QTest::addColumn<QString>("expected");
    QTest::newRow("private runtime folder") << "private" << false << false << false << "runtime/crashwatch";
    QTest::newRow("runtime folder open to others") << "open" << false << false << false << "tmp/crashwatch-";
    QTest::newRow("folder given by the starter") << "private" << true << false << false << "given";
    QTest::newRow("temporary folder too long") << "none" << false << true << false << "cache/crashwatch-";
    QTest::newRow("every folder too long") << "none" << false << true << true << "";
}

void TestPorts::portsAreBoundInAPrivateFolder()
{
    QFETCH(QString, runtime);
    QFETCH(bool, given);
    QFETCH(bool, longTemporary);
    QFETCH(bool, longCache);
    QFETCH(QString, expected);
    QTemporaryDir base;
    const QString deep = "/" + QString(80, 'd');
    for (const QString& sub : QStringList{"runtime", "tmp", "cache", "given", "tmp" + deep, "cache" + deep})
        QVERIFY(QDir().mkpath(base.filePath(sub)));
    QVERIFY(QFile::setPermissions(base.filePath("runtime"), runtime == "open" ? QFileDevice::Permissions(0x7777)
                                                                               : QFileDevice::Permissions(0x7000)));
    QVERIFY(QFile::setPermissions(base.filePath("given"), QFileDevice::Permissions(0x7000)));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    env.remove(kPortDirectoryVariable);
    if (runtime != "none")
        env.insert("XDG_RUNTIME_DIR", base.filePath("runtime"));
    if (given)
        env.insert(kPortDirectoryVariable, base.filePath("given"));
    env.insert("TMPDIR", base.filePath("tmp") + (longTemporary ? deep : QString()));
    env.insert("XDG_CACHE_HOME", base.filePath("cache") + (longCache ? deep : QString()));

    const QMap<QString, QString> said = runFolderPeer(env, "folder-test");
    const QString folder = said.value("folder");
    if (expected.isEmpty()) {
        // No port at all, rather than one another user can reach.
        QCOMPARE(said.value("folder", "?"), QString());
        QCOMPARE(said.value("port"), QString("none"));
        QVERIFY(said.value("service") != "0");
        return;
    }
    QVERIFY2(folder.startsWith(base.filePath(expected)), qPrintable(folder));
    QVERIFY(isPrivateFolder(folder));
    for (const char* key : {"port", "service"})
        QVERIFY2(!said.value(key).isEmpty(), key);
    QCOMPARE(said.value("service"), QString("0"));
    const QString port = said.value("port");
    QCOMPARE(QFileInfo(port).path(), folder);
}

// Socket files whose process crashed are removed when the next process
// picks the folder, and a service name left that way is checked in again;
// files of live sockets, and fresh ones, stay.
void TestPorts::leftSocketFilesAreRemovedOrTakenOver()
{
    QTemporaryDir base;
    const QString folder = base.filePath("runtime/crashwatch");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(base.filePath("runtime"), QFileDevice::Permissions(0x7000)));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7000)));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(kPortDirectoryVariable);
    env.insert("XDG_RUNTIME_DIR", base.filePath("runtime"));

    QVERIFY(leaveSocketFile(folder + "/p.0000000000000dead", true));
    QVERIFY(leaveSocketFile(folder + "/s.left-service", false));
    // A live socket, bound long ago.
    const QString live = folder + "/p.000000000000a11e";
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, QFile::encodeName(live).constData(), size_t(live.size()));
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    QCOMPARE(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const timespec times[2] = {{time(nullptr) - 60, 0}, {time(nullptr) - 60, 0}};
    QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(live).constData(), times, AT_SYMLINK_NOFOLLOW), 0);

    const QMap<QString, QString> said = runFolderPeer(env, "left-service");
    QCOMPARE(said.value("folder"), folder);
    QCOMPARE(said.value("service"), QString("0"));
    QVERIFY(!QFileInfo::exists(folder + "/p.0000000000000dead"));
    QVERIFY(QFileInfo::exists(live));
    close(fd);
}

// The crash client's log lines, kept instead of written.
QStringList g_logLines;

bool keepLogLine(int, const char*, int, size_t start, const std::string& line)
{
    g_logLines << QString::fromStdString(line.substr(start)).trimmed();
    return true;
}

void TestPorts::droppedDatagramsAreLoggedAtABoundedRateAndAllCounted()
{
    if (geteuid() != 0)
        QSKIP("needs root to send as a second user");
    constexpr int kForeign = 20000;
    constexpr int kInterval = 300;
    SetDroppedMessageLogInterval(kInterval);
    base::SetLogMessageHandler(keepLogLine);
    const mach_port_t port = newPortWithSendRight();
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    QCOMPARE(getsockname(PortReceiveDescriptor(port), reinterpret_cast<sockaddr*>(&address), &length), 0);
    Buffer in;
    // Drops of earlier tests still counted are written first.
    QCOMPARE(receive(port, &in, 3 * kInterval), MACH_RCV_TIMED_OUT);
    g_logLines.clear();

    // The server waits for a message of its own user meanwhile.
    std::atomic<mach_msg_return_t> received{MACH_RCV_INVALID_NAME};
    std::thread server([&] { received = receive(port, &in, 60000); });
    const pid_t child = fork();
    if (child == 0) {
        const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        const timeval wait = {5, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof(wait));
        mach_msg_header_t message = {};
        message.msgh_size = sizeof(message);
        // Connected first: no other user may connect to the port itself.
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || setgroups(0, nullptr) != 0 ||
            setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        for (int i = 0; i < kForeign; ++i) {
            if (send(fd, &message, sizeof(message), 0) != ssize_t(sizeof(message)))
                _exit(1);
        }
        _exit(0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    QCOMPARE(sendPlain(port, 43, 24, MACH_PORT_NULL), MACH_MSG_SUCCESS);
    server.join();
    QCOMPARE(status, 0);
    QCOMPARE(received.load(), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, 43);
    // A receive that waits writes the count of the last drops when their
    // interval is over.
    QCOMPARE(receive(port, &in, 3 * kInterval), MACH_RCV_TIMED_OUT);
    base::SetLogMessageHandler(nullptr);
    SetDroppedMessageLogInterval(10000);
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);

    // Few lines, and together they count every drop.
    QVERIFY2(!g_logLines.isEmpty() && g_logLines.size() < 50, qPrintable(g_logLines.join('\n')));
    const QRegularExpression entry("^dropping message of 24 bytes from pid [0-9]+: sent by another user"
                                   "(?: \\(([0-9]+) more dropped since the last entry\\))?$");
    const QRegularExpression count("^([0-9]+) more messages dropped since the last entry$");
    qint64 counted = 0;
    for (const QString& line : g_logLines) {
        QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch()) {
            counted += 1 + match.captured(1).toLongLong();
        } else {
            match = count.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            counted += match.captured(1).toLongLong();
        }
    }
    QCOMPARE(counted, qint64(kForeign));
    QVERIFY(count.match(g_logLines.last()).hasMatch());
}

// Every datagram of another user, too large for the server or not, with
// descriptors or malformed, is counted in the bounded log and nowhere else;
// this user's own message too large for the buffer is still reported.
void TestPorts::foreignDatagramsOfAnySizeReachOnlyTheBoundedLog()
{
    if (geteuid() != 0)
        QSKIP("needs root to send as a second user");
    constexpr int kRounds = 2500;
    constexpr int kKinds = 4;
    constexpr int kInterval = 300;
    SetDroppedMessageLogInterval(kInterval);
    base::SetLogMessageHandler(keepLogLine);
    const mach_port_t port = newPortWithSendRight();
    const mach_port_t reply = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    QCOMPARE(getsockname(PortReceiveDescriptor(port), reinterpret_cast<sockaddr*>(&address), &length), 0);
    Buffer in;
    QCOMPARE(receive(port, &in, 3 * kInterval), MACH_RCV_TIMED_OUT);  // earlier drops counted out
    g_logLines.clear();
    const int descriptors = openDescriptors();

    RecordingNotifications notifications;
    MachNotifyServer server(&notifications);
    std::atomic<mach_msg_return_t> result{MACH_RCV_INVALID_NAME};
    std::thread serving([&] {
        result = MachMessageServer::Run(&server, port, MACH_MSG_OPTION_NONE, MachMessageServer::kOneShot,
                                        MachMessageServer::kReceiveLargeError, 60000);
    });
    // Well-formed headers (a size field equal to the length) but for the
    // malformed kind; sizes are those the server's buffer cannot hold, a
    // small one, a large one with a descriptor, and a lying small one.
    Buffer bytes = {};
    const size_t sizes[kKinds] = {4096, 24, 2048, 24};
    // Connected first: no other user may connect to the port itself.
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    const bool sent = asUser(65534, [&] {
        const timeval wait = {5, 0};
        if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof(wait)) != 0)
            return false;
        for (int i = 0; i < kRounds * kKinds; ++i) {
            const int kind = i % kKinds;
            bytes.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
            bytes.header.msgh_size = kind == 3 ? 999 : mach_msg_size_t(sizes[kind]);
            bytes.header.msgh_id = 4242;
            if (sendDatagram(fd, &bytes, sizes[kind], kind == 2 ? fd : -1) != ssize_t(sizes[kind]))
                return false;
        }
        return true;
    });
    close(fd);
    // This user's own message too large for the server, then one it serves.
    QCOMPARE(sendPlain(port, 4141, 2048, MACH_PORT_NULL), MACH_MSG_SUCCESS);
    QCOMPARE(sendPlain(port, 4242, 32, reply), MACH_MSG_SUCCESS);
    serving.join();
    QCOMPARE(receive(port, &in, 3 * kInterval), MACH_RCV_TIMED_OUT);  // the last count written
    base::SetLogMessageHandler(nullptr);
    SetDroppedMessageLogInterval(10000);

    QVERIFY(sent);
    QCOMPARE(result.load(), MACH_MSG_SUCCESS);
    QCOMPARE(notifications.calls, 0);
    QCOMPARE(receive(reply, &in, 5000), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, 4342);
    QCOMPARE(openDescriptors(), descriptors);  // the passed descriptors closed, peeked copies too
    mach_port_deallocate(mach_task_self(), port);
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
    mach_port_mod_refs(mach_task_self(), reply, MACH_PORT_RIGHT_RECEIVE, -1);

    QVERIFY2(g_logLines.size() < 50, qPrintable(QString::number(g_logLines.size()) + " lines, the first:\n" +
                                                 QStringList(g_logLines.mid(0, 5)).join('\n')));
    const QRegularExpression entry("^dropping message of ([0-9]+) bytes from pid [0-9]+: sent by another user"
                                   "(?: \\(([0-9]+) more dropped since the last entry\\))?$");
    const QRegularExpression count("^([0-9]+) more messages dropped since the last entry$");
    qint64 counted = 0;
    int ownTooLarge = 0;
    for (const QString& line : g_logLines) {
        if (line.contains("dropping large message")) {
            ++ownTooLarge;
            continue;
        }
        QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch()) {
            counted += 1 + match.captured(2).toLongLong();
        } else {
            match = count.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            counted += match.captured(1).toLongLong();
        }
    }
    QCOMPARE(counted, qint64(kRounds * kKinds));
    QCOMPARE(ownTooLarge, 1);
}

void TestPorts::malformedDatagramsAreRefusedAndServingGoesOn()
{
    const mach_port_t port = newPortWithSendRight();
    const mach_port_t reply = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    QCOMPARE(getsockname(PortReceiveDescriptor(port), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int descriptors = openDescriptors();

    std::atomic<int> refusedSent{0};
    std::thread sender([&] {
        const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), length);
        QRandomGenerator random(7);
        char bytes[512];
        auto sendBytes = [&](size_t size, int passed) {
            if (sendDatagram(fd, bytes, size, passed) >= 0)
                ++refusedSent;
        };
        for (int i = 0; i < 10000; ++i) {  // shorter than a header
            random.fillRange(reinterpret_cast<quint32*>(bytes), sizeof(bytes) / 4);
            sendBytes(random.bounded(24), -1);
        }
        for (int i = 0; i < 10000; ++i) {  // size field and length disagree
            random.fillRange(reinterpret_cast<quint32*>(bytes), sizeof(bytes) / 4);
            const uint32_t size = 24 + 4 * random.bounded(100);
            uint32_t claimed = size + 4 * (1 + random.bounded(50));
            if (i % 2)
                claimed = random.generate();
            memcpy(bytes + 4, &claimed, 4);
            sendBytes(size, -1);
        }
        for (int i = 0; i < 200; ++i) {  // rights that do not match the descriptors
            const bool complex = i % 2;
            mach_msg_header_t header = {};
            header.msgh_size = 40;
            header.msgh_bits = complex ? MACH_MSGH_BITS_COMPLEX : 0;
            header.msgh_local_port = complex ? 0 : 1;  // a reply right without its descriptor
            memset(bytes, 0, 40);
            memcpy(bytes, &header, sizeof(header));
            if (complex) {
                const uint32_t count = 1;
                memcpy(bytes + 24, &count, 4);
                mach_msg_port_descriptor_t descriptor = {5, 0, 0, MACH_MSG_TYPE_MOVE_SEND, 0};
                memcpy(bytes + 28, &descriptor, sizeof(descriptor));
            }
            sendBytes(40, (i % 4) < 2 ? fd : -1);
        }
        close(fd);
        // One message too large for the server, then a good one with an id
        // it does not serve.
        sendPlain(port, 4141, 2048, MACH_PORT_NULL);
        sendPlain(port, 4242, 32, reply);
    });

    RecordingNotifications notifications;
    MachNotifyServer server(&notifications);
    mach_msg_return_t result;
    {
        QuietErrors quiet;
        g_refusalWarnings = 0;
        const base::LogMessageHandlerFunction saved = base::GetLogMessageHandler();
        base::SetLogMessageHandler(&CountRefusalWarnings);
        // Every refusal gets its entry here, whatever earlier cases logged.
        SetDroppedMessageLogInterval(0);
        result = MachMessageServer::Run(&server, port, MACH_MSG_OPTION_NONE, MachMessageServer::kOneShot,
                                        MachMessageServer::kReceiveLargeError, 60000);
        sender.join();
        SetDroppedMessageLogInterval(10000);
        base::SetLogMessageHandler(saved);
    }
    QCOMPARE(result, MACH_MSG_SUCCESS);
    QCOMPARE(refusedSent.load(), 20200);
    // Refusals are logged as warnings of the ports in the client's log, one
    // at most per datagram.
    QVERIFY(g_refusalWarnings > 0);
    QVERIFY(g_refusalWarnings <= refusedSent);
    QCOMPARE(notifications.calls, 0);
    Buffer in;
    QCOMPARE(receive(reply, &in, 5000), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, 4342);
    QCOMPARE(in.header.msgh_size, mach_msg_size_t(sizeof(mig_reply_error_t)));
    mig_reply_error_t answer;
    memcpy(&answer, &in, sizeof(answer));
    QCOMPARE(answer.RetCode, MIG_BAD_ID);
    QCOMPARE(receive(port, &in, 0), MACH_RCV_TIMED_OUT);
    QCOMPARE(openDescriptors(), descriptors);  // every passed descriptor closed

    mach_port_deallocate(mach_task_self(), port);
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
    mach_port_mod_refs(mach_task_self(), reply, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::portDestroyedOfWrongShapeNeverReachesTheInterface()
{
    const mach_port_t notify = newPortWithSendRight();
    const mach_port_t other = newPortWithSendRight();
    const mach_port_t reply = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    mach_port_destroyed_notification_t fake = {};
    fake.not_header.msgh_bits =
        MACH_MSGH_BITS_COMPLEX | MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, MACH_MSG_TYPE_MAKE_SEND_ONCE);
    fake.not_header.msgh_size = sizeof(fake);
    fake.not_header.msgh_remote_port = notify;
    fake.not_header.msgh_local_port = reply;
    fake.not_header.msgh_id = MACH_NOTIFY_PORT_DESTROYED;
    fake.not_body.msgh_descriptor_count = 1;
    fake.not_port.name = other;
    fake.not_port.disposition = MACH_MSG_TYPE_COPY_SEND;  // a send right, not the receive right
    QCOMPARE(mach_msg(&fake.not_header, MACH_SEND_MSG, sizeof(fake), 0, MACH_PORT_NULL, 0, MACH_PORT_NULL),
             MACH_MSG_SUCCESS);

    RecordingNotifications notifications;
    MachNotifyServer server(&notifications);
    QCOMPARE(MachMessageServer::Run(&server, notify, MACH_MSG_OPTION_NONE, MachMessageServer::kOneShot,
                                    MachMessageServer::kReceiveLargeError, 5000),
             MACH_MSG_SUCCESS);
    QCOMPARE(notifications.calls, 0);
    Buffer in;
    QCOMPARE(receive(reply, &in, 5000), MACH_MSG_SUCCESS);
    mig_reply_error_t answer;
    memcpy(&answer, &in, sizeof(answer));
    QCOMPARE(answer.RetCode, MIG_TYPE_ERROR);
    for (mach_port_t port : {notify, other}) {
        mach_port_deallocate(mach_task_self(), port);
        mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
    }
    mach_port_mod_refs(mach_task_self(), reply, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::handshakeHandsTheRightToAnotherProcess()
{
    const mach_port_t port = newPortWithSendRight();
    const mach_port_t reply = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    ChildPortHandshake handshake;
    base::ScopedFD server = handshake.TakeServerWriteFD();
    QVERIFY(fcntl(server.get(), F_GETFD) & FD_CLOEXEC);

    // Started as the handler is: its end, close-on-exec everywhere else,
    // goes through exec in the new process only.
    QVERIFY(DoubleForkAndExec({PORTPEER, "handshake-server", std::to_string(server.get())}, nullptr, server.get(),
                              false, nullptr));
    server.reset();
    QVERIFY(handshake.SendPortToServer(port, MACH_MSG_TYPE_MOVE_RECEIVE));
    QCOMPARE(PortReceiveDescriptor(port), -1);

    QCOMPARE(sendPlain(port, 9, 24, reply), MACH_MSG_SUCCESS);
    Buffer in;
    QCOMPARE(receive(reply, &in, 10000), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, 109);
    uint32_t type;
    memcpy(&type, in.rest, sizeof(type));
    QCOMPARE(type, MACH_MSG_TYPE_PORT_RECEIVE);
    mach_port_deallocate(mach_task_self(), port);
    mach_port_mod_refs(mach_task_self(), reply, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::handshakeGivesUpWithinItsBound_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("hangs");
    QTest::addColumn<bool>("early");  // refused before the time-out
    QByteArray token(8, 'T');
    auto withLength = [&](uint32_t length) { return token + QByteArray(reinterpret_cast<char*>(&length), 4); };
    QTest::newRow("hangs") << QByteArray() << true << false;
    QTest::newRow("hangs-in-name") << withLength(20) + "abc" << true << false;
    QTest::newRow("huge-length") << withLength(0xffffffffu) << true << true;
    QTest::newRow("length-128") << withLength(128) + QByteArray(128, 'n') << true << true;
    QTest::newRow("closes-early") << QByteArray("12345") << false << true;
    QTest::newRow("unknown-service") << withLength(10) + "nosuchname" << true << true;
    QByteArray garbage(64, 0);
    QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(garbage.data()), 16);
    uint32_t length;
    memcpy(&length, garbage.constData() + 8, 4);
    QTest::newRow("garbage") << garbage << true << (length > 127);
}

void TestPorts::handshakeGivesUpWithinItsBound()
{
    QFETCH(QByteArray, written);
    QFETCH(bool, hangs);
    QFETCH(bool, early);
    constexpr int kBound = 300;
    ChildPortHandshake::SetClientTimeout(kBound);
    const mach_port_t port = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    ChildPortHandshake handshake;
    base::ScopedFD server = handshake.TakeServerWriteFD();
    QCOMPARE(write(server.get(), written.constData(), size_t(written.size())), ssize_t(written.size()));
    if (!hangs)
        server.reset();

    QElapsedTimer timer;
    timer.start();
    bool result;
    {
        QuietErrors quiet;
        result = handshake.SendPortToServer(port, MACH_MSG_TYPE_MOVE_RECEIVE);
    }
    ChildPortHandshake::SetClientTimeout(10000);
    QVERIFY(!result);
    if (early)
        QVERIFY2(timer.elapsed() < kBound, qPrintable(QString::number(timer.elapsed())));
    else
        QVERIFY2(timer.elapsed() >= kBound - 1 && timer.elapsed() < kBound + 700,
                 qPrintable(QString::number(timer.elapsed())));
    QVERIFY(PortReceiveDescriptor(port) >= 0);  // the right stays with the caller
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::handshakeServerOutlivesAClientThatLeft()
{
    base::ScopedFD server;
    {
        ChildPortHandshake handshake;
        server = handshake.TakeServerWriteFD();
    }
    // Writing to the closed end must not raise SIGPIPE here.
    ChildPortHandshake::PortRightType type = 0;
    QuietErrors quiet;
    QCOMPARE(ChildPortHandshake::RunServerForFD(std::move(server), &type), MACH_PORT_NULL);
}

// Anyone can read the handshake's address in /proc/net/unix: another
// user's datagrams there, of any size, must not end it.
void TestPorts::handshakeOutlastsAnotherUsersDatagrams()
{
    if (geteuid() != 0)
        QSKIP("needs root to send as a second user");
    const mach_port_t port = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    ChildPortHandshake handshake;
    base::ScopedFD server = handshake.TakeServerWriteFD();
    ChildPortHandshake::PortRightType type = 0;
    mach_port_t received = MACH_PORT_NULL;
    QuietErrors quiet;
    std::thread serving([&] { received = ChildPortHandshake::RunServerForFD(std::move(server), &type); });

    // The handshake's service is the only one in the ports' folder now.
    const QByteArray prefix = QByteArray(PortDirectory()) + "/s.";
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    socklen_t length = 0;
    QElapsedTimer timer;
    timer.start();
    while (length == 0 && timer.elapsed() < 10000) {
        QFile table("/proc/net/unix");
        if (table.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : table.readAll().split('\n')) {
                const QByteArray path = line.mid(line.lastIndexOf(' ') + 1);
                if (path.startsWith(prefix) && size_t(path.size()) < sizeof(address.sun_path)) {
                    memcpy(address.sun_path, path.constData(), size_t(path.size()));
                    length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()) + 1);
                }
            }
        }
        if (length == 0)
            QThread::msleep(10);
    }
    // Connected first: no other user may connect to the service itself.
    const int foreign = socket(AF_UNIX, SOCK_DGRAM, 0);
    const bool sent = length > 0 && ::connect(foreign, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                      asUser(65534, [&] {
        Buffer bytes = {};
        for (const size_t size : {size_t(4096), sizeof(child_port_check_in), size_t(24)}) {
            bytes.header.msgh_size = mach_msg_size_t(size);
            if (send(foreign, &bytes, size, 0) != ssize_t(size))
                return false;
        }
        return true;
    });
    close(foreign);
    // The right goes across all the same (or the server has given up).
    const bool handed = handshake.SendPortToServer(port, MACH_MSG_TYPE_MOVE_RECEIVE);
    serving.join();
    QVERIFY(sent);
    QVERIFY(handed);
    QVERIFY(received != MACH_PORT_NULL);
    QCOMPARE(type, ChildPortHandshake::PortRightType(MACH_MSG_TYPE_PORT_RECEIVE));
    mach_port_mod_refs(mach_task_self(), received, MACH_PORT_RIGHT_RECEIVE, -1);
}

void TestPorts::crashIsDeliveredOnceAndEndsTheProcessAsBefore_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("signal");
    // The fault address (code[1]): where the fault was, only for a fault
    // the kernel raised (-1: any address but 0); 0 for a signal sent.
    QTest::addColumn<qint64>("address");
    QTest::newRow("segv") << "segv" << SIGSEGV << qint64(0x40);
    QTest::newRow("signal") << "signal" << SIGSEGV << qint64(0);
    QTest::newRow("abort") << "abort" << SIGABRT << qint64(0);
    QTest::newRow("fpe") << "fpe" << SIGFPE << qint64(-1);
}

void TestPorts::crashIsDeliveredOnceAndEndsTheProcessAsBefore()
{
    QFETCH(QString, how);
    QFETCH(int, signal);
    QFETCH(qint64, address);
    auto endOf = [](pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
    };
    int out;
    const pid_t plain = spawnPeer({"crash", how.toStdString()}, &out);
    const int plainEnd = endOf(plain);
    close(out);
    QCOMPARE(plainEnd, signal);

    const std::string service = uniqueName("exc").toStdString();
    base::mac::ScopedMachReceiveRight port = BootstrapRegister(service);
    const pid_t watched = spawnPeer({"crash", how.toStdString(), service}, &out);
    char line[32] = {};
    QVERIFY(read(out, line, sizeof(line) - 1) > 0);

    Buffer in;
    QCOMPARE(receive(port.get(), &in, 10000), MACH_MSG_SUCCESS);
    QCOMPARE(in.header.msgh_id, kExceptionRaiseStateIdentityId);
    QCOMPARE(in.header.msgh_size, mach_msg_size_t(268));
    mach_msg_port_descriptor_t thread, task;
    memcpy(&thread, in.rest + 4, sizeof(thread));
    memcpy(&task, in.rest + 16, sizeof(task));
    QCOMPARE(long(thread.pad1), atol(line));
    QCOMPARE(pid_t(task.pad1), watched);
    int32_t exception;
    int64_t code;
    int32_t flavor;
    memcpy(&exception, in.rest + 36, 4);
    memcpy(&code, in.rest + 44, 8);
    memcpy(&flavor, in.rest + 60, 4);
    QCOMPARE(exception, EXC_CRASH);
    QCOMPARE(int(code >> 24), signal);
    QCOMPARE(flavor, x86_THREAD_STATE);
    int64_t faultAddress;
    memcpy(&faultAddress, in.rest + 52, 8);
    if (address < 0)
        QVERIFY(faultAddress != 0);
    else
        QCOMPARE(qint64(faultAddress), address);

    // The answer lets the crashed process go on to its end.
    mig_reply_error_t answer = {};
    InitMigReply(&in.header, &answer.Head);
    SetMigReplyCode(&answer.Head, KERN_SUCCESS);
    QCOMPARE(mach_msg(&answer.Head, MACH_SEND_MSG, sizeof(answer), 0, MACH_PORT_NULL, 0, MACH_PORT_NULL),
             MACH_MSG_SUCCESS);
    QCOMPARE(endOf(watched), signal);
    close(out);
    QCOMPARE(receive(port.get(), &in, 200), MACH_RCV_TIMED_OUT);
}

void TestPorts::crashWithoutAnAnswerEndsAfterTheWait()
{
    const std::string service = uniqueName("exc").toStdString();
    base::mac::ScopedMachReceiveRight port = BootstrapRegister(service);
    int out;
    const pid_t watched = spawnPeer({"crash", "segv", service, "300"}, &out);
    Buffer in;
    QCOMPARE(receive(port.get(), &in, 10000), MACH_MSG_SUCCESS);
    // The answer right stays here unanswered: the crashed process ends on
    // its own once its wait is over.
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    while (waitpid(watched, &status, WNOHANG) == 0 && timer.elapsed() < 10000)
        usleep(10000);
    close(out);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), SIGSEGV);
    mach_msg_destroy(&in.header);
}

QTEST_GUILESS_MAIN(TestPorts)
#include "tst_ports.moc"
