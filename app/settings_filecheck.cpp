#include "app/settings_filecheck.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/ownfiles.h"

namespace settingsfiles {

namespace {

// Blanks as Qt's reader skips them before a line.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
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

// The next line of an INI text from *pos as Qt's reader cuts it: blanks
// and whole comment lines skipped, a quoted stretch and an escaped line
// end running on over the line end, an unquoted ';' ending it. *equals is
// the first unquoted '=' in it, -1 for none. False at the end of the text.
bool nextLine(const QByteArray& text, int* pos, int* start, int* end, int* equals)
{
    const int n = text.size();
    bool quoted = false;
    *equals = -1;
    *start = *pos;
    while (*start < n && isBlank(text[*start]))
        ++*start;
    int i = *start;
    while (i < n) {
        const char c = text[i++];
        if (c == '=') {
            if (!quoted && *equals < 0)
                *equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (i == *start + 1)
                ++*start;
            else if (!quoted) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < n) {
                const char e = text[i++];
                if (i < n && ((e == '\n' && text[i] == '\r') || (e == '\r' && text[i] == '\n')))
                    ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';') {
            if (i == *start + 1) {
                while (i < n && text[i] != '\n' && text[i] != '\r')
                    ++i;
                while (i < n && isBlank(text[i]))
                    ++i;
                *start = i;
            } else if (!quoted) {
                --i;
                break;
            }
        }
    }
    *pos = *end = i;
    return *end > *start;
}

// The elements of the value text[from, to) (one, or several for a list),
// unescaped as Qt's reader unescapes them, each byte taken as Latin-1.
// Trailing blanks are kept: only the start of an element matters here.
QStringList elements(const QByteArray& text, int from, int to)
{
    QStringList result;
    QString element;
    bool quoted = false;
    bool skipBlanks = true;
    for (int i = from; i < to;) {
        const char c = text[i++];
        if (skipBlanks && (c == ' ' || c == '\t'))
            continue;
        skipBlanks = false;
        if (c == '"') {
            quoted = !quoted;
            skipBlanks = !quoted;
        } else if (c == ',' && !quoted) {
            result << element;
            element.clear();
            skipBlanks = true;
        } else if (c != '\\') {
            element += QChar(uchar(c));
        } else if (i < to) {
            const char e = text[i++];
            if (const int simple = simpleEscape(e)) {
                element += QChar(simple);
            } else if (e == 'x' || (e >= '0' && e <= '7')) {
                // Digits without end; the character keeps the low 16 bits.
                const int base = e == 'x' ? 16 : 8;
                unsigned value = e == 'x' ? 0 : unsigned(e - '0');
                bool digits = e != 'x';
                for (int d; i < to && (d = hexDigit(text[i])) >= 0 && d < base; ++i, digits = true)
                    value = (value * unsigned(base) + unsigned(d)) & 0xffff;
                if (digits)
                    element += QChar(ushort(value));
            } else if ((e == '\n' || e == '\r') && i < to && (text[i] == '\n' || text[i] == '\r') && text[i] != e) {
                ++i;  // a line continued; other escaped characters are dropped
            }
        }
    }
    result << element;
    return result;
}

// The kind ("@Variant", "@Rect", ...) of the first value in this INI text
// that is not one Qt writes for the program's values, empty when there is
// none. Qt writes a text that starts with '@' as "@@...", one holding a
// NUL character as "@String(...)" and an empty list as "@Invalid()"; every
// other value that starts with '@' is one Qt decodes into something else.
QString otherKind(const QByteArray& text)
{
    int pos = text.startsWith("\xef\xbb\xbf") ? 3 : 0;  // a UTF-8 mark
    int start, end, equals;
    while (nextLine(text, &pos, &start, &end, &equals)) {
        if (text[start] == '[' || equals < 0)
            continue;  // a group's name, or no value
        for (const QString& element : elements(text, equals + 1, end)) {
            if (!element.startsWith(QLatin1Char('@')) || element.startsWith(QLatin1String("@@"))
                || element.startsWith(QLatin1String("@String(")) || element.startsWith(QLatin1String("@Invalid()")))
                continue;
            QString kind = QStringLiteral("@");
            for (int k = 1; k < qMin(element.size(), 16) && element.at(k).isLetter() && element.at(k).unicode() < 128; ++k)
                kind += element.at(k);
            return kind;
        }
    }
    return QString();
}

}  // namespace

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
    const QString kind = otherKind(text);
    return kind.isEmpty() ? QString() : QStringLiteral("a value of a kind the program never stores: %1").arg(kind);
}

}  // namespace settingsfiles
