#include "net/updater/downloader.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>

#include "core/loggedvalue.h"
#include "net/replylimits.h"
#include "ui_downloader.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kRedirects[] = "lumoraRedirects";

uint nowSeconds()
{
    return static_cast<uint>(QDateTime::currentDateTimeUtc().toSecsSinceEpoch());
}

// A name the download may take: not a path, not "." or "..", also once
// percent-decoded ("..%2Fx" is a path as well).
bool isPlainFileName(const QString& name)
{
    const QString decoded = QUrl::fromPercentEncoding(name.toUtf8());
    for (const QString& n : {name, decoded}) {
        if (n.isEmpty() || n == QLatin1String(".") || n == QLatin1String("..") || n.contains(QLatin1Char('/')) ||
            n.contains(QLatin1Char('\\')) || n.contains(QChar(0)))
            return false;
    }
    return true;
}

}  // namespace

Downloader::Downloader(QWidget* parent)
    : QWidget(parent), m_downloadDir(QDir::tempPath()), m_ui(new Ui::Downloader),
      m_manager(new QNetworkAccessManager())
{
    m_ui->setupUi(this);
    setWindowTitle(tr("Updater"));
    // Not modal: a download takes minutes, and the tray menu (Exit, Pause)
    // must answer meanwhile.
    setWindowModality(Qt::NonModal);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setWindowIcon(QIcon());
    setFixedSize(minimumSizeHint());
    m_ui->openButton->setEnabled(false);
    m_ui->openButton->setVisible(false);
    connect(m_ui->openButton, &QPushButton::clicked, this, &Downloader::installUpdate);
    connect(m_ui->stopButton, &QPushButton::clicked, this, &Downloader::cancelDownload);
    removeStaleFolders(downloadDir());
}

Downloader::~Downloader()
{
    qDebug() << "~Downloader";
    delete m_reply;
    delete m_manager;
    if (!m_complete)
        discardFolder();
}

void Downloader::removeStaleFolders(const QString& dir)
{
    const qint64 dayAgo = QDateTime::currentSecsSinceEpoch() - 24 * 3600;
    const QStringList names = QDir(dir).entryList({QStringLiteral("lumora-update-*")},
                                                  QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString path = dir + QLatin1Char('/') + name;
        // lstat: a link is never followed, and only this user's own folders
        // count. Nobody else can rename an entry of ours in the shared
        // temporary folder, so it is still the one looked at.
        struct stat st;
        if (lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != geteuid() || st.st_mtime >= dayAgo)
            continue;
        if (QDir(path).removeRecursively())
            qDebug() << "Downloader removed an old download folder" << name;
    }
}

void Downloader::setAnnouncedSize(int megabytes)
{
    m_announcedMb = qMax(0, megabytes);
}

qint64 Downloader::sizeLimit() const
{
    bool known = false;
    const qint64 length = m_reply ? m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known) : 0;
    // The smaller of what the server and the feed announce: neither may
    // make the other's bound larger.
    const qint64 announced = m_announcedMb > 0 ? (qint64(m_announcedMb) + 1) * 1048576 * 5 / 4 : -1;
    if (known && length >= 0)
        return announced >= 0 ? qMin(length, announced) : length;
    return announced;
}

void Downloader::fail(const QString& why)
{
    if (m_failed || !m_reply)
        return;
    m_failed = true;
    qWarning().noquote() << "Downloader::saveFile download stopped:" << why;
    m_reply->abort();
}

void Downloader::discardFolder()
{
    if (m_folder)
        m_folder->remove();
    m_folder.reset();
    m_complete = false;
}

QString Downloader::downloadDir() const
{
    return m_downloadDir.absolutePath();
}

void Downloader::setDownloadDir(const QString& downloadDir)
{
    if (m_downloadDir.absolutePath() != downloadDir)
        m_downloadDir = QDir(downloadDir);
}

QString Downloader::downloadFolder() const
{
    return m_folder ? m_folder->path() : QString();
}

void Downloader::setUpdateProperties(QString url, QString md5)
{
    m_url = url;
    m_md5 = md5;
}

void Downloader::setFileName(QString file)
{
    m_fileName = file.isEmpty() ? QStringLiteral("QSU_Update.bin") : file;
    m_fileNameRefused = !isPlainFileName(m_fileName);
    if (m_fileNameRefused)
        qWarning() << "Downloader::setFileName refused a name that is not a plain file name";
}

void Downloader::setUserAgentString(QString agent)
{
    m_userAgent = agent;
}

QString Downloader::partPath() const
{
    return filePath() + QStringLiteral(".part");
}

QString Downloader::filePath() const
{
    return m_folder ? m_folder->path() + QLatin1Char('/') + m_fileName : QString();
}

bool Downloader::isCurrent(QObject* reply) const
{
    return reply && reply == m_reply;
}

void Downloader::refuse(const QString& why)
{
    qWarning() << "Downloader: download refused:" << why;
    QMessageBox box(QMessageBox::Critical, tr("Updater"), tr("The update cannot be downloaded."), QMessageBox::Ok);
    box.exec();
}

void Downloader::startDownload(QUrl url)
{
    start(url, 0);
}

void Downloader::start(const QUrl& url, int redirects)
{
    m_ui->progressBar->setValue(0);
    m_ui->stopButton->setText(tr("Stop"));
    m_ui->downloadLabel->setText(tr("Downloading updates"));
    m_ui->timeLabel->setText(tr("Time remaining") + QStringLiteral(": ") + tr("unknown"));

    // The reply being replaced is done with; its signals no longer count.
    if (m_reply) {
        QNetworkReply* old = m_reply;
        m_reply = nullptr;
        old->disconnect(this);
        old->abort();
        old->deleteLater();
    }
    if (url.scheme() != QLatin1String("https")) {
        refuse(QStringLiteral("not an HTTPS address"));
        return;
    }
    if (m_fileNameRefused || m_fileName.isEmpty()) {
        refuse(QStringLiteral("file name"));
        return;
    }

    // A fresh private folder for every download: the restarted one never
    // meets what an earlier attempt or anybody else left, and the earlier
    // attempt's folder goes, as its file would.
    discardFolder();
    m_written = 0;
    m_failed = false;
    if (!m_downloadDir.exists())
        m_downloadDir.mkpath(QStringLiteral("."));
    m_folder = std::make_unique<QTemporaryDir>(m_downloadDir.absoluteFilePath(QStringLiteral("lumora-update-XXXXXX")));
    if (!m_folder->isValid()) {
        m_folder.reset();
        refuse(QStringLiteral("no private download folder"));
        return;
    }
    // The installer must outlive this process, which quits once it opens it.
    m_folder->setAutoRemove(false);
    QFile(m_folder->path()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!m_userAgent.isEmpty())
        request.setRawHeader("User-Agent", m_userAgent.toUtf8());
    // The file as it is: nothing unpacks it on the way to the disk.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_manager->get(request);
    m_reply->setProperty(kRedirects, redirects);
    // Qt stops reading from the network while this much waits unread, so
    // the file never sits in memory, whatever its size.
    m_reply->setReadBufferSize(256 * 1024);
    replylimits::RateWatch::attach(m_reply, QStringLiteral("Downloader"));
    replylimits::SilenceWatch::attach(m_reply, QStringLiteral("Downloader"));
    m_startTime = nowSeconds();

    QNetworkReply* reply = m_reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64 total) {
        if (isCurrent(reply))
            updateProgress(received, total);
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply]() {
        if (isCurrent(reply))
            saveFile(reply->bytesAvailable(), -1);
    });
    // Queued: an abort from within the reply's own signals (a failed write)
    // ends the download once those have returned.
    connect(
        reply, &QNetworkReply::finished, this,
        [this, reply]() {
            if (isCurrent(reply))
                finished();
            else
                reply->deleteLater();
        },
        Qt::QueuedConnection);
    showNormal();
}

// A redirect restarts the download at its target, resolved against the
// request, as long as it stays on HTTPS and within the hop limit.
bool Downloader::followRedirect(QNetworkReply* reply)
{
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isEmpty())
        return false;
    const QUrl next = reply->url().resolved(target);
    const int hops = reply->property(kRedirects).toInt() + 1;
    if (hops > kMaxRedirects || next.scheme() != QLatin1String("https")) {
        qWarning() << "Downloader: redirect not followed (" << hops << "hops, scheme" << loggedValue(next.scheme())
                   << ")";
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        hide();
        discardFolder();
        refuse(QStringLiteral("redirect"));
        return true;
    }
    start(next, hops);
    return true;
}

void Downloader::updateProgress(qint64 received, qint64 total)
{
    m_ui->progressBar->setMinimum(0);
    if (total > 0) {
        m_ui->progressBar->setMaximum(100);
        m_ui->progressBar->setValue(static_cast<int>(received * 100 / total));
        calculateSizes(received, total);
        calculateTimeRemaining(received, total);
    } else {
        m_ui->progressBar->setMaximum(0);
        m_ui->progressBar->setValue(-1);
        m_ui->downloadLabel->setText(tr("Downloading Updates") + QStringLiteral("..."));
        m_ui->timeLabel->setText(QStringLiteral("%1: %2").arg(tr("Time remaining"), tr("Unknown")));
    }
    // Written as it arrives whether or not the size is known, so an update
    // of unknown size never sits in memory whole.
    saveFile(received, total);
}

void Downloader::saveFile(qint64, qint64)
{
    // An aborted reply is closed: nothing more to read from it.
    if (!m_reply || m_failed || !m_reply->isOpen() || followRedirect(m_reply))
        return;
    // Unbuffered: a failed write shows at once, not at a later flush.
    QFile file(partPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    const QByteArray data = m_reply->readAll();
    const qint64 limit = sizeLimit();
    if (limit >= 0 && m_written + data.size() > limit) {
        fail(QStringLiteral("more than the announced %1 bytes").arg(limit));
        return;
    }
    // A write cut short (a disk that fills up) leaves Qt without a reason;
    // writing on is then refused with the system's own ("No space left on
    // device").
    for (qint64 done = 0; done < data.size();) {
        const qint64 n = file.write(data.constData() + done, data.size() - done);
        if (n <= 0) {
            fail(QStringLiteral("write failed: ") + file.errorString());
            return;
        }
        done += n;
    }
    m_written += data.size();
}

QString Downloader::sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return tr("%1 bytes").arg(bytes);
    if (bytes < 1048576)
        return QStringLiteral("%1 KB").arg(bytes / 1024);
    return QStringLiteral("%1 MB").arg(bytes / 1048576);
}

void Downloader::calculateSizes(qint64 received, qint64 total)
{
    m_ui->downloadLabel->setText(tr("Downloading updates") + QStringLiteral(" (") + sizeText(received) +
                                 QStringLiteral(" ") + tr("of") + QStringLiteral(" ") + sizeText(total) +
                                 QStringLiteral(")"));
}

QString Downloader::timeText(qint64 t)
{
    if (t > 7200)
        return tr("about %1 hours").arg(static_cast<int>(t / 3600.0 + 0.5));
    if (t > 60) {
        const int m = static_cast<int>(t / 60.0 + 0.5);
        return m < 2 ? tr("1 minute") : tr("%1 minutes").arg(m);
    }
    const int s = static_cast<int>(t + 0.5);
    return s < 2 ? tr("1 second") : tr("%1 seconds").arg(s);
}

void Downloader::calculateTimeRemaining(qint64 received, qint64 total)
{
    const qint64 elapsed = static_cast<qint64>(nowSeconds()) - m_startTime;
    if (elapsed <= 0)
        return;
    qint64 rate = received / elapsed;
    if (rate == 0)
        rate = 1;
    const qint64 t = (total - received) / rate;
    m_ui->timeLabel->setText(tr("Time remaining") + QStringLiteral(": ") + timeText(t));
}

void Downloader::finished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    if (followRedirect(reply))
        return;
    // A cancel question still open is answered by the end itself.
    for (QMessageBox* question : findChildren<QMessageBox*>(QString(), Qt::FindDirectChildrenOnly))
        question->reject();
    // What is still buffered belongs to the file too.
    saveFile(0, 0);

    QFile::remove(filePath());
    if (!QFile::rename(partPath(), filePath()))
        qWarning() << "Downloader::finished() the downloaded file could not be renamed";
    qDebug() << "Downloader::finished()";
    hide();
    // A request that failed (an HTTP error, a lost connection, a stop) is no
    // corrupted file.
    const bool requestFailed =
        reply->error() != QNetworkReply::NoError ||
        reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() >= 400;

    const QString checksum = m_failed ? QString() : fileChecksum(filePath(), QCryptographicHash::Md5);
    if (checksum.isEmpty() || checksum != m_md5) {
        // Nothing of a failed download is kept.
        discardFolder();
        QMessageBox box(QMessageBox::Critical, QString(), tr("Press OK to download again."),
                        QMessageBox::Ok | QMessageBox::Cancel);
        box.setInformativeText(requestFailed ? tr("The update cannot be downloaded.")
                                             : tr("Error, the downloaded update is corrupted!"));
        box.setDefaultButton(QMessageBox::Ok);
        if (box.exec() == QMessageBox::Ok)
            startDownload(QUrl(m_url));
        return;
    }
    m_complete = true;
    emit downloadFinished(m_url, filePath());
    installUpdate();
}

void Downloader::installUpdate()
{
    qDebug() << "Downloader::installUpdate()";
    m_ui->stopButton->setText(tr("Close"));
    m_ui->downloadLabel->setText(tr("Download complete!"));
    m_ui->timeLabel->setText(tr("The installer will open separately") + QStringLiteral("..."));

    QMessageBox box(QMessageBox::Question, QString(), tr("Installing the update will terminate the application."),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setInformativeText(tr("Click \"OK\" to begin installing the update"));
    box.setDefaultButton(QMessageBox::Ok);
    if (box.exec() == QMessageBox::Ok) {
        openDownload();
    } else {
        m_ui->openButton->setEnabled(true);
        m_ui->openButton->setVisible(true);
        m_ui->timeLabel->setText(tr("Click the \"Open\" button to apply the update"));
        // Shown again, or the Open button would be out of the user's reach.
        showNormal();
    }
}

void Downloader::openDownload()
{
    qDebug() << "Downloader::openDownload()";
    if (m_fileName.isEmpty() || !m_folder) {
        QMessageBox::critical(this, tr("Error"), tr("The downloaded update is missing!"), QMessageBox::Close);
        return;
    }
    // Quit only once the desktop has taken the installer; otherwise the
    // user would lose the program and get no installer.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(filePath()))) {
        qWarning() << "Downloader::openDownload() the desktop could not open the installer";
        QMessageBox::critical(this, tr("Error"), tr("The downloaded update could not be opened."),
                              QMessageBox::Close);
        return;
    }
    QCoreApplication::quit();
}

void Downloader::cancelDownload()
{
    if (!m_reply || m_reply->isFinished()) {
        hide();
        return;
    }
    // Modal to this window only, so the rest of the program answers while
    // it is asked.
    QMessageBox box(QMessageBox::Question, tr("Updater"), tr("Are you sure you want to cancel the download?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setWindowModality(Qt::WindowModal);
    if (box.exec() == QMessageBox::Yes) {
        hide();
        if (m_reply)
            m_reply->abort();
    }
}

// The window manager's close (Alt+F4) stops a running download, quietly:
// the user sent the window away, so no question follows and nothing of
// the download stays.
void Downloader::closeEvent(QCloseEvent* event)
{
    if (m_reply && !m_reply->isFinished()) {
        qDebug() << "Downloader::closeEvent() stops the download";
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        discardFolder();
    }
    QWidget::closeEvent(event);
}

QString Downloader::fileChecksum(const QString& fileName, QCryptographicHash::Algorithm algorithm)
{
    QFile f(fileName);
    if (!f.open(QFile::ReadOnly))
        return QString();
    QCryptographicHash hash(algorithm);
    if (!hash.addData(&f))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}
