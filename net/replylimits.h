#pragma once
// Bounds on what the program takes from the network: the update feed and
// the maker's service replies are read as they arrive, up to a size no real
// one reaches and within a deadline; downloads must keep a minimum rate.
// A reply that passes a bound is aborted, so it ends as a network error on
// its owner's usual failure path.
//
// The times can be set through the environment (milliseconds, bytes per
// second), so that tests need not wait the real ones out:
//   LUMORA_REQUEST_DEADLINE_MS   feed and service requests, redirects included (default 60 s)
//   LUMORA_HEADER_DEADLINE_MS    a reply's unseen stretches: its header block, a chunk-size line (10 s)
//   LUMORA_DOWNLOAD_WINDOW_MS    window over which a download's rate is taken (60 s)
//   LUMORA_DOWNLOAD_MIN_RATE     bytes per second a download must reach in it (1024)

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

class QNetworkReply;
class QTimer;

namespace replylimits {

// A feed is a few kilobytes, a service answer a few hundred bytes.
constexpr qint64 kFeedBytes = 4 * 1024 * 1024;
constexpr qint64 kServiceBytes = 1024 * 1024;

int requestDeadlineMs();
int headerDeadlineMs();
int downloadWindowMs();
qint64 downloadMinRate();

// Reads a reply's body as it arrives (unpacked bytes, as the reply gives
// them), up to maxBytes, and aborts the reply when it grows past that or
// has not finished by the request's deadline (one for the whole request:
// a redirect's next hop is given the first hop's). Watches the unseen
// stretches as well (SilenceWatch). A child of the reply.
class BoundedBody : public QObject
{
    Q_OBJECT
public:
    // label prefixes the one log line written when a bound is passed.
    static BoundedBody* attach(QNetworkReply* reply, qint64 maxBytes, const QString& label,
                               QDeadlineTimer deadline = QDeadlineTimer(requestDeadlineMs()));
    // The body read so far, with what the reply still holds; empty when
    // the reply passed a bound. Without a BoundedBody: up to maxBytes of it.
    static QByteArray bodyOf(QNetworkReply* reply, qint64 maxBytes);

private:
    BoundedBody(QNetworkReply* reply, qint64 maxBytes, const QString& label, QDeadlineTimer deadline);
    void read();
    void giveUp(const QString& why);

    QNetworkReply* m_reply;
    qint64 m_maxBytes;
    QString m_label;
    QByteArray m_body;
    bool m_failed = false;
};

// Aborts a reply while it shows nothing for the header deadline. Qt 5
// takes in a header block and a chunk-size line without any bound, and
// gives no sign of them (no signal, no byte count) until they end: a server
// that never ends one fills memory at network speed. Real servers send both
// at once, so the time such a stretch may last is the only bound there is.
// The clock runs from the request (once its body is sent) to the header
// block, and in a chunked reply from each piece of body to the next.
// A child of the reply.
class SilenceWatch : public QObject
{
    Q_OBJECT
public:
    static SilenceWatch* attach(QNetworkReply* reply, const QString& label);

private:
    SilenceWatch(QNetworkReply* reply, const QString& label);

    QNetworkReply* m_reply;
    QTimer* m_timer;
    bool m_chunked = false;
};

// Aborts a download whose bytes over the last window stay below the
// minimum rate; a slow but moving download goes on. A child of the reply.
class RateWatch : public QObject
{
    Q_OBJECT
public:
    static RateWatch* attach(QNetworkReply* reply, const QString& label);

private:
    RateWatch(QNetworkReply* reply, const QString& label);
    void check();

    QNetworkReply* m_reply;
    QString m_label;
    qint64 m_received = 0;
    qint64 m_atLastCheck = 0;
};

}  // namespace replylimits
