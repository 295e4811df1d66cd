// The server client against the test's own services over verified TLS, and
// its proxy handling through a real tinyproxy.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include "app/settings.h"
#include "core/control/statisticscontroller.h"
#include "net/servercontroller.h"
#include "tests/support/networkservers.h"

namespace {

const QString Credential = QString::fromLatin1(LUMORA_SERVICE_CREDENTIAL);
const QString ProxyUser = QStringLiteral("lumora-proxy-user");
const QString ProxyPassword = QStringLiteral("Pr0xy-S3cret");
const QString WrongPassword = QStringLiteral("Wr0ng-S3cret");
const QString LastUpload = QStringLiteral("2020-06-01T12:00:00+00:00");

QMutex logMutex;
QStringList logLines;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    QMutexLocker lock(&logMutex);
    logLines << text;
    fprintf(stderr, "%s\n", qPrintable(text));
}

QString logText()
{
    QMutexLocker lock(&logMutex);
    return logLines.join('\n');
}

void setService(const QString& url)
{
    qputenv("LUMORA_SERVICE_URL", url.toUtf8());
}

QVariant stored(const QString& key)
{
    return openSettings()->value(key);
}

// Owner, group and others' permissions of the settings file.
QFile::Permissions settingsMode()
{
    return QFile::permissions(openSettings()->fileName()) & QFile::Permissions(0x7077);
}

const QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

}  // namespace

class TestServerController : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qInstallMessageHandler(captureLog);
        for (const char* v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
            qunsetenv(v);
        QVERIFY(m_dir.isValid());
        QVERIFY(makeCertificates(m_dir.path()));
        QVERIFY(m_service.start(m_dir.path(), {"good", "otherhost", "self"}, Credential, LastUpload));
        QVERIFY(m_proxy.start(m_dir.path(), ProxyUser, ProxyPassword, m_service.relayPort()));
    }

    void cleanupTestCase()
    {
        // Nothing secret ever reached the log.
        const QString log = logText();
        QVERIFY(!log.isEmpty());
        for (const QString& secret : {Credential, ProxyUser, ProxyPassword, WrongPassword})
            QVERIFY2(!log.contains(secret), qPrintable(secret));
        qInstallMessageHandler(nullptr);
    }

    void machineIdentity()
    {
        // A probe queued before the server thread started is refused.
        ServerController early;
        QSignalSpy earlyAnswer(&early, &ServerController::proxySettingsValidated);
        early.verifyProxySettings("127.0.0.1", 3128, ProxyUser, ProxyPassword);
        early.findOutLastUploadedDateTime();
        QCOMPARE(earlyAnswer.value(0), QVariantList{false});

        openSettings()->remove("LL");
        ServerController first;
        first.setMachineIdSource([] { return QByteArray("3d1219c7c4c5404aaa1f6d2a48adfda4"); });
        first.init();
        const QString serial = stored("LL/WPID").toString();
        const QString pcid = stored("LL/DICP").toString();
        QVERIFY(QRegularExpression("^[0-9A-F]{12}$").match(serial).hasMatch());
        QVERIFY2(QRegularExpression("^MAC-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$").match(pcid).hasMatch(),
                 qPrintable(pcid));
        QVERIFY(!pcid.contains("3d1219c7", Qt::CaseInsensitive));
        QVERIFY(!pcid.contains(serial));
        QCOMPARE(settingsMode(), OwnerOnly);

        // Later starts read the values back; another machine gets others.
        ServerController again;
        again.setMachineIdSource([] { return QByteArray("ffffffffffffffffffffffffffffffff"); });
        again.init();
        QCOMPARE(stored("LL/WPID").toString(), serial);
        QCOMPARE(stored("LL/DICP").toString(), pcid);
        QVERIFY(machineidentity::platformSerial("ffffffffffffffffffffffffffffffff") != serial);

        openSettings()->remove("LL");
        ServerController none;
        none.setMachineIdSource([] { return QByteArray(); });
        none.init();
        QCOMPARE(stored("LL/WPID").toString(), QStringLiteral("errorNoSerialNumberObtained"));
        QCOMPARE(stored("LL/DICP").toString(), QStringLiteral("MAC-errorNoUUIDobtained"));

        // The key follows the serial and fits the scrambler's 60 bits.
        QCOMPARE(ServerController::getCryptKey(serial), ServerController::getCryptKey(serial));
        QVERIFY(ServerController::getCryptKey(serial) != ServerController::getCryptKey("0" + serial));
        QVERIFY(ServerController::getCryptKey(serial) < (quint64(1) << 60));
    }

    void uploadChain()
    {
        setService(QStringLiteral("https://localhost:%1").arg(m_service.httpsPort(0)));
        m_service.clear();
        // A history with one record the service already has and two it has not.
        QTemporaryDir data;
        QFile file(data.filePath("statistics.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QJsonArray records;
        for (const char* when : {"2020-05-01T08:00:00+00:00", "2020-07-01T08:00:00+00:00", "2021-01-01T08:00:00+02:00"})
            records << QJsonObject{{"datetime", when}, {"blinkrate", 11.5}, {"note", "n"}, {"length", 180}};
        file.write(QJsonDocument(QJsonObject{{"data", records}}).toJson());
        file.close();

        ServerController server;
        StatisticsController store(data.path() + "/");
        store.init();
        server.init();
        connect(&server, &ServerController::lastDateTimeObtained, &store, &StatisticsController::createJsonData);
        connect(&store, &StatisticsController::measurementsUploadReady, &server, &ServerController::uploadStats);
        QSignalSpy last(&server, &ServerController::lastDateTimeObtained);
        server.findOutLastUploadedDateTime();

        const QList<QJsonObject> got = m_service.requests(2);
        QCOMPARE(got.size(), 2);
        const QString pcid = stored("LL/DICP").toString();
        QCOMPARE(last.value(0), (QVariantList{LastUpload, pcid}));
        QCOMPARE(got[0]["path"].toString(), QStringLiteral("/api/0.1/stats"));
        QCOMPARE(got[0]["body"].toString(), QStringLiteral("{\"pcid\":\"%1\",\"data\":[]}").arg(pcid));
        QCOMPARE(got[0]["authorization"].toString(), "Basic " + Credential);
        QCOMPARE(got[0]["contentType"].toString(), QStringLiteral("application/json"));

        const QJsonObject document = QJsonDocument::fromJson(got[1]["body"].toString().toUtf8()).object();
        QCOMPARE(got[1]["authorization"].toString(), "Basic " + Credential);
        QCOMPARE(document["pcid"].toString(), pcid);
        const QJsonArray sent = document["data"].toArray();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0].toObject()["datetime"].toString(), QStringLiteral("2020-07-01T08:00:00+00:00"));
        QCOMPARE(sent[1].toObject()["datetime"].toString(), QStringLiteral("2021-01-01T08:00:00+02:00"));
    }

    void identifierIsEscapedInTheQuery()
    {
        setService(QStringLiteral("https://localhost:%1").arg(m_service.httpsPort(0)));
        m_service.clear();
        const QString odd = QStringLiteral("MAC-\"},\"data\":[1],\"x\":\"\\\n");
        openSettings()->setValue("LL/DICP", odd);
        ServerController server;
        server.init();
        server.findOutLastUploadedDateTime();
        const QList<QJsonObject> got = m_service.requests(1);
        QCOMPARE(got.size(), 1);
        QJsonParseError error;
        const QJsonObject body = QJsonDocument::fromJson(got[0]["body"].toString().toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(body.keys(), (QStringList{"data", "pcid"}));
        QCOMPARE(body["pcid"].toString(), odd);
        QVERIFY(body["data"].toArray().isEmpty());
        openSettings()->remove("LL/DICP");
    }

    void badCertificatesAreRefused_data()
    {
        QTest::addColumn<int>("server");
        QTest::newRow("certificate for another host") << 1;
        QTest::newRow("self-signed") << 2;
    }
    void badCertificatesAreRefused()
    {
        QFETCH(int, server);
        setService(QStringLiteral("https://localhost:%1").arg(m_service.httpsPort(server)));
        m_service.clear();
        ServerController client;
        client.init();
        QSignalSpy last(&client, &ServerController::lastDateTimeObtained);
        const int before = logText().count("SslHandshakeFailedError");
        client.findOutLastUploadedDateTime();
        QTRY_COMPARE(logText().count("SslHandshakeFailedError"), before + 1);
        QVERIFY(logText().contains("ServerController::slotSslErrors"));
        client.uploadStats(QStringLiteral("{\"data\":[1]}"));
        QTRY_COMPARE(logText().count("SslHandshakeFailedError"), before + 2);
        QCOMPARE(last.count(), 0);
        QCOMPARE(m_service.requests(0).size(), 0);
    }

    void proxyVerification()
    {
        openSettings()->remove("P");
        setService(QStringLiteral("https://%1").arg(ServiceName));
        m_service.clear();
        ServerController server;
        server.init();
        QSignalSpy validated(&server, &ServerController::proxySettingsValidated);
        const quint16 port = m_proxy.port();

        // Right credentials: stored, user and password scrambled, owner-only.
        server.verifyProxySettings("127.0.0.1", port, ProxyUser, ProxyPassword);
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        QCOMPARE(validated.takeFirst().value(0).toBool(), true);
        const QList<QJsonObject> probes = m_service.requests(1);
        QCOMPARE(probes.size(), 1);
        QCOMPARE(probes[0]["path"].toString(), QStringLiteral("/api/0.1/assign"));
        const QUrlQuery form(probes[0]["body"].toString());
        QCOMPARE(form.queryItemValue("serial"), QStringLiteral("NON_EXISTING_SERIAL"));
        QCOMPARE(form.queryItemValue("pcid"), stored("LL/DICP").toString());
        QCOMPARE(stored("P/S").toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(stored("P/PO").toInt(), int(port));
        const quint64 key = ServerController::getCryptKey(stored("LL/WPID").toString());
        const QString scrambledUser = stored("P/U").toString();
        const QString scrambledPassword = stored("P/PA").toString();
        QVERIFY(!scrambledUser.contains(ProxyUser) && !scrambledPassword.contains(ProxyPassword));
        QCOMPARE(ServerController::decryptString(scrambledUser, key), ProxyUser);
        QCOMPARE(ServerController::decryptString(scrambledPassword, key), ProxyPassword);
        QCOMPARE(settingsMode(), OwnerOnly);
        QFile raw(openSettings()->fileName());
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(!raw.readAll().contains(ProxyPassword.toUtf8()));

        // Wrong credentials: refused, the stored proxy is in force again and
        // still reaches the service; nothing stored changes.
        server.verifyProxySettings("127.0.0.1", port, ProxyUser, WrongPassword);
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        QCOMPARE(validated.takeFirst().value(0).toBool(), false);
        QCOMPARE(QNetworkProxy::applicationProxy().password(), ProxyPassword);
        QCOMPARE(stored("P/PA").toString(), scrambledPassword);
        QSignalSpy last(&server, &ServerController::lastDateTimeObtained);
        server.findOutLastUploadedDateTime();
        QTRY_COMPARE_WITH_TIMEOUT(last.count(), 1, 15000);

        // A second probe while one runs is refused: one answer, for the first.
        server.verifyProxySettings("127.0.0.1", port, ProxyUser, WrongPassword);
        server.verifyProxySettings("127.0.0.1", port, ProxyUser, ProxyPassword);
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        QCOMPARE(validated.takeFirst().value(0).toBool(), false);
        QTest::qWait(500);
        QCOMPARE(validated.count(), 0);
        QCOMPARE(QNetworkProxy::applicationProxy().password(), ProxyPassword);

        // The next start applies the stored proxy and tells the window.
        ServerController next;
        QSignalSpy loaded(&next, &ServerController::proxySettingsChanged);
        next.init();
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(loaded.value(0), (QVariantList{"127.0.0.1", QVariant::fromValue(port), ProxyUser, ProxyPassword}));
        QCOMPARE(QNetworkProxy::applicationProxy().hostName(), QStringLiteral("127.0.0.1"));
        QVERIFY(!QNetworkProxyFactory::usesSystemConfiguration());
    }

    void clearingTheProxyForgetsIt()
    {
        // Starts from the proxy stored above.
        ServerController server;
        server.init();
        QSignalSpy validated(&server, &ServerController::proxySettingsValidated);

        // The empty server probes directly and succeeds.
        setService(QStringLiteral("https://localhost:%1").arg(m_service.httpsPort(0)));
        server.verifyProxySettings(QString(), 0, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        QCOMPARE(validated.takeFirst().value(0).toBool(), true);
        QCOMPARE(stored("P/S").toString(), QString());
        QCOMPARE(stored("P/PO").toInt(), 0);
        QVERIFY(QNetworkProxyFactory::usesSystemConfiguration());

        // A failing candidate afterwards brings back no earlier proxy.
        setService(QStringLiteral("https://%1").arg(ServiceName));
        server.verifyProxySettings("127.0.0.1", m_proxy.port(), ProxyUser, WrongPassword);
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        QCOMPARE(validated.takeFirst().value(0).toBool(), false);
        QVERIFY(QNetworkProxy::applicationProxy().hostName().isEmpty());
        QVERIFY(QNetworkProxyFactory::usesSystemConfiguration());
    }

    // Replies far larger than any real one, unpacked or not: each ends as a
    // failed request, memory stays flat, and the client goes on.
    void oversizedRepliesFail_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("1 GiB with its length") << "sized";
        QTest::newRow("1 GiB without a length") << "stream";
        QTest::newRow("gzip unpacking to 1 GiB") << "gzip";
    }
    void oversizedRepliesFail()
    {
        QFETCH(QString, kind);
        openSettings()->remove("P");
        setService(QStringLiteral("https://localhost:%1/huge/%2").arg(m_service.httpsPort(0)).arg(kind));
        ServerController server;
        server.init();
        QSignalSpy last(&server, &ServerController::lastDateTimeObtained);
        QSignalSpy validated(&server, &ServerController::proxySettingsValidated);
        const QString failure = QStringLiteral("ServerController::slotError Network Failure");
        const int failures = logText().count(failure);
        QVERIFY(resetPeakResident());
        const qint64 peakBefore = peakResidentKb();

        server.findOutLastUploadedDateTime();
        server.uploadStats(QStringLiteral("{\"data\":[1]}"));
        server.verifyProxySettings(QString(), 0, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 30000);
        QCOMPARE(validated.value(0), QVariantList{false});
        QTRY_COMPARE_WITH_TIMEOUT(logText().count(failure), failures + 3, 30000);
        QCOMPARE(last.count(), 0);
        const qint64 growthKb = peakResidentKb() - peakBefore;
        qInfo("three replies of 1 GiB (%s): peak resident memory grew by %lld kB", qPrintable(kind), growthKb);
        QVERIFY2(growthKb < 50 * 1024, qPrintable(QString::number(growthKb)));

        setService(QStringLiteral("https://localhost:%1").arg(m_service.httpsPort(0)));
        server.findOutLastUploadedDateTime();
        QTRY_COMPARE_WITH_TIMEOUT(last.count(), 1, 15000);
        QCOMPARE(last.value(0).value(0).toString(), LastUpload);
    }

    // A large answer within the bound is used, and a long stored value too,
    // but only the start of either is logged.
    void longValuesAreLoggedByTheirStart()
    {
        {
            QMutexLocker lock(&logMutex);
            logLines.clear();
        }
        const QString longText(1 << 20, QLatin1Char('a'));
        openSettings()->setValue("LL/DICP", "MAC-" + longText);
        openSettings()->setValue("P/S", longText + ".test");
        {
            ServerController stored;
            stored.init();
        }
        openSettings()->remove("LL/DICP");
        openSettings()->remove("P");
        QVERIFY(logText().contains("ServerController pcid"));

        setService(QStringLiteral("https://localhost:%1/big").arg(m_service.httpsPort(0)));
        ServerController server;
        server.init();
        QSignalSpy validated(&server, &ServerController::proxySettingsValidated);
        server.uploadStats(QStringLiteral("{\"data\":[1]}"));
        server.verifyProxySettings(QString(), 0, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        QCOMPARE(validated.value(0), QVariantList{true});
        QTRY_VERIFY(logText().contains("ServerController::dataUploaded"));
        QMutexLocker lock(&logMutex);
        int bodies = 0;
        for (const QString& line : logLines) {
            QVERIFY2(line.size() < 1000, qPrintable(line.left(100)));
            // The body's start, and how long it was.
            bodies += line.contains("status") && line.contains(QRegularExpression("\\(2\\d{5} characters\\)"));
        }
        QCOMPARE(bodies, 2);
    }

    // A service that never answers, or answers a byte a second, ends at the
    // request deadline as a network error; one whose status line, headers or
    // chunk-size line never ends, at the header deadline, with memory flat.
    // The next probe is not refused.
    void unansweredRequestsEndAtTheirDeadline_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<int>("deadlineMs");
        QTest::newRow("never answers") << "silent" << QByteArray("LUMORA_REQUEST_DEADLINE_MS") << 1500;
        QTest::newRow("one byte a second") << "slow" << QByteArray("LUMORA_REQUEST_DEADLINE_MS") << 1500;
        for (const char* kind : {"status-line", "header-line", "headers", "chunk-line"})
            QTest::newRow(kind) << QStringLiteral("endless/") + kind << QByteArray("LUMORA_HEADER_DEADLINE_MS") << 100;
    }
    void unansweredRequestsEndAtTheirDeadline()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, variable);
        QFETCH(int, deadlineMs);
        openSettings()->remove("P");
        qputenv(variable.constData(), QByteArray::number(deadlineMs));
        setService(QStringLiteral("https://localhost:%1/%2").arg(m_service.httpsPort(0)).arg(kind));
        ServerController server;
        server.init();
        QSignalSpy validated(&server, &ServerController::proxySettingsValidated);
        const QString failure = QStringLiteral("ServerController::slotError Network Failure");
        const int failures = logText().count(failure);
        QVERIFY(resetPeakResident());
        const qint64 peakBefore = peakResidentKb();
        QElapsedTimer waited;
        waited.start();
        server.verifyProxySettings(QString(), 0, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        const qint64 tookMs = waited.elapsed();
        qunsetenv(variable.constData());
        const qint64 growthKb = peakResidentKb() - peakBefore;
        qInfo("%s: ended after %lld ms, peak memory grew by %lld kB", qPrintable(kind), tookMs, growthKb);
        QCOMPARE(validated.takeFirst(), QVariantList{false});
        QVERIFY2(tookMs >= deadlineMs - 100 && tookMs < deadlineMs + 5000, qPrintable(QString::number(tookMs)));
        QVERIFY2(growthKb < 50 * 1024, qPrintable(QString::number(growthKb)));
        QCOMPARE(logText().count(failure), failures + 1);

        setService(QStringLiteral("https://localhost:%1").arg(m_service.httpsPort(0)));
        server.verifyProxySettings(QString(), 0, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(validated.count(), 1, 15000);
        QCOMPARE(validated.takeFirst(), QVariantList{true});
    }

private:
    QTemporaryDir m_dir;
    TestService m_service;
    TestProxy m_proxy;
};

QTEST_GUILESS_MAIN(TestServerController)
#include "tst_servercontroller.moc"
