// The update checker and downloader against a local HTTPS server with a
// test authority: which versions are offered, redirects and addresses that
// are refused, and downloads checked by MD5, with every question answered by
// clicking its buttons.

#include <QApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "net/updater/downloader.h"
#include "net/updater/updatecenter.h"
#include "net/updater/updater.h"
#include "tests/net/testservers.h"

namespace {

// Answers each message box that comes up with the next button of the list,
// by clicking it, and keeps the box's texts.
class BoxAnswers : public QObject
{
public:
    explicit BoxAnswers(QList<QMessageBox::StandardButton> answers) : m_answers(answers)
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswers::poll);
        m_timer.start(10);
    }
    QStringList seen;
    void then(QList<QMessageBox::StandardButton> answers) { m_answers += answers; }

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_last)
            return;
        m_last = box;
        seen << box->text() + QLatin1Char('\n') + box->informativeText();
        const QMessageBox::StandardButton answer =
            m_answers.isEmpty() ? QMessageBox::Cancel : m_answers.takeFirst();
        QAbstractButton* button = box->button(answer);
        if (!button)
            button = box->buttons().value(0);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QList<QMessageBox::StandardButton> m_answers;
    QPointer<QMessageBox> m_last;
    QTimer m_timer;
};

// Records what the desktop was asked to open.
class Opener : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// MD5 of the server's test pattern of the given length.
QString patternMd5(qint64 size)
{
    QByteArray block(65536, 0);
    for (int i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i % 251);
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (qint64 left = size; left > 0; left -= block.size())
        hash.addData(block.constData(), static_cast<int>(qMin<qint64>(left, block.size())));
    return QString::fromLatin1(hash.result().toHex());
}

QStringList tempEntries()
{
    return QDir(QDir::tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

}  // namespace

class TestUpdater : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void versionOrder_data();
    void versionOrder();
    void offersNewestAcceptableEntry();
    void quietWithoutNewerVersionOrServer();
    void feedTextIsNotMarkup();
    void redirects();
    void corruptedDownloadIsOfferedAgain();
    void pathLikeNamesAreRefused();
    // Last: opening the installer quits the application, after which no
    // nested event loop runs any more.
    void downloadWithoutLengthStaysOnDisk();
    void cleanupTestCase();

private:
    QString url(const QString& path) const { return m_base + path; }
    void writeFeed(const QString& name, const QJsonArray& entries);
    // One check of the feed with the given answers; the question texts seen.
    QStringList check(const QString& feed, QList<QMessageBox::StandardButton> answers, bool beta = false,
                      Updater** used = nullptr);
    // The same with the caller's answerer, which may outlive the check.
    void check(const QString& feed, BoxAnswers& boxes, bool beta = false, Updater** used = nullptr);

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_base;
    int m_feeds = 0;
};

void TestUpdater::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Lumora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.7.4.0"));
    QVERIFY(makeCertificates(m_dir.path()));
    QDir(m_dir.path()).mkpath(QStringLiteral("feeds"));
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start("python3", {LUMORA_SOURCE_DIR "/tests/net/updater/updateserver.py", "--cert",
                               m_dir.path() + "/good.pem", "--key", m_dir.path() + "/good.key", "--root",
                               m_dir.path() + "/feeds", "--log", m_dir.path() + "/requests.log"});
    QVERIFY(m_server.waitForReadyRead(20000));
    const int port = m_server.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    m_base = QStringLiteral("https://localhost:%1").arg(port);
}

void TestUpdater::cleanupTestCase()
{
    stop(m_server);
}

void TestUpdater::writeFeed(const QString& name, const QJsonArray& entries)
{
    QJsonObject updates{{"linux", entries}, {"osx", QJsonArray{QJsonObject{{"latest-version", "99"}}}}};
    QFile f(m_dir.path() + "/feeds/" + name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(QJsonObject{{"updates", updates}}).toJson());
}

QStringList TestUpdater::check(const QString& feed, QList<QMessageBox::StandardButton> answers, bool beta,
                               Updater** used)
{
    BoxAnswers boxes(answers);
    check(feed, boxes, beta, used);
    return boxes.seen;
}

void TestUpdater::check(const QString& feed, BoxAnswers& boxes, bool beta, Updater** used)
{
    // A feed address of its own for each check, so each gets a fresh Updater.
    const QString address = feed.contains("://") ? feed : url(feed) + QStringLiteral("?%1").arg(++m_feeds);
    UpdateCenter* center = UpdateCenter::getInstance();
    center->setModuleVersion(address, QCoreApplication::applicationVersion());
    center->setEnableBeta(address, beta);
    QSignalSpy finished(center, SIGNAL(checkingFinished(QString)));
    center->checkForUpdates(address);
    if (!finished.wait(15000))
        qWarning("the check did not finish");
    if (finished.count() != 1)
        qWarning("checkingFinished came %d times", finished.count());
    if (used)
        *used = center->updaterFor(address);
}

void TestUpdater::versionOrder_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("newer");
    QTest::newRow("numeric parts") << "3.7.9" << "3.7.10" << true;
    QTest::newRow("older") << "3.8" << "3.7.10" << false;
    QTest::newRow("longer, same prefix") << "3.7.4.0" << "3.7.4.0.1" << false;
    QTest::newRow("shorter, same prefix") << "1.2.1" << "1.2" << false;
    QTest::newRow("missing version") << "3.7.4.0" << "" << false;
}

void TestUpdater::versionOrder()
{
    QFETCH(QString, installed);
    QFETCH(QString, offered);
    QFETCH(bool, newer);
    Updater updater;
    QCOMPARE(updater.compare(installed, offered), newer);
}

void TestUpdater::offersNewestAcceptableEntry()
{
    const QString file = url("/sized/10/lumora.bin");
    writeFeed("main.json",
              {QJsonObject{{"latest-version", "3.7.4.0"}, {"download-url", file}},
               QJsonObject{{"latest-version", "3.8"}, {"download-url", file}, {"size-in-mb", 12}},
               QJsonObject{{"latest-version", "3.7.10"}, {"download-url", file}},
               QJsonObject{{"latest-version", "4.0"}, {"beta", true}, {"download-url", file}},
               QJsonObject{{"latest-version", "9.0"}, {"download-url", "file:///etc/passwd"}},
               QJsonObject{{"latest-version", "9.1"}, {"open-url", "data:text/html,<b>x</b>"}},
               QJsonObject{{"latest-version", "9.2"}, {"download-url", "http://localhost/x.bin"}}});

    QStringList seen = check("/feed/main.json", {QMessageBox::No});
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen[0].contains("Version 3.8 of Lumora") && seen[0].contains("size 12MB"), qPrintable(seen[0]));

    seen = check("/feed/main.json", {QMessageBox::No}, true);
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen[0].contains("Version 4.0 of Lumora"), qPrintable(seen[0]));

    // Yes on an entry with a release page opens that page and downloads nothing.
    writeFeed("page.json", {QJsonObject{{"latest-version", "3.9"}, {"open-url", url("/release")},
                                        {"download-url", file}}});
    Opener opener;
    QDesktopServices::setUrlHandler("https", &opener, "open");
    Updater* updater = nullptr;
    seen = check("/feed/page.json", {QMessageBox::Yes}, false, &updater);
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(opener.opened, QList<QUrl>{QUrl(url("/release"))});
    QVERIFY(updater->downloader()->isHidden());
}

void TestUpdater::quietWithoutNewerVersionOrServer()
{
    writeFeed("old.json", {QJsonObject{{"latest-version", "3.7.4.0"}, {"download-url", url("/sized/1/a")}},
                           QJsonObject{{"latest-version", "3.7.3"}, {"download-url", url("/sized/1/a")}},
                           QJsonObject{{"latest-version", "3.7.4.0.1"}, {"download-url", url("/sized/1/a")}}});
    Updater* updater = nullptr;
    QCOMPARE(check("/feed/old.json", {}, true, &updater), QStringList());
    QVERIFY(!updater->updateAvailable());
    writeFeed("empty.json", {});
    QCOMPARE(check("/feed/empty.json", {}), QStringList());
    QCOMPARE(check("/feed/missing.json", {}), QStringList());
    // Nothing listens there: the check ends quietly.
    QCOMPARE(check("https://localhost:1/files/download/updates.json", {}), QStringList());
}

void TestUpdater::feedTextIsNotMarkup()
{
    writeFeed("markup.json", {QJsonObject{{"latest-version", "3.9.<b>1</b>"}, {"download-url", url("/sized/1/a")}}});
    const QStringList seen = check("/feed/markup.json", {QMessageBox::No});
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen[0].contains("3.9.&lt;b&gt;1&lt;/b&gt;"), qPrintable(seen[0]));
}

void TestUpdater::redirects()
{
    writeFeed("moved.json", {QJsonObject{{"latest-version", "3.8"}, {"download-url", url("/sized/1/a")}}});
    // Relative redirects are resolved against the request; later checks ask
    // where the feed was found.
    Updater* updater = nullptr;
    QCOMPARE(check(url("/redirect/3/feed/moved.json"), {QMessageBox::No}, false, &updater).size(), 1);
    QCOMPARE(updater->url(), url("/feed/moved.json"));

    QFile::remove(m_dir.path() + "/requests.log");
    QCOMPARE(check(url("/loop"), {}), QStringList());
    QFile log(m_dir.path() + "/requests.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().count("/loop") <= Updater::kMaxRedirects + 1);

    // HTTPS to plain HTTP is never followed.
    QCOMPARE(check(url("/to-http/feed/moved.json"), {}), QStringList());
}

void TestUpdater::downloadWithoutLengthStaysOnDisk()
{
    const qint64 size = 200LL * 1024 * 1024;
    writeFeed("big.json", {QJsonObject{{"latest-version", "4.1"},
                                       {"download-url", url(QStringLiteral("/stream/%1/lumora-4.1.bin").arg(size))},
                                       {"md5", patternMd5(size)}}});
    Opener opener;
    QDesktopServices::setUrlHandler("file", &opener, "open");
    const qint64 peakBefore = peakResidentKb();

    UpdateCenter* center = UpdateCenter::getInstance();
    QSignalSpy done(center, SIGNAL(downloadFinished(QString,QString)));
    // Yes to the update, then Cancel to installing now.
    Updater* updater = nullptr;
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Cancel});
    check("/feed/big.json", boxes, false, &updater);
    QVERIFY(done.count() == 1 || done.wait(120000));
    QTRY_COMPARE(boxes.seen.size(), 2);
    const QString path = done.at(0).at(1).toString();
    const qint64 growthKb = peakResidentKb() - peakBefore;
    qInfo("200 MB without a length: peak resident memory grew by %lld kB", growthKb);
    QVERIFY2(growthKb < 20 * 1024, qPrintable(QStringLiteral("peak memory grew by %1 kB").arg(growthKb)));
    QCOMPARE(QFileInfo(path).size(), size);
    QCOMPARE(Downloader::fileChecksum(path, QCryptographicHash::Md5), patternMd5(size));
    // The download sits alone in a folder only this user can enter.
    const QFileInfo folder(QFileInfo(path).absolutePath());
    QCOMPARE(folder.absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    QCOMPARE(folder.permissions() & 0x0077, QFileDevice::Permissions());
    QCOMPARE(QDir(folder.absoluteFilePath()).entryList(QDir::Files), QStringList{"lumora-4.1.bin"});
    QVERIFY(opener.opened.isEmpty());

    // The window offers Open; the desktop cannot open the file at first,
    // which the user is told, and the program does not quit.
    Downloader* window = updater->downloader();
    QPushButton* open = window->findChild<QPushButton*>("openButton");
    QTRY_VERIFY(open->isVisible());
    QDesktopServices::unsetUrlHandler("file");
    boxes.then({QMessageBox::Ok, QMessageBox::Close});
    QTest::mouseClick(open, Qt::LeftButton);
    QTRY_COMPARE(boxes.seen.size(), 4);
    QVERIFY2(boxes.seen[3].contains("could not be opened"), qPrintable(boxes.seen[3]));
    QDesktopServices::setUrlHandler("file", &opener, "open");
    boxes.then({QMessageBox::Ok});
    QTest::mouseClick(open, Qt::LeftButton);
    QTRY_COMPARE(opener.opened, QList<QUrl>{QUrl::fromLocalFile(path)});
    QDesktopServices::unsetUrlHandler("file");
}

void TestUpdater::corruptedDownloadIsOfferedAgain()
{
    writeFeed("bad.json", {QJsonObject{{"latest-version", "4.2"}, {"download-url", url("/sized/5000/x.bin")},
                                       {"md5", patternMd5(4999)}}});
    UpdateCenter* center = UpdateCenter::getInstance();
    QSignalSpy done(center, SIGNAL(downloadFinished(QString,QString)));
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Cancel});
    check("/feed/bad.json", boxes);
    QTRY_COMPARE(boxes.seen.size(), 2);
    QVERIFY2(boxes.seen[1].contains("corrupted"), qPrintable(boxes.seen[1]));
    QCOMPARE(done.count(), 0);
}

void TestUpdater::pathLikeNamesAreRefused()
{
    const QStringList before = tempEntries();
    for (const QString& name : {QStringLiteral(".."), QStringLiteral("..%2F..%2Fescape.bin"),
                                QStringLiteral("%2Fescape.bin")}) {
        writeFeed("names.json", {QJsonObject{{"latest-version", "4.3"},
                                             {"download-url", url("/sized/10/") + name},
                                             {"md5", patternMd5(10)}}});
        BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Ok});
        check("/feed/names.json", boxes);
        QTRY_COMPARE(boxes.seen.size(), 2);
        QVERIFY2(boxes.seen[1].contains("cannot be downloaded"), qPrintable(boxes.seen[1]));
    }
    // Nothing was fetched or written for any of them.
    QCOMPARE(tempEntries(), before);
    QFile log(m_dir.path() + "/requests.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains("escape"));
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
