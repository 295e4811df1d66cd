#include "app/logstdout.h"

#include <QString>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace LOGUTILS {

namespace {

// The queue and the thread that writes it. The descriptor's own flags are
// not touched: the shell or terminal shares them.
class StandardOutput
{
public:
    static StandardOutput& instance()
    {
        // Never destroyed: the thread may still wait on the pipe at exit.
        static StandardOutput* output = new StandardOutput;
        return *output;
    }

    void post(const QByteArray& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        if (m_queuedBytes + size_t(line.size()) > kQueueBytes) {
            ++m_leftOut;
            return;
        }
        if (m_leftOut > 0) {
            enqueue(QStringLiteral("[%1 log lines left out of standard output here; the log file has them]\n")
                        .arg(m_leftOut)
                        .toLocal8Bit());
            m_leftOut = 0;
        }
        enqueue(line);
        if (!m_thread) {
            try {
                std::thread(&StandardOutput::run, this).detach();
                m_thread = true;
            } catch (const std::system_error&) {
                m_closed = true;  // no thread: standard output gets nothing
            }
        }
        m_wake.notify_one();
    }

    // Waits until the queue is written, at most ms milliseconds.
    void flush(int ms)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_drained.wait_for(lock, std::chrono::milliseconds(ms),
                           [this] { return m_closed || (m_queue.empty() && !m_writing); });
    }

private:
    static constexpr size_t kQueueBytes = 64 * 1024;

    void enqueue(const QByteArray& line)
    {
        m_queue.push_back(line);
        m_queuedBytes += size_t(line.size());
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            const QByteArray line = m_queue.front();
            m_queue.pop_front();
            m_writing = true;
            lock.unlock();
            const bool written = writeAll(line);
            lock.lock();
            m_writing = false;
            m_queuedBytes -= size_t(line.size());
            if (!written) {
                // Nobody reads standard output any more (or it is closed):
                // it gets nothing from now on.
                m_closed = true;
                m_queue.clear();
                m_queuedBytes = 0;
            }
            m_drained.notify_all();
        }
    }

    static bool writeAll(const QByteArray& line)
    {
        qint64 done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, line.constData() + done, size_t(line.size() - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno == EINTR) {
            } else if (n < 0 && errno == EAGAIN) {
                // Another program made the shared descriptor non-blocking.
                pollfd ready{STDOUT_FILENO, POLLOUT, 0};
                ::poll(&ready, 1, 1000);
            } else {
                return false;  // EPIPE (SIGPIPE does not end the program), EBADF, ...
            }
        }
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<QByteArray> m_queue;
    size_t m_queuedBytes = 0;
    quint64 m_leftOut = 0;
    bool m_writing = false;
    bool m_closed = false;
    bool m_thread = false;
};
}  // namespace

void postStandardOutput(const QByteArray& line)
{
    StandardOutput::instance().post(line);
}

void flushStandardOutput(int ms)
{
    StandardOutput::instance().flush(ms);
}

}  // namespace LOGUTILS
