#include "app/settings_filecheck.h"

#include <QFile>
#include <QStringList>
#include <QTextCodec>
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
// unescaped as Qt's reader unescapes them. The reader decodes each run of
// bytes between a backslash, a quote and a comma at once, with utf8 (which
// drops a mark at the start of each run) or, without it, byte by byte as
// Latin-1; spaces and tabs around an element are dropped unless quoted.
QStringList elements(const QByteArray& text, int from, int to, QTextCodec* utf8)
{
    QStringList result;
    QString element;
    bool quoted = false;
    bool elementQuoted = false;
    bool skipBlanks = true;
    int keep = 0;  // blanks before this are kept
    const auto chop = [&] {
        if (!elementQuoted)
            while (element.size() > keep &&
                   (element.endsWith(QLatin1Char(' ')) || element.endsWith(QLatin1Char('\t'))))
                element.chop(1);
    };
    for (int i = from; i < to;) {
        const char c = text[i];
        if (skipBlanks && (c == ' ' || c == '\t')) {
            ++i;
            continue;
        }
        if (skipBlanks)
            keep = element.size();
        skipBlanks = false;
        if (c == '"') {
            ++i;
            elementQuoted = true;
            quoted = !quoted;
            skipBlanks = !quoted;
        } else if (c == ',' && !quoted) {
            ++i;
            chop();
            result << element;
            element.clear();
            elementQuoted = false;
            skipBlanks = true;
        } else if (c != '\\') {
            int j = i + 1;
            while (j < to && text[j] != '\\' && text[j] != '"' && text[j] != ',')
                ++j;
            element += utf8 ? utf8->toUnicode(text.constData() + i, j - i)
                            : QString::fromLatin1(text.constData() + i, j - i);
            i = j;
        } else if (++i == to) {
            keep = element.size();  // a backslash at the end keeps the blanks before it
        } else {
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
            keep = element.size();
        }
    }
    chop();
    result << element;
    return result;
}

// The kind ("@Variant", "@Rect", ...) of a value that Qt's reader hands to
// its decoder, empty for text. Qt writes a text that starts with '@' as
// "@@...", one holding a NUL character as "@String(...)" and an empty list
// as "@Invalid()"; it decodes the kinds below only when the value ends with
// ')' (and a rectangle, size or point only with the right number of parts).
QString decodedKind(const QString& element)
{
    if (!element.startsWith(QLatin1Char('@')) || !element.endsWith(QLatin1Char(')')))
        return QString();
    const int paren = element.indexOf(QLatin1Char('('));
    const QString kind = element.left(paren);
    const int parts =
        element.mid(paren + 1).count(QLatin1Char(' ')) + element.mid(paren + 1).count(QLatin1Char(')'));
    if (kind == QLatin1String("@ByteArray") || kind == QLatin1String("@Variant") ||
        kind == QLatin1String("@DateTime") || (kind == QLatin1String("@Rect") && parts == 4) ||
        ((kind == QLatin1String("@Size") || kind == QLatin1String("@Point")) && parts == 2))
        return kind;
    return QString();
}

// The kind of the first value in this INI text that Qt's reader decodes
// into something other than text, empty when there is none. A file that
// starts with a UTF-8 mark is read as UTF-8 (so is every file by a reader
// that has met such a file).
QString otherKind(const QByteArray& text, bool readerMetAMark)
{
    const bool marked = text.startsWith("\xef\xbb\xbf");
    QTextCodec* utf8 = marked || readerMetAMark ? QTextCodec::codecForName("UTF-8") : nullptr;
    int pos = marked ? 3 : 0;
    int start, end, equals;
    while (nextLine(text, &pos, &start, &end, &equals)) {
        if (text[start] == '[' || equals < 0)
            continue;  // a group's name, or no value
        for (const QString& element : elements(text, equals + 1, end, utf8)) {
            const QString kind = decodedKind(element);
            if (!kind.isEmpty())
                return kind;
        }
    }
    return QString();
}

}  // namespace

QString unusableBecause(const QString& path, bool readerMetAMark)
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
    const QString kind = otherKind(text, readerMetAMark);
    return kind.isEmpty() ? QString() : QStringLiteral("a value of a kind the program never stores: %1").arg(kind);
}

}  // namespace settingsfiles
