#include "app/platform/linux/autostart.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace autostart {

namespace {

// Characters that make an argument need quotes.
bool needsQuotes(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (arg.isEmpty())
        return true;
    for (const QChar c : arg)
        if (reserved.contains(c))
            return true;
    return false;
}

QString quoteArgument(const QString& arg)
{
    QString out;
    if (!needsQuotes(arg)) {
        out = arg;
    } else {
        out += QLatin1Char('"');
        for (const QChar c : arg) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += c;
        }
        out += QLatin1Char('"');
    }
    // A lone "%" would start a field code.
    out.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return out;
}

// The escapes of a string value in a desktop entry file.
QString escapeValue(const QString& value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

QString entryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/lumora.desktop");
}

QString execLine(const QString& program, const QStringList& arguments)
{
    QStringList parts{quoteArgument(program)};
    for (const QString& a : arguments)
        parts << quoteArgument(a);
    return escapeValue(parts.join(QLatin1Char(' ')));
}

QByteArray entryText(const QString& program)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=lumora\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execLine(program, {QStringLiteral("/m")}));
    return text.toUtf8();
}

bool writeEntry(const QString& path, const QString& program)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText(program)) < 0 || !file.commit()) {
        qWarning() << "autostart: cannot write" << path << file.errorString();
        return false;
    }
    return true;
}

}  // namespace autostart

namespace {

class XdgStartAtLogin : public StartAtLogin
{
public:
    void setEnabled(bool on) override
    {
        const QString path = autostart::entryPath();
        if (on) {
            autostart::writeEntry(path, QCoreApplication::applicationFilePath());
        } else if (QFileInfo::exists(path) && !QFile::remove(path)) {
            qWarning() << "autostart: cannot remove" << path;
        }
    }
};

}  // namespace

std::shared_ptr<StartAtLogin> createSystemStartAtLogin()
{
    return std::make_shared<XdgStartAtLogin>();
}
