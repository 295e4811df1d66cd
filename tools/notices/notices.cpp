#include "tools/notices/notices.h"

#include <QFile>
#include <algorithm>
#include <QFont>
#include <QFontDatabase>
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

bool writeNoticesPdf(const QString& path, const QVector<NoticeSection>& sections)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setTitle(QStringLiteral("lumora open source notices"));
    writer.setCreator(QStringLiteral("lumora-notices"));

    QTextDocument doc;
    doc.setPageSize(QSizeF(writer.width(), writer.height()));
    QFont body = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    body.setPointSizeF(7);
    doc.setDefaultFont(body);

    QTextCursor cursor(&doc);
    QTextCharFormat title;
    title.setFontPointSize(16);
    title.setFontWeight(QFont::Bold);
    QTextCharFormat heading;
    heading.setFontPointSize(11);
    heading.setFontWeight(QFont::Bold);
    QTextCharFormat text;
    text.setFont(body);

    cursor.insertText(QStringLiteral("lumora uses open source"), title);
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("The licence texts of the libraries and fonts it ships with."), text);
    for (const NoticeSection& s : sections) {
        QTextBlockFormat gap;
        gap.setTopMargin(12);
        cursor.insertBlock(gap);
        cursor.insertText(s.packages.join(QStringLiteral(", ")), heading);
        cursor.insertBlock(QTextBlockFormat());
        cursor.insertText(s.text, text);
    }
    doc.print(&writer);
    return QFile(path).size() > 0;
}
