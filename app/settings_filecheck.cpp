#include "app/settings_filecheck.h"

#include <QFile>
#include <QSettings>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/ownfiles.h"

namespace settingsfiles {

namespace {

// Type ids as Qt's reader finds them in a stored value (a data stream of
// Qt 4.0's form) whose value holds further values: map 8, list 9, hash 28,
// variant 41 (also 138), text format 79 (also 175, its properties are
// values), and 127, a type named in the stream.
bool holdsValues(unsigned id)
{
    switch (id) {
    case 8:
    case 9:
    case 28:
    case 41:
    case 79:
    case 127:
    case 138:
    case 175:
        return true;
    default:
        return false;
    }
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The character of a one-letter escape ("\\n"), 0 for none.
int simpleEscape(char e)
{
    switch (e) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return e;
    default:
        return 0;
    }
}

}  // namespace

int nestingBound(const QByteArray& text)
{
    // Each level of a nested value starts with a four-byte big-endian type
    // id, three zero bytes and one of the ids above. The text is unescaped
    // as Qt's reader unescapes a value (its escapes give one character, a
    // character above 0xff becomes '?'), and such headers are counted.
    // Characters the reader drops in some places and keeps in others
    // (quotes, blanks, the lead byte of a two-byte UTF-8 character) never
    // break a header here: counting too many is safe, too few is not.
    int headers = 0;
    int zeros = 0;
    const auto add = [&](unsigned byte) {
        if (byte == 0) {
            zeros = zeros < 3 ? zeros + 1 : 3;
            return;
        }
        if (zeros == 3 && holdsValues(byte))
            ++headers;
        zeros = 0;
    };
    const int n = text.size();
    const char* s = text.constData();
    for (int i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(s[i++]);
        if (c == '"' || c == ' ' || c == 0xc2)
            continue;
        if (c == '\t') {
            if (zeros == 3)
                ++headers;
            continue;
        }
        if (c != '\\') {
            add(c);
            continue;
        }
        if (i >= n)
            break;
        const char e = s[i++];
        if (const int simple = simpleEscape(e)) {
            add(unsigned(simple));
        } else if (e == 'x' || (e >= '0' && e <= '7')) {
            const int base = e == 'x' ? 16 : 8;
            unsigned value = e == 'x' ? 0 : unsigned(e - '0');
            bool digits = e != 'x';
            for (int d; i < n && (d = hexDigit(s[i])) >= 0 && d < base; ++i, digits = true)
                value = ((value * unsigned(base)) + unsigned(d)) & 0xffff;
            if (digits)
                add(value > 0xff ? '?' : value);
        } else if ((e == '\n' || e == '\r') && i < n && (s[i] == '\n' || s[i] == '\r') && s[i] != e) {
            ++i;  // a line continued; other escaped characters are dropped
        }
    }
    return headers;
}

QString unusableBecause(const QString& path)
{
    bool notRegular = false;
    const int fd = ownfiles::openRegular(QFile::encodeName(path), O_RDONLY, &notRegular);
    if (fd < 0)
        // A file that cannot be opened is read by Qt as empty.
        return notRegular ? QStringLiteral("not a regular file") : QString();
    QByteArray text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size <= kMaxFileBytes) {
        text.resize(int(kMaxFileBytes) + 1);
        qint64 done = 0;
        while (done < text.size()) {
            const ssize_t got = ::read(fd, text.data() + done, size_t(text.size() - done));
            if (got > 0)
                done += got;
            else if (got == 0 || errno != EINTR)
                break;
        }
        text.truncate(int(done));
    }
    ::close(fd);
    if (st.st_size > kMaxFileBytes || text.size() > kMaxFileBytes)
        return QStringLiteral("%1 bytes, far more than a settings file holds")
            .arg(qMax<qint64>(st.st_size, text.size()));
    if (nestingBound(text) > kMaxNesting)
        return QStringLiteral("values nested deeper than %1 levels").arg(kMaxNesting);
    // This file alone, as the store will read it.
    QSettings probe(path, QSettings::IniFormat);
    QString why;
    guarded([&] { probe.allKeys(); }, &why);
    return why;
}

}  // namespace settingsfiles
