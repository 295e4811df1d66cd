#pragma once
// The notices document: the licence texts of the shipped packages, one
// section per distinct text with the packages that share it.

#include <QString>
#include <QStringList>
#include <QVector>

struct NoticeSection
{
    QStringList packages;
    QString text;
};

// Reads docRoot/<package>/copyright for each package. Packages with the same
// text share one section, in the order of their first package. Packages
// without a copyright file are added to missing.
QVector<NoticeSection> collectNotices(const QString& docRoot, const QStringList& packages, QStringList* missing);

// Writes the sections as a PDF; false when the file cannot be written.
bool writeNoticesPdf(const QString& path, const QVector<NoticeSection>& sections);
