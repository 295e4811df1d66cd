// Starts the crash handler as main does, then a worker thread as the
// application starts its workers, and crashes on that thread.
//   crashworker HANDLER DUMPS overflow|fault [KEY=VALUE...]
//     overflow: endless recursion until the thread's stack is used up
//     fault:    a write to the address 0x40
// Prints "worker <thread id>" before it crashes; the annotations go to the
// handler as given.

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <memory>
#include <string>

#include "app/threadsignalstack.h"
#include "crash/client/crashreportdatabase.h"
#include "crash/client/crashwatch_client.h"

namespace {

volatile long g_limit = LONG_MAX;

__attribute__((noinline)) long descend(long depth)
{
    volatile char frame[512];
    frame[0] = char(depth);
    return depth >= g_limit ? frame[0] : descend(depth + 1) + frame[0];
}

}  // namespace

class Worker : public QObject
{
    Q_OBJECT

public:
    explicit Worker(bool overflow) : m_overflow(overflow) {}

public slots:
    void init()
    {
        printf("worker %ld\n", long(syscall(SYS_gettid)));
        fflush(stdout);
        if (m_overflow) {
            printf("%ld\n", descend(0));
        } else {
            volatile uintptr_t nowhere = 0x40;
            *reinterpret_cast<volatile int*>(nowhere) = 1;
        }
    }

private:
    bool m_overflow;
};

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    std::map<std::string, std::string> annotations;
    for (int i = 4; i < argc; ++i) {
        const char* equals = strchr(argv[i], '=');
        if (!equals)
            return 2;
        annotations[std::string(argv[i], size_t(equals - argv[i]))] = equals + 1;
    }
    {
        const base::FilePath dumps(argv[2]);
        crashwatch::CrashWatchClient client;
        std::unique_ptr<crashwatch::CrashReportDatabase> database =
            crashwatch::CrashReportDatabase::OpenOrCreate(dumps);
        if (!database ||
            !client.LaunchHandler(base::FilePath(argv[1]), dumps, dumps, "", annotations, {}, false, true))
            return 3;
    }

    QCoreApplication app(argc, argv);
    Worker worker(!strcmp(argv[3], "overflow"));
    QThread* thread = threadsignalstack::newThread();
    worker.moveToThread(thread);
    QObject::connect(thread, SIGNAL(started()), &worker, SLOT(init()), Qt::QueuedConnection);
    thread->start();
    return app.exec();
}

#include "crashworker.moc"
