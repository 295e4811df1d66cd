#pragma once
// The checks the settings files pass before Qt's reader sees them. The
// reader opens a file without a time-out (a FIFO holds it for good), reads
// and caches a file of any size whole (and rewrites it whole at every
// change), and decodes a nested value by recursion, so that a value nested
// deep enough overflows the stack of whichever thread reads it.

#include <QByteArray>
#include <QString>
#include <exception>
#include <new>

namespace settingsfiles {

// Far larger than any settings file of the program (a few kilobytes).
constexpr qint64 kMaxFileBytes = 1024 * 1024;
// Far deeper than any value the program stores (none is nested), and far
// shallower than what strains a thread's stack.
constexpr int kMaxNesting = 256;

// An upper bound of how deep Qt's reader nests when it decodes the values
// of this INI text: the number of value headers of the kinds that hold
// further values (lists, maps, hashes, variants, text formats, named types)
// that the decoded text could hold. Linear in the text, without allocation.
int nestingBound(const QByteArray& text);

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
// a regular file, larger than kMaxFileBytes, nested deeper than
// kMaxNesting, or a trial read that fails. Opens nothing but a regular
// file, without waiting.
QString unusableBecause(const QString& path);

}  // namespace settingsfiles
