#pragma once
// The proxy settings window.

#include <QString>
#include <QWidget>

class WidgetProxy : public QWidget
{
    Q_OBJECT
public:
    explicit WidgetProxy(QWidget* parent);
    ~WidgetProxy() override;

signals:
    void proxySettingsChanged(QString server, quint16 port, QString user, QString password);

public slots:
    void saveProxySettings(bool isValid);
    void showProxySettings();
    void setProxySettings(QString server, quint16 port, QString user, QString password);
};
