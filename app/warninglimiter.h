#pragma once
// Repeated library warnings. A library that warns again and again (the
// sound back end without a sound server, three lines every reminder) would
// roll the useful lines out of the log: its warnings are written once, then
// at most once a period with a count of those left out. Our own lines carry
// their source file (the whole build defines QT_MESSAGELOGCONTEXT) and are
// never held back; the libraries' lines, Qt's own included, carry none.

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <list>

namespace LOGUTILS {

class WarningLimiter
{
public:
    static constexpr qint64 kDefaultPeriodMs = 10 * 60 * 1000;

    // capacity: how many warnings are remembered at the most; when full,
    // the one written longest ago is forgotten.
    explicit WarningLimiter(int capacity) : m_capacity(capacity) { }

    // A warning or critical without a source file.
    static bool isLibraryWarning(QtMsgType type, const QMessageLogContext& context);

    // Whether a library warning is written now; text gets what to write
    // (the message, with the count of repeats held back since it was last
    // written). Not thread-safe: the caller holds the log lock.
    bool letThrough(QtMsgType type, const QMessageLogContext& context, const QString& message, QString* text);

    // Sets how long a repeat is held back, and forgets every warning.
    void setPeriod(qint64 ms);
    int size() const { return m_seen.size(); }

private:
    struct Seen
    {
        qint64 writtenAt = 0;  // ms on the monotonic clock
        quint64 heldBack = 0;
        std::list<QString>::iterator age;
    };

    int m_capacity;
    qint64 m_periodMs = kDefaultPeriodMs;
    QHash<QString, Seen> m_seen;
    std::list<QString> m_byAge;  // the keys, written longest ago first
};

}  // namespace LOGUTILS
