// The proxy settings window, driven as a user would: typed values, clicks,
// modal boxes answered, the title bar dragged, the language switched.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

#include "app/settings.h"
#include "gui/widgetproxy.h"
#include "net/servercontroller.h"
#include "tests/support/boxedge.h"
#include "tests/support/networkservers.h"

namespace {

// Answers the next modal box with its default button; returns its text
// through *text.
void answerNextBox(QString* text)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            timer->stop();
            timer->deleteLater();
            QTest::keyClick(box, Qt::Key_Enter);
        }
    });
    timer->start(20);
}

}  // namespace

class TestWidgetProxy : public QObject
{
    Q_OBJECT
private:
    template <class T> T* child(const char* name) { return m_window->findChild<T*>(name); }
    QList<QWidget*> fields()
    {
        QList<QWidget*> list;
        for (const char* n : {"labelPassword", "labelUser", "labelServer", "labelPort", "lineEditPassword",
                              "lineEditUsername", "lineEditServer", "lineEditPort"})
            list << child<QWidget>(n);
        return list;
    }
    bool fieldsEnabled(bool on)
    {
        for (QWidget* w : fields())
            if (w->isEnabled() != on)
                return false;
        return true;
    }
    QStringList texts()
    {
        QStringList list;
        for (const char* n : {"lineEditServer", "lineEditPort", "lineEditUsername", "lineEditPassword"})
            list << child<QLineEdit>(n)->text();
        return list;
    }
    void type(const char* field, const QString& text)
    {
        QLineEdit* edit = child<QLineEdit>(field);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void click(const char* button) { QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton); }

    QWidget m_parent;
    WidgetProxy* m_window = nullptr;

private slots:
    void init()
    {
        m_window = new WidgetProxy(&m_parent);
    }
    void cleanup()
    {
        delete m_window;
    }

    void opensEmptyAndCancelForgetsTyping()
    {
        QVERIFY(m_window->isHidden());
        m_window->showProxySettings();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        QVERIFY(!child<QCheckBox>("checkBoxUseSettings")->isChecked());
        QVERIFY(fieldsEnabled(false));
        QCOMPARE(texts(), QStringList({"", "", "", ""}));
        QVERIFY(child<QLabel>("labelWait")->isHidden());

        // The title bar is on screen in the accent colour.
        QWidget* bar = child<QWidget>("widgetTitleBar");
        const QPoint inBar = bar->mapTo(m_window, QPoint(10, bar->height() / 2));
        QTRY_COMPARE(QColor(m_window->screen()->grabWindow(m_window->winId()).toImage().pixel(inBar)).name(),
                     QStringLiteral("#98c800"));

        QSignalSpy sent(m_window, &WidgetProxy::proxySettingsChanged);
        click("checkBoxUseSettings");
        QVERIFY(fieldsEnabled(true));
        type("lineEditServer", "proxy.corp");
        type("lineEditPort", "3128");
        click("pushButtonCancel");
        QVERIFY(m_window->isHidden());
        QVERIFY(fieldsEnabled(false));
        QVERIFY(!child<QCheckBox>("checkBoxUseSettings")->isChecked());
        QCOMPARE(texts(), QStringList({"", "", "", ""}));
        QCOMPARE(sent.count(), 0);
    }

    void probeRoundTrip()
    {
        m_window->setProxySettings("proxy.corp", 3128, "alice", "pw1");
        m_window->showProxySettings();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        QVERIFY(fieldsEnabled(true));
        QCOMPARE(texts(), QStringList({"proxy.corp", "3128", "alice", "pw1"}));
        QSignalSpy sent(m_window, &WidgetProxy::proxySettingsChanged);

        // A port beyond the range can be typed but is not sent.
        type("lineEditPort", "70000");
        QCOMPARE(child<QLineEdit>("lineEditPort")->text(), QStringLiteral("70000"));
        QString boxText;
        answerNextBox(&boxText);
        click("pushButtonSave");
        QVERIFY(!boxText.isEmpty());
        QCOMPARE(sent.count(), 0);
        QVERIFY(child<QLabel>("labelWait")->isHidden());

        // A failed probe: message, values left in the fields, window open.
        type("lineEditPort", "8080");
        type("lineEditPassword", "pw2");
        click("pushButtonSave");
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.takeFirst(), (QVariantList{"proxy.corp", QVariant::fromValue(quint16(8080)), "alice", "pw2"}));
        QVERIFY(child<QLabel>("labelWait")->isVisible());
        click("pushButtonSave");  // while the probe runs: nothing more is sent
        QCOMPARE(sent.count(), 0);
        boxText.clear();
        answerNextBox(&boxText);
        m_window->saveProxySettings(false);
        QCOMPARE(boxText, QStringLiteral("Server unreachable or network settings has changed. Please provide valid "
                                         "settings or restart lumora."));
        QVERIFY(m_window->isVisible());
        QVERIFY(child<QLabel>("labelWait")->isHidden());
        QCOMPARE(texts(), QStringList({"proxy.corp", "8080", "alice", "pw2"}));

        // Cancel puts the accepted values back.
        click("toolButtonClose");
        QVERIFY(m_window->isHidden());
        QCOMPARE(texts(), QStringList({"proxy.corp", "3128", "alice", "pw1"}));

        // Clearing the box and saving asks for the system configuration; a
        // success closes the window and the cleared values are kept.
        m_window->showProxySettings();
        click("checkBoxUseSettings");
        QCOMPARE(texts(), QStringList({"", "", "", ""}));
        click("pushButtonSave");
        QCOMPARE(sent.takeFirst(), (QVariantList{"", QVariant::fromValue(quint16(0)), "", ""}));
        m_window->saveProxySettings(true);
        QVERIFY(m_window->isHidden());
        m_window->showProxySettings();
        click("pushButtonCancel");
        QVERIFY(fieldsEnabled(false));
        QCOMPARE(texts(), QStringList({"", "", "", ""}));
    }

    void answerAfterCancelKeepsWhatWasProbed()
    {
        m_window->showProxySettings();
        click("checkBoxUseSettings");
        type("lineEditServer", "10.0.0.8");
        type("lineEditPort", "8000");
        click("pushButtonSave");
        click("pushButtonCancel");
        QVERIFY(m_window->isHidden());
        QVERIFY(child<QLabel>("labelWait")->isHidden());
        m_window->saveProxySettings(true);
        m_window->showProxySettings();
        QVERIFY(fieldsEnabled(true));
        QCOMPARE(texts(), QStringList({"10.0.0.8", "8000", "", ""}));
    }

    void dragsByTheTitleBar()
    {
        m_window->showProxySettings();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        const QPoint start = m_window->pos();
        QWidget* bar = child<QWidget>("widgetTitleBar");
        const QPoint grip = bar->mapTo(m_window, QPoint(30, bar->height() / 2));
        const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent e(type, at, m_window->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(m_window, &e);
        };
        send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
        send(QEvent::MouseMove, grip + QPoint(40, 25), Qt::LeftButton);
        QCOMPARE(m_window->pos(), start + QPoint(40, 25));

        // A press in the body does not drag.
        const QPoint body = child<QWidget>("widgetGraph")->mapTo(m_window, QPoint(5, 5));
        const QPoint here = m_window->pos();
        send(QEvent::MouseButtonPress, body, Qt::LeftButton);
        send(QEvent::MouseMove, body + QPoint(40, 25), Qt::LeftButton);
        QCOMPARE(m_window->pos(), here);
    }

    void roundTripWithTheServerClient()
    {
        // Wired as the application wires them, the client on its own thread.
        QTemporaryDir dir;
        QVERIFY(makeCertificates(dir.path()));
        TestService service;
        QVERIFY(service.start(dir.path(), {"good"}, LUMORA_SERVICE_CREDENTIAL, QString()));
        QThread thread;
        const auto stop = qScopeGuard([&] {
            thread.quit();
            thread.wait();
        });
        auto* server = new ServerController;
        server->moveToThread(&thread);
        connect(&thread, &QThread::started, server, &ServerController::init);
        connect(&thread, &QThread::finished, server, &QObject::deleteLater);
        connect(server, &ServerController::proxySettingsChanged, m_window, &WidgetProxy::setProxySettings);
        connect(m_window, &WidgetProxy::proxySettingsChanged, server, &ServerController::verifyProxySettings);
        connect(server, &ServerController::proxySettingsValidated, m_window, &WidgetProxy::saveProxySettings);
        QSignalSpy ready(server, &ServerController::serverControllerInitialized);
        thread.start();
        QTRY_COMPARE(ready.count(), 1);

        // A proxy that does not answer: the message, the window stays open.
        // (Loopback never goes through a proxy, so the service is named.)
        qputenv("LUMORA_SERVICE_URL", QByteArray("https://") + ServiceName);
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const QString port = QString::number(closed.serverPort());
        closed.close();
        m_window->showProxySettings();
        click("checkBoxUseSettings");
        type("lineEditServer", "127.0.0.2");
        type("lineEditPort", port);
        QString boxText;
        answerNextBox(&boxText);
        click("pushButtonSave");
        QTRY_VERIFY_WITH_TIMEOUT(!boxText.isEmpty(), 15000);
        QVERIFY(m_window->isVisible());
        QVERIFY(openSettings()->value("P/S").isNull());

        // The system configuration reaches the service: stored, closed.
        qputenv("LUMORA_SERVICE_URL", QStringLiteral("https://localhost:%1").arg(service.httpsPort(0)).toUtf8());
        click("checkBoxUseSettings");
        click("pushButtonSave");
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isHidden(), 15000);
        QCOMPARE(openSettings()->value("P/S").toString(), QString());
        QCOMPARE(openSettings()->value("P/PO").toInt(), 0);
        QCOMPARE(service.requests(1).size(), 1);  // the failed probe never arrived
    }

    void followsTheLanguage()
    {
        QTranslator german;
        QVERIFY(german.load(":/lumora_de_DE.qm"));
        const QString title = german.translate("widgetProxy", "Proxy settings");
        const QString port = german.translate("widgetProxy", "port:");
        QVERIFY(!title.isEmpty() && title != "Proxy settings");
        m_window->showProxySettings();
        QApplication::installTranslator(&german);
        QTRY_COMPARE(child<QLabel>("labelTitle")->text(), title);
        QCOMPARE(child<QLabel>("labelPort")->text(), port);
        QCOMPARE(child<QLabel>("labelServer")->text(), QStringLiteral("HTTP/HTTPS proxy:"));
        QApplication::removeTranslator(&german);
        QTRY_COMPARE(child<QLabel>("labelTitle")->text(), QStringLiteral("Proxy settings"));
    }

    void shadowsAsBefore_data()
    {
        addEdgeStripColumns();
        // Grabbed from the window whose boxes had Qt's own drop-shadow effect.
        QTest::newRow("fields, bottom")
            << "widgetGraph" << Qt::BottomEdge << QVector<int>{255, 255, 158, 209, 236, 244, 248, 250, 250};
        QTest::newRow("fields, right") << "widgetGraph" << Qt::RightEdge
                                       << QVector<int>{255, 255, 170, 198, 228, 243, 247, 249, 250};
        // Below the title bar, the fields' shadow falls upwards onto the gap.
        QTest::newRow("title bar, bottom")
            << "widgetTitleBar" << Qt::BottomEdge << QVector<int>{152, 152, 247, 243, 228, 255, 255, 255, 255};
    }

    // The grey levels across a box's edge, shadow included, as the window
    // shows them on screen.
    void shadowsAsBefore()
    {
        m_window->showProxySettings();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        QFETCH(QString, box);
        QFETCH(Qt::Edge, edge);
        QFETCH(QVector<int>, strip);
        const QString differs = edgeStripDiffers(m_window, box, edge, strip);
        QVERIFY2(differs.isEmpty(), qPrintable(differs));
    }
};

QTEST_MAIN(TestWidgetProxy)
#include "tst_widgetproxy.moc"
