#include "gui/lumoragui.h"

// The status page: health graph, status line, error texts, measurement
// notices, the tray's camera-use state and the live preview.

void LumoraGUI::showBubleNotificationAboutMeasurement(double) {}
void LumoraGUI::showImage(QImage) {}
void LumoraGUI::showError(Error) {}
void LumoraGUI::adjustSystemTrayBasedOnFunctionalityAccessingCamera(Feature) {}
void LumoraGUI::updateHealthStatus(QVector<double>, QVector<int>, QVector<QDateTime>) {}
void LumoraGUI::showInternetUnreachable() {}
