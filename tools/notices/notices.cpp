#include "tools/notices/notices.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <algorithm>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>

QVector<NoticeSection> collectNotices(const QString& docRoot, const QStringList& packages, QStringList* missing)
{
    QVector<NoticeSection> sections;
    for (const QString& package : packages) {
        QFile file(docRoot + QLatin1Char('/') + package + QStringLiteral("/copyright"));
        if (!file.open(QIODevice::ReadOnly)) {
            if (missing)
                missing->append(package);
            continue;
        }
        const QString text = QString::fromUtf8(file.readAll());
        auto same = std::find_if(sections.begin(), sections.end(),
                                 [&text](const NoticeSection& s) { return s.text == text; });
        if (same != sections.end())
            same->packages.append(package);
        else
            sections.append({{package}, text});
    }
    return sections;
}

namespace {

// The package names joined by ", ", each line broken only between two names:
// the layout would break a name at its hyphen, where it reads as two names.
QString packageList(const QStringList& packages, const QFont& font, QPaintDevice* device, qreal width)
{
    const QFontMetricsF metrics(font, device);
    QString text, line;
    for (const QString& package : packages) {
        const QString longer = line.isEmpty() ? package : line + QStringLiteral(", ") + package;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            text += line + QLatin1Char(',') + QChar(QChar::LineSeparator);
            line = package;
        } else {
            line = longer;
        }
    }
    return text + line;
}

}  // namespace

bool writeNoticesPdf(const QString& path, const QVector<NoticeSection>& sections)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setTitle(QStringLiteral("lumora open source notices"));
    writer.setCreator(QStringLiteral("lumora-notices"));

    // The writer's pages are measured in its own device pixels (1200 per
    // inch): the document is laid out on the writer itself, so that a point
    // size is a point on paper and a line is as wide as the page's text area
    // (block margins stay in screen pixels, which the layout scales).
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setPageSize(QSizeF(writer.width(), writer.height()));
    QFont body = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    body.setPointSizeF(9);
    // Without a desktop theme (the build runs on the offscreen platform) the
    // system's fixed font is the proportional default: ask fontconfig.
    if (!QFontInfo(body).fixedPitch()) {
        body.setFamily(QStringLiteral("monospace"));
        body.setStyleHint(QFont::TypeWriter);
    }
    doc.setDefaultFont(body);

    QTextCursor cursor(&doc);
    QTextCharFormat title;
    title.setFontPointSize(16);
    title.setFontWeight(QFont::Bold);
    QFont headingFont = body;
    headingFont.setPointSizeF(11);
    headingFont.setBold(true);
    QTextCharFormat heading;
    heading.setFont(headingFont);
    // The text area less a little for the document's own margin.
    const qreal headingWidth = writer.width() * 0.95;
    QTextCharFormat text;
    text.setFont(body);

    cursor.insertText(QStringLiteral("lumora uses open source"), title);
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("The licence texts of the libraries and fonts it ships with."), text);
    for (const NoticeSection& s : sections) {
        QTextBlockFormat gap;
        gap.setTopMargin(12);
        cursor.insertBlock(gap);
        cursor.insertText(packageList(s.packages, headingFont, &writer, headingWidth), heading);
        cursor.insertBlock(QTextBlockFormat());
        cursor.insertText(s.text, text);
    }
    doc.print(&writer);
    return QFile(path).size() > 0;
}
