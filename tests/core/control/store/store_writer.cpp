// Opens the measurement store in the folder given as the first argument and
// adds measurements until it is killed, or, given a count and a note, adds
// that many with that note (lengths 0, 1, ...) and prints how many warnings
// the store logged. Prints "ready" once the store is loaded. With "named"
// after the note, no unnamed temporary files, as on an NFS home: a write's
// temporary file then has its name for the whole write.

#include <QCoreApplication>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>

#include "core/control/statisticscontroller.h"

static int warnings = 0;
static bool named = false;

extern "C" int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = va_arg(args, mode_t);
    va_end(args);
    static const auto real = reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open64"));
    return named && (flags & O_TMPFILE) == O_TMPFILE ? (errno = EOPNOTSUPP, -1) : real(path, flags, mode);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    named = argc > 4 && qstrcmp(argv[4], "named") == 0;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
        warnings += type == QtWarningMsg;
    });
    StatisticsController store(QString::fromLocal8Bit(argv[1]));
    store.init();
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    const int count = argc > 3 ? QByteArray(argv[2]).toInt() : -1;
    for (int i = 0; count < 0 || i < count; ++i)
        store.addMeasurement(10.0 + (i % 50) / 10.0, argc > 3 ? QString::fromLocal8Bit(argv[3]) : "written",
                             count < 0 ? 100 + i % 7 : i);
    std::printf("warnings %d\n", warnings);
}
