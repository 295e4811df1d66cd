// Opens the measurement store in the folder given as the only argument and
// adds measurements until it is killed. Prints "ready" once the store is
// loaded, so the killer knows writes are under way.

#include <QCoreApplication>

#include <cstdio>

#include "core/control/statisticscontroller.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    StatisticsController store(QString::fromLocal8Bit(argv[1]));
    store.init();
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (int i = 0;; ++i)
        store.addMeasurement(10.0 + (i % 50) / 10.0, QStringLiteral("written"), 100 + i % 7);
}
