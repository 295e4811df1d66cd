// lumora-schedsim: runs the feature scheduler over a number of virtual hours
// against a fake camera engine and prints every request it makes.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <cstdio>

#include "tools/schedsim/simulation.h"

namespace {
bool g_log = false;
void messageHandler(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    if (g_log)
        fprintf(stderr, "%s\n", qPrintable(msg));
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs the feature scheduler with default settings against a fake camera engine in "
                       "virtual time and prints every request with its time."));
    parser.addHelpOption();
    QCommandLineOption hours(QStringLiteral("hours"), QStringLiteral("Virtual hours to run (default 8)."),
                             QStringLiteral("N"), QStringLiteral("8"));
    QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Also write the scheduler's log to stderr."));
    parser.addOption(hours);
    parser.addOption(log);
    parser.process(app);

    bool ok = false;
    const double h = parser.value(hours).toDouble(&ok);
    if (!ok || h < 0 || h > 24 * 366) {
        fprintf(stderr, "lumora-schedsim: --hours wants a number of hours from 0 to 8784\n");
        return 2;
    }
    g_log = parser.isSet(log);
    qInstallMessageHandler(messageHandler);

    SimulationOptions options;
    options.durationMs = qint64(h * 3600.0 * 1000.0);
    QTextStream out(stdout);
    QElapsedTimer wall;
    wall.start();
    runSimulation(options, [&out](const QString& line) { out << line << '\n'; });
    out.flush();
    fprintf(stderr, "lumora-schedsim: %g virtual hours in %lld ms\n", h, static_cast<long long>(wall.elapsed()));
    return 0;
}
