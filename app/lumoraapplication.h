#pragma once
// The application object: makes sure one instance runs, loads fonts and
// language, creates the windows and the four workers, gives each worker a
// thread of its own and wires the subsystems together.

#include <QIcon>
#include <QLocale>
#include <QPointer>
#include <QString>
#include <QVector>
#include <fstream>
#include <functional>

#include "app/uniqueapplication/uniqueapplication.h"

class ApplicationController;
class LumoraGUI;
class Model;
class QScreen;
class QThread;
class QuitSignals;
class ServerController;
class StatisticsController;
class WidgetProxy;
class WidgetStatistics;

class LumoraApplication : public UniqueApplication
{
    Q_OBJECT
public:
    // primaryStartup runs once this process is known to be the primary
    // instance, before anything else: a later launch must leave the running
    // instance's data directory, logs and error log alone.
    LumoraApplication(int& argc, char** argv, std::fstream* errorLog,
                      const std::function<void()>& primaryStartup = {});
    ~LumoraApplication() override;

    static void initializeLanguages();
    int loadLanguage();
    void setLanguage(int index);
    QVector<QLocale> getLanguages();

    // Test seams: the objects the constructor made.
    LumoraGUI* mainWindow() const { return gui; }
    Model* engine() const { return model; }
    ApplicationController* scheduler() const { return controller; }
    StatisticsController* store() const { return statsController; }
    ServerController* server() const { return serverController; }
    QThread* engineThread() const { return modelThread; }

    // How long the shut-down waits for each worker thread to end.
    static constexpr unsigned long kThreadWaitMs = 5000;

private slots:
    void logScreens(QScreen* screen);

private:
    void makeConnections();
    void makeStartChain();
    void stopWorkerThreads();

    std::fstream* errorLogStream = nullptr;
    QIcon windowIcon;
    LumoraGUI* gui = nullptr;
    StatisticsController* statsController = nullptr;
    ServerController* serverController = nullptr;
    Model* model = nullptr;
    ApplicationController* controller = nullptr;
    WidgetStatistics* widgetStatistics = nullptr;
    WidgetProxy* widgetProxy = nullptr;
    QThread* serverThread = nullptr;
    QThread* statisticsThread = nullptr;
    QThread* modelThread = nullptr;
    QThread* controllerThread = nullptr;

    // Workers are deleted by their threads; these learn when that happened.
    QPointer<StatisticsController> statsGuard;
    QPointer<ServerController> serverGuard;
    QPointer<Model> modelGuard;
    QPointer<ApplicationController> controllerGuard;
    QuitSignals* quitSignals = nullptr;
};

// The one application object.
extern LumoraApplication* application;
