#pragma once
// The checks the settings files pass before Qt's reader sees them. The
// reader opens a file without a time-out (a FIFO holds it for good), reads
// and caches a file of any size whole (and rewrites it whole at every
// change), and decodes a value of any of Qt's kinds (pictures, regions,
// polygons, nested lists, ...) without bound on memory, time or stack. The
// program stores only numbers, truth values, texts and lists of texts.

#include <QString>
#include <exception>
#include <new>

namespace settingsfiles {

// Far larger than any settings file of the program (a few kilobytes).
constexpr qint64 kMaxFileBytes = 1024 * 1024;

// Runs a read or a write of a store. Qt parses the values of a file
// lazily, at the first read or sync, and a damaged value (a list that claims
// 2^31 elements) makes it throw std::bad_alloc there. False with the reason
// then.
template <typename Access>
bool guarded(Access access, QString* why)
{
    try {
        access();
        return true;
    } catch (const std::bad_alloc&) {
        *why = QStringLiteral("a value claims more memory than there is");
    } catch (const std::exception& e) {
        *why = QString::fromLocal8Bit(e.what());
    }
    return false;
}

// Why Qt's reader must not read the file at path (empty when it may): not
// a regular file, larger than kMaxFileBytes, or holding a value of a kind
// the program never stores, found without decoding it. Opens nothing but a
// regular file, without waiting.
QString unusableBecause(const QString& path);

}  // namespace settingsfiles
