// Process entry point: prepares the data directory, the log files, the
// error log and the crash reporter, then runs the application object.

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <limits.h>
#include <map>
#include <memory>
#include <signal.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/errorlog.h"
#include "app/logutils.h"
#include "app/lumoraapplication.h"
#include "app/privatedirectory.h"
#include "app/settings.h"
#include "core/lumoratypes.h"
#include "crash/client/crashreportdatabase.h"
#include "crash/client/crashwatch_client.h"

namespace {

// The folder of the running executable. It is read from the process's own
// link, not cut from argv[0]: a program started through PATH has no folder
// in argv[0]. The latter serves only when the link cannot be read.
std::string executableDirectory(const char* argv0)
{
    char link[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", link, sizeof(link) - 1);
    const std::string exe = length > 0 ? std::string(link, size_t(length)) : std::string(argv0 ? argv0 : "");
    const std::string::size_type slash = exe.rfind('/');
    return slash == std::string::npos ? exe : exe.substr(0, slash);
}

// The machine identifier for the crash annotation, used only in the form
// the server client makes it: "MAC-" and the platform UUID, or its stand-in
// when the machine has none. A stored value of another form could add lines
// to a report or, longer than one argument may be, keep the handler from
// starting; the annotation is then empty, as before the first run, and the
// store keeps its value.
std::string crashKeyAnnotation(const QString& stored)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern(QStringLiteral(
        "MAC-(?:[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}|errorNoUUIDobtained)")));
    return form.match(stored).hasMatch() ? stored.toStdString() : std::string();
}

void startCrashReporting(const char* argv0, const QString& dumpsDir)
{
    crashwatch::CrashWatchClient client;
    const std::string exeDir = executableDirectory(argv0);
    qDebug() << QString::fromStdString(exeDir);
    const base::FilePath handler(exeDir + "/crashwatch_handler");
    const base::FilePath database(dumpsDir.toStdString());

    // The first read of the settings: openSettings() keeps an unreadable
    // store file aside (with its warning in the log) before anything reads it.
    auto settings = openSettings();
    std::map<std::string, std::string> annotations;
    annotations["format"] = "minidump";
    annotations["key"] = crashKeyAnnotation(settings->value(QStringLiteral("LL/DICP"), QString()).toString());
    annotations["email"] = "crash@lumora.invalid";
    annotations["prod"] = "lumoraMAC";
    annotations["token"] = "5d0c8e1f3a7b9246c18e0f5a3d7b2c9e4f6a1b8d0e3c5f7a9b2d4e6f8a0c1e3b";
    annotations["ver"] = QStringLiteral("3.7.4.0").remove(QStringLiteral("Beta")).toUtf8().toStdString();
    const std::string url = "https://crash.lumora.invalid:443/submit";
    const std::vector<std::string> arguments{"--no-rate-limit"};

    // Without a database (or its settings) no handler is started and the
    // program runs without crash reporting. A failed start is not reported.
    std::unique_ptr<crashwatch::CrashReportDatabase> crashDatabase =
        crashwatch::CrashReportDatabase::OpenOrCreate(database);
    if (!crashDatabase)
        return;
    if (crashwatch::Settings* crashSettings = crashDatabase->AccessSettings()) {
        crashSettings->SetUploadsAllowed(true);
        client.LaunchHandler(handler, database, database, url, annotations, arguments, true, true);
    }
}

// Standard input, output and error left closed by whoever started the
// program (">&-", some launchers and service managers) would be taken by
// the next file opened: the X connection on descriptor 1 would receive the
// log lines meant for standard output. Each closed one is opened on
// /dev/null before anything else opens a file; the crash handler and every
// other child inherit them so.
void openClosedStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        int opened;
        do {
            opened = ::open("/dev/null", O_RDWR);
        } while (opened < 0 && errno == EINTR);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

// A write to a pipe whose reader has gone (standard output into "head")
// must fail, not end the program. A handler that does nothing, rather than
// SIG_IGN: exec sets a handled signal back to its default, so every child
// the program starts (the crash handler, a browser, a file viewer) gets the
// usual SIGPIPE, while an ignored one would be inherited.
void survivePipesWithoutReader()
{
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    openClosedStandardDescriptors();
    survivePipesWithoutReader();

    // The platform's location before any application object exists.
    const QString base =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/lumora/");
    const QString dumps = base + QStringLiteral("dumps");
    const QString logs = base + QStringLiteral("logs");
    std::fstream errorLog;

    // Runs only once this process is the primary instance, so a second
    // launch never empties the running one's error log or trims its logs.
    auto primaryStartup = [&]() {
        // Statistics, logs and crash reports are for this user's eyes only,
        // also in a folder an older version left open.
        makePrivateDirectory(base);
        QDir().mkpath(dumps);
        QDir().mkpath(logs);
        LOGUTILS::initLogging(logs);
        errorlog::redirect(errorLog, (logs + QStringLiteral("/stderr.log")).toStdString());
        startCrashReporting(argc > 0 ? argv[0] : nullptr, dumps);
    };

    registerCrossThreadTypes();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // The windows draw without OpenGL; loading the X server's GL driver
    // (and with it a whole compiler library) would cost some 50 MB of
    // memory for nothing. A value the user set stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    int result = 0;
    {
        LumoraApplication app(argc, argv, &errorLog, primaryStartup);
        qDebug() << "lumora app class constructed" << QCoreApplication::applicationDirPath();
        result = app.exec();
    }
    errorlog::restoreAndClose(errorLog);
    return result;
}
