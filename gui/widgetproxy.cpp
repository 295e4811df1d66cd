#include "gui/widgetproxy.h"

#include <QDateTime>
#include <QDebug>
#include <QIntValidator>
#include <QMessageBox>
#include <QMouseEvent>

#include "gui/boxshadow.h"
#include "gui/translucentframe.h"
#include "ui_widgetproxy.h"

WidgetProxy::WidgetProxy(QWidget* parent) : QWidget(parent), ui(new Ui::widgetProxy)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    addBoxShadows({ui->widgetTitleBar, ui->widgetApplication, ui->widgetGraph});
    enableFields(false);
    ui->lineEditPort->setValidator(new QIntValidator(0, 65535, this));
    ui->labelWait->hide();
    qDebug() << "widget proxy created";
}

WidgetProxy::~WidgetProxy()
{
    delete ui;
    qDebug() << "WidgetProxy destructor";
}

void WidgetProxy::setVisible(bool visible)
{
    // Decided at each showing: a compositing manager may have started or
    // stopped since.
    if (visible && isHidden())
        translucentframe::adapt(this, layout(), 9, [this] {
            destroy(true, false);
            create();
        });
    QWidget::setVisible(visible);
}

void WidgetProxy::enableFields(bool on)
{
    ui->checkBoxUseSettings->setChecked(on);
    for (QWidget* w : std::initializer_list<QWidget*>{ui->labelPassword, ui->labelUser, ui->labelServer,
                                                       ui->labelPort, ui->lineEditPassword, ui->lineEditUsername,
                                                       ui->lineEditServer, ui->lineEditPort})
        w->setEnabled(on);
}

void WidgetProxy::deleteFields()
{
    ui->lineEditPassword->clear();
    ui->lineEditUsername->clear();
    ui->lineEditServer->clear();
    ui->lineEditPort->clear();
}

void WidgetProxy::loadSavedValues()
{
    ui->lineEditPassword->setText(m_savedPassword);
    ui->lineEditUsername->setText(m_savedUser);
    ui->lineEditServer->setText(m_savedServer);
    ui->lineEditPort->setText(QString::number(m_savedPort));
}

void WidgetProxy::setProxySettings(QString server, quint16 port, QString user, QString password)
{
    qDebug() << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << "PG: "
             << "setproxySettings";
    enableFields(true);
    m_savedServer = server;
    m_savedPort = port;
    m_savedUser = user;
    m_savedPassword = password;
    loadSavedValues();
}

void WidgetProxy::on_checkBoxUseSettings_clicked(bool isEnabled)
{
    enableFields(isEnabled);
    if (!isEnabled)
        deleteFields();
}

void WidgetProxy::on_pushButtonSave_clicked()
{
    // The server client probes one candidate at a time; its answer is on
    // its way.
    if (m_probing) {
        ui->labelWait->show();
        return;
    }
    // The validator lets a number above the range stand while it is typed.
    if (!ui->lineEditPort->text().isEmpty() && !ui->lineEditPort->hasAcceptableInput()) {
        QMessageBox box;
        box.setText(tr("The port must be a number from 0 to 65535."));
        box.exec();
        ui->lineEditPort->setFocus();
        ui->lineEditPort->selectAll();
        return;
    }
    ui->labelWait->show();
    m_probing = true;
    m_candidateServer = ui->lineEditServer->text();
    m_candidatePort = ui->lineEditPort->text().toUShort(nullptr, 10);
    m_candidateUser = ui->lineEditUsername->text();
    m_candidatePassword = ui->lineEditPassword->text();
    emit proxySettingsChanged(m_candidateServer, m_candidatePort, m_candidateUser, m_candidatePassword);
}

void WidgetProxy::saveProxySettings(bool isValid)
{
    if (!m_probing)
        return;
    m_probing = false;
    ui->labelWait->hide();
    if (isValid) {
        // The server client keeps what it probed; so does the window, and
        // the fields show it when the window opens again.
        m_savedServer = m_candidateServer;
        m_savedUser = m_candidateUser;
        m_savedPassword = m_candidatePassword;
        m_savedPort = m_candidatePort;
        showSavedValues();
        close();
        return;
    }
    qDebug() << "WidgetProxy: Server unreachable. Please provide valid settings. or the network settings has changed";
    QMessageBox box;
    box.setText(tr("Server unreachable or network settings has changed. Please provide valid settings or restart lumora."));
    box.exec();
}

void WidgetProxy::showSavedValues()
{
    if (!m_savedServer.isEmpty()) {
        enableFields(true);
        loadSavedValues();
    } else {
        deleteFields();
        enableFields(false);
    }
}

void WidgetProxy::on_pushButtonCancel_clicked()
{
    showSavedValues();
    close();
    ui->labelWait->hide();
}

void WidgetProxy::on_toolButtonClose_clicked()
{
    on_pushButtonCancel_clicked();
}

void WidgetProxy::showProxySettings()
{
    if (isHidden())
        show();
}

void WidgetProxy::mousePressEvent(QMouseEvent* event)
{
    const QPoint pressed = event->localPos().toPoint();
    const QPoint corner = ui->widgetApplication->pos();
    const QPoint inside(qMax(0, pressed.x() - corner.x()), qMax(0, pressed.y() - corner.y()));
    m_dragPosition = ui->widgetTitleBar->geometry().contains(inside, true) ? pressed : QPoint();
}

void WidgetProxy::mouseMoveEvent(QMouseEvent* event)
{
    if (!isMaximized() && !m_dragPosition.isNull() && (event->buttons() & Qt::LeftButton))
        move(event->globalPos() - m_dragPosition);
}

void WidgetProxy::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
