#include "gui/widgetproxy.h"

WidgetProxy::WidgetProxy(QWidget* parent) : QWidget(parent, Qt::Window) {}
WidgetProxy::~WidgetProxy() = default;

void WidgetProxy::saveProxySettings(bool) {}
void WidgetProxy::showProxySettings() {}
void WidgetProxy::setProxySettings(QString, quint16, QString, QString) {}
