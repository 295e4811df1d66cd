#pragma once
// The proxy settings window: shows the proxy the server client loaded,
// sends an entered proxy to it for a probe and keeps a copy of the last
// accepted values. It stores nothing itself.

#include <QPoint>
#include <QString>
#include <QWidget>

namespace Ui {
class widgetProxy;
}

class WidgetProxy : public QWidget
{
    Q_OBJECT
public:
    explicit WidgetProxy(QWidget* parent);
    ~WidgetProxy() override;
    void setVisible(bool visible) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

signals:
    void proxySettingsChanged(QString server, quint16 port, QString user, QString password);

public slots:
    void saveProxySettings(bool isValid);
    void showProxySettings();
    void setProxySettings(QString server, quint16 port, QString user, QString password);

private slots:
    void on_toolButtonClose_clicked();
    void on_checkBoxUseSettings_clicked(bool isEnabled);
    void on_pushButtonSave_clicked();
    void on_pushButtonCancel_clicked();

private:
    void loadSavedValues();
    // The fields as the kept values have them: filled, or empty and off.
    void showSavedValues();
    void deleteFields();
    void enableFields(bool on);

    QString m_savedServer;
    QString m_savedUser;
    QString m_savedPassword;
    quint16 m_savedPort = 0;
    Ui::widgetProxy* ui;
    QPoint m_dragPosition;

    // The candidate sent for a probe, until its answer arrives: the answer
    // is about these values, whatever the fields show by then.
    bool m_probing = false;
    QString m_candidateServer;
    QString m_candidateUser;
    QString m_candidatePassword;
    quint16 m_candidatePort = 0;
};
