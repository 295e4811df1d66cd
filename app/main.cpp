// Process entry point: prepares the data directory, the log files, the
// error log and the crash reporter, then runs the application object.

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QStandardPaths>
#include <fstream>

#include "app/errorlog.h"
#include "app/logutils.h"
#include "app/lumoraapplication.h"
#include "app/settings.h"
#include "core/lumoratypes.h"
#include "crash/client/crashreportdatabase.h"
#include "crash/client/crashreporting.h"

namespace {

void startCrashReporting(const char* argv0, const QString& dumpsDir)
{
    const std::string exe(argv0 ? argv0 : "");
    const std::string::size_type slash = exe.rfind('/');
    const std::string exeDir = slash == std::string::npos ? exe : exe.substr(0, slash);
    qDebug() << QString::fromStdString(exeDir);

    crashwatch::CrashReportingSetup setup;
    setup.handlerPath = exeDir + "/crashwatch_handler";
    setup.databasePath = dumpsDir.toStdString();
    auto settings = openSettings();
    setup.annotations["format"] = "minidump";
    setup.annotations["key"] = settings->value(QStringLiteral("LL/DICP"), QString()).toString().toStdString();
    setup.annotations["email"] = "crash@lumora.invalid";
    setup.annotations["prod"] = "lumoraMAC";
    setup.annotations["token"] = std::string(64, '0');
    setup.annotations["ver"] = QStringLiteral("3.7.4.0").remove(QStringLiteral("Beta")).toUtf8().toStdString();
    setup.url = "https://crash.lumora.invalid:443/submit";
    setup.extraArgument = "--no-rate-limit";

    // Without a database (or its settings) no handler is started and the
    // program runs without crash reporting.
    std::unique_ptr<crashwatch::CrashReportDatabase> database =
        crashwatch::CrashReportDatabase::OpenOrCreate(base::FilePath(setup.databasePath));
    if (!database)
        return;
    if (crashwatch::Settings* crashSettings = database->AccessSettings()) {
        crashSettings->SetUploadsAllowed(true);
        crashwatch::StartCrashReporting(setup);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // The platform's location before any application object exists.
    const QString base =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/lumora/");
    const QString dumps = base + QStringLiteral("dumps");
    const QString logs = base + QStringLiteral("logs");
    std::fstream errorLog;

    // Runs only once this process is the primary instance, so a second
    // launch never empties the running one's error log or trims its logs.
    auto primaryStartup = [&]() {
        QDir().mkpath(base);
        QDir().mkpath(dumps);
        QDir().mkpath(logs);
        LOGUTILS::initLogging(logs);
        errorlog::redirect(errorLog, (logs + QStringLiteral("/stderr.log")).toStdString());
        startCrashReporting(argc > 0 ? argv[0] : nullptr, dumps);
    };

    registerCrossThreadTypes();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    int result = 0;
    {
        LumoraApplication app(argc, argv, &errorLog, primaryStartup);
        qDebug() << "lumora app class constructed" << QCoreApplication::applicationDirPath();
        result = app.exec();
    }
    errorlog::restoreAndClose(errorLog);
    return result;
}
