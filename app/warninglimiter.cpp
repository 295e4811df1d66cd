#include "app/warninglimiter.h"

#include <iterator>
#include <time.h>

#include "core/clockreader.h"

namespace LOGUTILS {

bool WarningLimiter::isLibraryWarning(QtMsgType type, const QMessageLogContext& context)
{
    return (type == QtWarningMsg || type == QtCriticalMsg) && !context.file;
}

bool WarningLimiter::letThrough(QtMsgType type, const QMessageLogContext& context, const QString& message,
                                QString* text)
{
    const QString key = QString::number(int(type)) + QLatin1Char('|') +
                        QLatin1String(context.category ? context.category : "") + QLatin1Char('|') + message;
    const qint64 now = readClockMs(CLOCK_MONOTONIC);
    auto it = m_seen.find(key);
    if (it == m_seen.end()) {
        if (m_seen.size() >= m_capacity && !m_byAge.empty()) {
            // Full: the warning written longest ago is forgotten (its next
            // repeat is written again, without a count).
            m_seen.remove(m_byAge.front());
            m_byAge.pop_front();
        }
        m_byAge.push_back(key);
        m_seen.insert(key, Seen{now, 0, std::prev(m_byAge.end())});
        *text = message;
        return true;
    }
    if (now - it->writtenAt < m_periodMs) {
        ++it->heldBack;
        return false;
    }
    const quint64 heldBack = it->heldBack;
    it->writtenAt = now;
    it->heldBack = 0;
    m_byAge.splice(m_byAge.end(), m_byAge, it->age);  // now the youngest; the iterator stays valid
    *text = heldBack == 0
                ? message
                : QStringLiteral("%1 (and %2 more times since it was last written)").arg(message).arg(heldBack);
    return true;
}

void WarningLimiter::setPeriod(qint64 ms)
{
    m_periodMs = ms;
    m_seen.clear();
    m_byAge.clear();
}

}  // namespace LOGUTILS
