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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/logfile.h"
#include "app/logutils.h"
#include "net/updater/downloader.h"
#include "net/updater/updatecenter.h"
#include "net/updater/updater.h"
#include "tests/support/networkservers.h"

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
    void redirectsShareTheDeadline();
    void corruptedDownloadIsOfferedAgain();
    void pathLikeNamesAreRefused();
    void oversizedFeedsFail_data();
    void oversizedFeedsFail();
    void slowFeedEndsAtItsDeadline();
    void endlessRepliesEndAtTheHeaderDeadline_data();
    void endlessRepliesEndAtTheHeaderDeadline();
    void downloadsKeepAMinimumRate();
    void cancelledDownloadLeavesNoFolder();
    void closedDownloaderStopsQuietly();
    void otherWindowsAnswerDuringADownload();
    void failedRequestIsNotCorruption();
    void oversizedDownloadsStopAtTheAnnouncedSize_data();
    void oversizedDownloadsStopAtTheAnnouncedSize();
    void fullDiskStopsAtTheFirstFailedWrite();
    void staleFoldersAreRemovedAtStart();
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
    UpdateServer m_server;
    QString m_base;
    int m_feeds = 0;
};

void TestUpdater::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Lumora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.7.4.0"));
    QVERIFY(makeCertificates(m_dir.path()));
    QDir(m_dir.path()).mkpath(QStringLiteral("feeds"));
    QVERIFY(m_server.start(m_dir.path(), m_dir.path() + "/feeds"));
    m_base = m_server.base();
}

void TestUpdater::cleanupTestCase()
{
    m_server.stop();
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

void TestUpdater::check(const QString& feed, BoxAnswers& /*answering*/, bool beta, Updater** used)
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
               QJsonObject{{"latest-version", "9.2"}, {"download-url", "http://localhost/x.bin"}},
               // One character past what a version may be.
               QJsonObject{{"latest-version", "9." + QString(Updater::kMaxVersionCharacters - 1, '1')},
                           {"download-url", file}}});

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

// The deadline is the whole check's: hops that are each in time but together
// late end it as a failed one.
void TestUpdater::redirectsShareTheDeadline()
{
    writeFeed("late.json", {QJsonObject{{"latest-version", "3.9"}, {"download-url", url("/sized/1/a")}}});
    const QString late = QStringLiteral("/late-redirect/4/feed/late.json");
    QCOMPARE(check(late, {QMessageBox::No}).size(), 1);
    qputenv("LUMORA_REQUEST_DEADLINE_MS", "1200");
    const QStringList seen = check(late, {QMessageBox::No});
    qunsetenv("LUMORA_REQUEST_DEADLINE_MS");
    QCOMPARE(seen, QStringList());
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
    const QStringList before = tempEntries();
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Cancel});
    check("/feed/bad.json", boxes);
    QTRY_COMPARE(boxes.seen.size(), 2);
    QVERIFY2(boxes.seen[1].contains("corrupted"), qPrintable(boxes.seen[1]));
    QCOMPARE(done.count(), 0);
    // The failed download's folder went with it.
    QCOMPARE(tempEntries(), before);
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

void TestUpdater::oversizedFeedsFail_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("1 GiB with its length") << "/sized/1073741824/updates.json";
    QTest::newRow("1 GiB without a length") << "/stream/1073741824/updates.json";
    QTest::newRow("gzip unpacking to 1 GiB") << "/gzip/1073741824/updates.json";
}

// A feed far larger than any real one ends the check as a failed one,
// without holding it in memory.
void TestUpdater::oversizedFeedsFail()
{
    QFETCH(QString, path);
    QSignalSpy finished(UpdateCenter::getInstance(), SIGNAL(checkingFinished(QString)));
    QVERIFY(resetPeakResident());
    const qint64 peakBefore = peakResidentKb();
    Updater* updater = nullptr;
    QCOMPARE(check(path, {}, false, &updater), QStringList());
    QCOMPARE(finished.count(), 1);
    QVERIFY(!updater->updateAvailable());
    const qint64 growthKb = peakResidentKb() - peakBefore;
    qInfo("feed %s: peak resident memory grew by %lld kB", qPrintable(path), growthKb);
    QVERIFY2(growthKb < 50 * 1024, qPrintable(QString::number(growthKb)));
}

void TestUpdater::slowFeedEndsAtItsDeadline()
{
    qputenv("LUMORA_REQUEST_DEADLINE_MS", "1500");
    QSignalSpy finished(UpdateCenter::getInstance(), SIGNAL(checkingFinished(QString)));
    QElapsedTimer waited;
    waited.start();
    const QStringList seen = check("/slow/1/100000/updates.json", {});
    qunsetenv("LUMORA_REQUEST_DEADLINE_MS");
    QCOMPARE(seen, QStringList());
    QCOMPARE(finished.count(), 1);
    QVERIFY2(waited.elapsed() >= 1400, qPrintable(QString::number(waited.elapsed())));
}

void TestUpdater::endlessRepliesEndAtTheHeaderDeadline_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"status-line", "header-line", "headers", "chunk-line", "later-chunk-line"})
        QTest::newRow(kind) << kind;
}

// A reply whose status line, headers or chunk-size line never ends fills
// memory unseen: the feed check and the download end within the header
// deadline as failed ones, with memory flat.
void TestUpdater::endlessRepliesEndAtTheHeaderDeadline()
{
    QFETCH(QString, kind);
    qputenv("LUMORA_HEADER_DEADLINE_MS", "100");
    QVERIFY(resetPeakResident());
    const qint64 peakBefore = peakResidentKb();
    QSignalSpy finished(UpdateCenter::getInstance(), SIGNAL(checkingFinished(QString)));
    QElapsedTimer waited;
    waited.start();
    QCOMPARE(check("/endless/" + kind, {}), QStringList());
    QCOMPARE(finished.count(), 1);
    const qint64 feedMs = waited.elapsed();

    writeFeed("endless.json", {QJsonObject{{"latest-version", "4.9"},
                                           {"download-url", url("/endless/" + kind + "/endless.bin")},
                                           {"md5", patternMd5(1)}}});
    const QStringList before = tempEntries();
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Cancel});
    waited.restart();
    check("/feed/endless.json", boxes);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 2, 15000);
    const qint64 downloadMs = waited.elapsed();
    qunsetenv("LUMORA_HEADER_DEADLINE_MS");
    QVERIFY2(boxes.seen[1].contains("Press OK to download again"), qPrintable(boxes.seen[1]));
    QCOMPARE(tempEntries(), before);
    const qint64 growthKb = peakResidentKb() - peakBefore;
    qInfo("endless %s: the feed ended after %lld ms, the download after %lld ms, peak memory grew by %lld kB",
          qPrintable(kind), feedMs, downloadMs, growthKb);
    QVERIFY2(feedMs < 5000 && downloadMs < 5000, "not within the header deadline");
    QVERIFY2(growthKb < 50 * 1024, qPrintable(QString::number(growthKb)));
}

// A slow but steady download finishes; one at a byte a second is stopped
// after a window, offered again, and leaves nothing behind.
void TestUpdater::downloadsKeepAMinimumRate()
{
    qputenv("LUMORA_DOWNLOAD_WINDOW_MS", "1000");
    qputenv("LUMORA_DOWNLOAD_MIN_RATE", "2000");
    const qint64 size = 48000;
    writeFeed("steady.json", {QJsonObject{{"latest-version", "4.4"},
                                          {"download-url", url(QStringLiteral("/slow/16000/%1/steady.bin").arg(size))},
                                          {"md5", patternMd5(size)}}});
    UpdateCenter* center = UpdateCenter::getInstance();
    QSignalSpy done(center, SIGNAL(downloadFinished(QString,QString)));
    {
        // Its own scope: an answerer still alive would answer later boxes too.
        QElapsedTimer waited;
        waited.start();
        BoxAnswers steady({QMessageBox::Yes, QMessageBox::Cancel});
        check("/feed/steady.json", steady);
        QVERIFY(done.count() == 1 || done.wait(20000));
        QTRY_COMPARE(steady.seen.size(), 2);
        QVERIFY2(steady.seen[1].contains("Installing the update"), qPrintable(steady.seen[1]));
        QVERIFY2(waited.elapsed() > 2000, "the download was not slow");
    }

    writeFeed("stalled.json", {QJsonObject{{"latest-version", "4.5"},
                                           {"download-url", url("/slow/1/100000/stalled.bin")},
                                           {"md5", patternMd5(100000)}}});
    const QStringList before = tempEntries();
    BoxAnswers stalled({QMessageBox::Yes, QMessageBox::Cancel});
    check("/feed/stalled.json", stalled);
    QTRY_COMPARE_WITH_TIMEOUT(stalled.seen.size(), 2, 15000);
    qunsetenv("LUMORA_DOWNLOAD_WINDOW_MS");
    qunsetenv("LUMORA_DOWNLOAD_MIN_RATE");
    QVERIFY2(stalled.seen[1].contains("Press OK to download again"), qPrintable(stalled.seen[1]));
    QCOMPARE(done.count(), 1);
    QCOMPARE(tempEntries(), before);
}

void TestUpdater::cancelledDownloadLeavesNoFolder()
{
    writeFeed("cancel.json", {QJsonObject{{"latest-version", "4.8"},
                                          {"download-url", url("/slow/4000/1000000/cancel.bin")},
                                          {"md5", patternMd5(1000000)}}});
    const QStringList before = tempEntries();
    // Yes to the update, Yes to cancelling it, Cancel to downloading again.
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Cancel});
    Updater* updater = nullptr;
    check("/feed/cancel.json", boxes, false, &updater);
    Downloader* window = updater->downloader();
    QTRY_VERIFY(QFileInfo(window->downloadFolder() + "/cancel.bin.part").size() > 0);
    QTest::mouseClick(window->findChild<QPushButton*>("stopButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.seen.size(), 3);
    QVERIFY2(boxes.seen[1].contains("cancel the download"), qPrintable(boxes.seen[1]));
    QVERIFY2(boxes.seen[2].contains("Press OK to download again"), qPrintable(boxes.seen[2]));
    QCOMPARE(tempEntries(), before);
}

// The window manager's close (Alt+F4) ends the download: the file stops
// growing, its folder goes and no question comes up later.
void TestUpdater::closedDownloaderStopsQuietly()
{
    writeFeed("close.json", {QJsonObject{{"latest-version", "4.9"},
                                         {"download-url", url("/slow/4000/1000000/close.bin")},
                                         {"md5", patternMd5(1000000)}}});
    const QStringList before = tempEntries();
    BoxAnswers boxes({QMessageBox::Yes});
    Updater* updater = nullptr;
    check("/feed/close.json", boxes, false, &updater);
    Downloader* window = updater->downloader();
    const QString part = window->downloadFolder() + "/close.bin.part";
    QTRY_VERIFY(QFileInfo(part).size() > 0);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // Delivered as the window system delivers a close.
    window->windowHandle()->close();
    QTRY_VERIFY(window->isHidden());
    QTRY_COMPARE(tempEntries(), before);
    QTest::qWait(3000);
    QCOMPARE(tempEntries(), before);
    QVERIFY(!QFileInfo::exists(part));
    QCOMPARE(boxes.seen.size(), 1);
}

// The downloader and its cancel question block no other window: a click on
// another window's button arrives while both are open.
void TestUpdater::otherWindowsAnswerDuringADownload()
{
    writeFeed("modal.json", {QJsonObject{{"latest-version", "5.0"},
                                         {"download-url", url("/slow/4000/1000000/modal.bin")},
                                         {"md5", patternMd5(1000000)}}});
    QWidget other;
    QPushButton* button = new QPushButton("other", &other);
    other.resize(200, 100);
    other.move(600, 400);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QSignalSpy clicked(button, &QPushButton::clicked);
    auto click = [&]() {
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          button->mapTo(&other, button->rect().center()));
    };

    const QStringList before = tempEntries();
    Updater* updater = nullptr;
    {
        // Yes to the update, and to nothing after it.
        BoxAnswers boxes({QMessageBox::Yes});
        check("/feed/modal.json", boxes, false, &updater);
        QCOMPARE(boxes.seen.size(), 1);
    }
    Downloader* window = updater->downloader();
    QTRY_VERIFY(QFileInfo(window->downloadFolder() + "/modal.bin.part").size() > 0);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(window->windowModality() != Qt::ApplicationModal);
    click();
    QCOMPARE(clicked.count(), 1);

    // Stop: while its question is asked (from within the question's own
    // loop), the other window still answers; then No.
    int clicksDuringQuestion = -1;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&]() {
        auto* question = window->findChild<QMessageBox*>();
        if (!question || !question->isVisible() || clicksDuringQuestion >= 0)
            return;
        click();
        clicksDuringQuestion = clicked.count();
        QTest::mouseClick(question->button(QMessageBox::No), Qt::LeftButton);
    });
    poll.start(10);
    QTimer::singleShot(0, window->findChild<QPushButton*>("stopButton"), &QPushButton::click);
    QTRY_VERIFY(clicksDuringQuestion >= 0);
    poll.stop();
    QCOMPARE(clicksDuringQuestion, 2);
    QVERIFY(window->isVisible());
    // The download went on; the window manager's close ends it.
    window->windowHandle()->close();
    QTRY_COMPARE(tempEntries(), before);
}

// A request the server refuses is reported as one that cannot be
// downloaded, not as a corrupted file.
void TestUpdater::failedRequestIsNotCorruption()
{
    writeFeed("gone.json", {QJsonObject{{"latest-version", "5.1"}, {"download-url", url("/nothing/gone.bin")},
                                        {"md5", patternMd5(10)}}});
    const QStringList before = tempEntries();
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Cancel});
    check("/feed/gone.json", boxes);
    QTRY_COMPARE(boxes.seen.size(), 2);
    QVERIFY2(boxes.seen[1].contains("Press OK to download again") && boxes.seen[1].contains("cannot be downloaded") &&
                 !boxes.seen[1].contains("corrupted"),
             qPrintable(boxes.seen[1]));
    QCOMPARE(tempEntries(), before);
}

void TestUpdater::oversizedDownloadsStopAtTheAnnouncedSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("64 MiB without a length") << "/stream/67108864/over.bin";
    QTest::newRow("64 MiB with its length") << "/sized/67108864/over.bin";
    QTest::newRow("gzip unpacking to 1 GiB") << "/gzip/1073741824/over.bin";
}

// An entry announcing 1 MB: the file never grows past that (with its
// margin), whatever the server sends or packs, and the failed download is
// offered again without leaving its folder.
void TestUpdater::oversizedDownloadsStopAtTheAnnouncedSize()
{
    QFETCH(QString, path);
    writeFeed("over.json", {QJsonObject{{"latest-version", "4.6"}, {"download-url", url(path)},
                                        {"md5", patternMd5(1)}, {"size-in-mb", 1}}});
    const QStringList before = tempEntries();
    const QDir temp(QDir::tempPath());
    qint64 largest = 0;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        for (const QString& name : temp.entryList({"lumora-update-*"}, QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (before.contains(name))
                continue;
            for (const QFileInfo& f : QDir(temp.filePath(name)).entryInfoList(QDir::Files))
                largest = qMax(largest, f.size());
        }
    });
    watch.start(1);
    QVERIFY(resetPeakResident());
    const qint64 peakBefore = peakResidentKb();
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Cancel});
    check("/feed/over.json", boxes);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 2, 30000);
    watch.stop();
    QVERIFY2(boxes.seen[1].contains("Press OK to download again"), qPrintable(boxes.seen[1]));
    const qint64 limit = 2 * 1048576 * 5 / 4;
    qInfo("%s for 1 MB announced: the file reached %lld bytes", qPrintable(path), largest);
    QVERIFY(largest > 0);
    QVERIFY2(largest <= limit, qPrintable(QString::number(largest)));
    QVERIFY(peakResidentKb() - peakBefore < 50 * 1024);
    QCOMPARE(tempEntries(), before);
    // The file is asked for as it is, not packed.
    QFile log(m_dir.path() + "/requests.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains(path.toUtf8() + " Lumora/3.7.4.0 (Qt; UpdateCenter)|accept-encoding=identity\n"));
}

// On a full file system the download stops at the first failed write, with
// a handful of log lines that give the system's reason, and the user is
// offered to download again.
void TestUpdater::fullDiskStopsAtTheFirstFailedWrite()
{
    const QByteArray mounted = qgetenv("LUMORA_FULL_DISK_DIR");
    if (mounted.isEmpty()) {
        // A mount namespace is only for a process without threads: the case
        // runs again in a child, in a namespace of its own where a 1 MB file
        // system is the temporary folder.
        if (geteuid() != 0)
            QSKIP("a small file system can only be mounted as root");
        const QString unshare = QStandardPaths::findExecutable("unshare");
        if (unshare.isEmpty() || QProcess::execute(unshare, {"-m", "true"}) != 0)
            QSKIP("no private mount namespace here (unshare -m)");
        const QString mount = m_dir.path() + "/full";
        QVERIFY(QDir().mkpath(mount));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LUMORA_FULL_DISK_DIR", mount);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(unshare, {"-m", "--propagation", "private", "sh", "-c",
                              "mount -t tmpfs -o size=1m lumora-full \"$1\" || exit 77; exec \"$2\" "
                              "fullDiskStopsAtTheFirstFailedWrite",
                              "sh", mount, QCoreApplication::applicationFilePath()});
        QVERIFY(child.waitForFinished(60000));
        if (child.exitCode() == 77)
            QSKIP("a tmpfs cannot be mounted here");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        return;
    }

    QVERIFY(LOGUTILS::initLogging(m_dir.path() + "/logs"));
    qputenv("TMPDIR", mounted);
    const qint64 size = 64LL << 20;
    const QString path = QStringLiteral("/sized/%1/full.bin").arg(size);
    writeFeed("full.json",
              {QJsonObject{{"latest-version", "4.7"}, {"download-url", url(path)}, {"md5", patternMd5(size)}}});
    // Yes to the update, OK to the first failure, Cancel to the second.
    BoxAnswers boxes({QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Cancel});
    check("/feed/full.json", boxes);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 3, 30000);
    qInstallMessageHandler(nullptr);
    QVERIFY2(boxes.seen[1].contains("Press OK to download again"), qPrintable(boxes.seen[1]));
    QVERIFY2(boxes.seen[2].contains("Press OK to download again"), qPrintable(boxes.seen[2]));
    QFile log(LOGUTILS::getLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    const int lines = logged.count('\n');
    qInfo("two downloads into a full file system: %d log lines", lines);
    QVERIFY(lines > 0);
    QVERIFY2(lines < 100, qPrintable(QString::number(lines)));
    // The system's reason, also where the write was cut short.
    QCOMPARE(logged.count("write failed: No space left on device"), 2);
    QVERIFY(!logged.contains("Unknown error"));
    QCOMPARE(QDir(QString::fromLocal8Bit(mounted)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QFile requests(m_dir.path() + "/requests.log");
    QVERIFY(requests.open(QIODevice::ReadOnly));
    QCOMPARE(requests.readAll().count(path.toUtf8()), 2);
}

// Leftovers of this user older than a day go when the downloader starts; a
// fresh one, another user's and a link (and what it leads to) stay.
void TestUpdater::staleFoldersAreRemovedAtStart()
{
    const QDir temp(QDir::tempPath());
    const qint64 old = QDateTime::currentSecsSinceEpoch() - 2 * 24 * 3600;
    auto age = [old](const QString& path) {
        const struct timespec times[2] = {{old, 0}, {old, 0}};
        return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
    };
    auto folder = [&](const QString& name) {
        const QString path = temp.filePath(name);
        QDir().mkpath(path);
        QFile f(path + "/lumora.bin.part");
        f.open(QIODevice::WriteOnly);
        f.write("x");
        return path;
    };
    const QString stale = folder("lumora-update-stale1");
    QVERIFY(age(stale));
    const QString fresh = folder("lumora-update-fresh1");
    const QString others = folder("lumora-update-others");
    QVERIFY(age(others));
    const bool otherUser = geteuid() == 0 && chown(QFile::encodeName(others).constData(), 65534, 65534) == 0;
    if (!otherUser) {
        qWarning("not root: the folder of another user is not tried");
        QDir(others).removeRecursively();
    }
    const QString target = folder("kept-by-link");
    QVERIFY(age(target));
    const QString link = temp.filePath("lumora-update-link12");
    QVERIFY(QFile::link(target, link));
    QVERIFY(age(link));

    { Downloader starting; }

    QVERIFY(!QFileInfo::exists(stale));
    QVERIFY(QFileInfo::exists(fresh + "/lumora.bin.part"));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(target + "/lumora.bin.part"));
    if (otherUser)
        QVERIFY(QFileInfo::exists(others + "/lumora.bin.part"));
    for (const QString& path : {fresh, others, target})
        QDir(path).removeRecursively();
    QFile::remove(link);
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
