#pragma once
// The checks the settings files pass before Qt's reader sees them. The
// reader opens a file without a time-out (a FIFO holds it for good), reads
// and caches a file of any size whole (and rewrites it whole at every
// change), and decodes a value of any of Qt's kinds (pictures, regions,
// polygons, nested lists, ...) without bound on memory, time or stack. The
// program stores only numbers, truth values, texts and lists of texts.

#include <QString>

namespace settingsfiles {

// Far larger than any settings file of the program (a few kilobytes).
constexpr qint64 kMaxFileBytes = 1024 * 1024;

// Why Qt's reader must not read the file at path (empty when it may): not
// a regular file, larger than kMaxFileBytes, or holding a value of a kind
// the program never stores, found without decoding it, every byte read as
// Qt's reader reads it. Opens nothing but a regular file, without waiting.
// readerMetAMark: as a reader that has read a file starting with a UTF-8
// mark reads every file from then on (as UTF-8).
QString unusableBecause(const QString& path, bool readerMetAMark = false);

}  // namespace settingsfiles
