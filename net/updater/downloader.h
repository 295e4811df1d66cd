#pragma once
// The small window that downloads an update file, shows its progress, size
// and time remaining, tests the file's MD5 against the feed's and, when the
// user agrees, opens the installer with the desktop's default handler.
//
// Each download goes into a private folder of its own (mode 0700) below the
// download directory, so no other user can plant or swap the file; only
// HTTPS is followed, and replies that a restart replaced are ignored.
// A download that fails or is cancelled takes its folder with it; one that
// passes its checksum keeps it for the installer.

#include <QCryptographicHash>
#include <QDir>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryDir;
namespace Ui {
class Downloader;
}

class Downloader : public QWidget
{
    Q_OBJECT
public:
    explicit Downloader(QWidget* parent = nullptr);
    ~Downloader() override;

    static constexpr int kMaxRedirects = 5;

    QString downloadDir() const;
    void setDownloadDir(const QString& downloadDir);
    // The folder the running or last download writes to; empty before the
    // first accepted download.
    QString downloadFolder() const;
    // Removes this user's own download folders in dir (real folders, not
    // links) older than a day, left by attempts that never ended.
    static void removeStaleFolders(const QString& dir);
    static QString fileChecksum(const QString& fileName, QCryptographicHash::Algorithm algorithm);
    // The text of a byte count and of a number of remaining seconds, as the
    // window shows them.
    static QString sizeText(qint64 bytes);
    static QString timeText(qint64 seconds);

signals:
    void downloadFinished(QString url, QString filepath);

public slots:
    void setUpdateProperties(QString url, QString md5);
    void startDownload(QUrl url);
    void setFileName(QString file);
    void setUserAgentString(QString agent);
    // The entry's "size-in-mb": without a Content-Length, no more than this
    // (with a margin for rounding) is stored; 0 sets no bound.
    void setAnnouncedSize(int megabytes);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void finished();
    void openDownload();
    void installUpdate();
    void cancelDownload();
    void saveFile(qint64 received, qint64 total);
    void calculateSizes(qint64 received, qint64 total);
    void updateProgress(qint64 received, qint64 total);
    void calculateTimeRemaining(qint64 received, qint64 total);

private:
    void start(const QUrl& url, int redirects);
    bool followRedirect(QNetworkReply* reply);
    bool isCurrent(QObject* reply) const;
    QString partPath() const;
    QString filePath() const;
    void refuse(const QString& why);
    // Most bytes the file may take; -1 when nothing bounds it.
    qint64 sizeLimit() const;
    // Ends the running download as a failed one.
    void fail(const QString& why);
    void discardFolder();

    QString m_md5;
    QString m_url;
    uint m_startTime = 0;
    QDir m_downloadDir;
    QString m_fileName;
    bool m_fileNameRefused = false;
    std::unique_ptr<Ui::Downloader> m_ui;
    QNetworkReply* m_reply = nullptr;
    QString m_userAgent;
    QNetworkAccessManager* m_manager = nullptr;
    std::unique_ptr<QTemporaryDir> m_folder;
    int m_announcedMb = 0;
    qint64 m_written = 0;
    bool m_failed = false;
    bool m_complete = false;
};
