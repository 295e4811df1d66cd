// lumora-notices OUTPUT.pdf DOC_ROOT PACKAGE...
// Makes the open-source notices document from DOC_ROOT/PACKAGE/copyright.

#include <QGuiApplication>
#include <QTextStream>

#include "tools/notices/notices.h"

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream err(stderr);
    if (args.size() < 3) {
        err << "usage: lumora-notices OUTPUT.pdf DOC_ROOT PACKAGE...\n";
        return 2;
    }
    QStringList missing;
    const QVector<NoticeSection> sections = collectNotices(args.at(1), args.mid(2), &missing);
    // A shipped package without its licence text is a build error: the
    // document would silently leave it out.
    if (!missing.isEmpty()) {
        err << "lumora-notices: no copyright file for: " << missing.join(QStringLiteral(", ")) << "\n";
        return 1;
    }
    if (!writeNoticesPdf(args.at(0), sections)) {
        err << "lumora-notices: cannot write " << args.at(0) << "\n";
        return 1;
    }
    return 0;
}
