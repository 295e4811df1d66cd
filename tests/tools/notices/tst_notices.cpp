// The notices tool: licence texts into a PDF, shared texts once; a shipped
// package without its copyright file fails the build. Read back with
// pdftotext, the shipped document also word by word with the place and size
// each word has on the page.

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

class TestNotices : public QObject
{
    Q_OBJECT

private slots:
    void documentHoldsEachTextOnce();
    void missingPackageFails();
    void shippedDocumentNamesShippedPackages();
    void shippedDocumentIsPrintedReadably();

private:
    static QString pdfText(const QString& pdf)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    static int runTool(const QStringList& args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QStringLiteral(LUMORA_BIN_DIR "/lumora-notices"), args);
        if (!p.waitForFinished(60000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    static void writeCopyright(const QString& root, const QString& package, const QByteArray& text)
    {
        QVERIFY(QDir(root).mkpath(package));
        QFile f(root + "/" + package + "/copyright");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

void TestNotices::documentHoldsEachTextOnce()
{
    QTemporaryDir dir;
    const QString root = dir.filePath("doc");
    writeCopyright(root, "libalpha1", "Alpha licence: permission is granted to Zebulon.\n");
    writeCopyright(root, "libbeta2", "Beta licence, second text by Quentin.\n");
    writeCopyright(root, "libalpha-extra1", "Alpha licence: permission is granted to Zebulon.\n");
    const QString pdf = dir.filePath("notices.pdf");
    QCOMPARE(runTool({pdf, root, "libalpha1", "libbeta2", "libalpha-extra1"}), 0);

    const QString text = pdfText(pdf);
    QVERIFY2(!text.isEmpty(), "pdftotext read nothing");
    QCOMPARE(text.count("permission is granted to Zebulon"), 1);
    QCOMPARE(text.count("second text by Quentin"), 1);
    QVERIFY(text.contains("libalpha1, libalpha-extra1"));
    QVERIFY(text.indexOf("Zebulon") < text.indexOf("Quentin"));
}

void TestNotices::missingPackageFails()
{
    QTemporaryDir dir;
    const QString root = dir.filePath("doc");
    writeCopyright(root, "libalpha1", "Alpha.\n");
    const QString pdf = dir.filePath("notices.pdf");
    QCOMPARE(runTool({pdf, root, "libalpha1", "libnothere0"}), 1);
    QVERIFY(!QFile::exists(pdf));
}

void TestNotices::shippedDocumentNamesShippedPackages()
{
    const QString text = pdfText(QStringLiteral(LUMORA_BIN_DIR "/notices.pdf"));
    const QStringList packages = QStringLiteral(LUMORA_NOTICE_PACKAGES).split(' ', Qt::SkipEmptyParts);
    QVERIFY(packages.size() >= 5);
    for (const QString& package : packages)
        QVERIFY2(QRegularExpression("(^|[\\s,])" + QRegularExpression::escape(package) + "([\\s,]|$)",
                                    QRegularExpression::MultilineOption)
                     .match(text)
                     .hasMatch(),
                 qPrintable(package));
    QVERIFY(text.contains("Apache License") || text.contains("Apache-2.0"));  // the Roboto font's licence
}

// A4 pages whose words are printed at a reading size and whose lines use the
// page's width, every word on its page.
void TestNotices::shippedDocumentIsPrintedReadably()
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral(LUMORA_BIN_DIR "/notices.pdf"),
                                          QStringLiteral("-")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());

    const QRegularExpression pageRe(QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\""));
    const QRegularExpression wordRe(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\""));
    QVector<double> heights;
    double left = 1e9, right = 0, pageWidth = 0;
    int pages = 0;
    for (const QString& page : html.split(QStringLiteral("<page "), Qt::SkipEmptyParts).mid(1)) {
        const auto size = pageRe.match(QStringLiteral("<page ") + page);
        QVERIFY(size.hasMatch());
        const double width = size.captured(1).toDouble(), height = size.captured(2).toDouble();
        QVERIFY2(qAbs(width - 595) < 2 && qAbs(height - 842) < 2, "not an A4 page");
        pageWidth = width;
        ++pages;
        for (auto it = wordRe.globalMatch(page); it.hasNext();) {
            const auto w = it.next();
            const double x0 = w.captured(1).toDouble(), y0 = w.captured(2).toDouble();
            const double x1 = w.captured(3).toDouble(), y1 = w.captured(4).toDouble();
            QVERIFY2(x0 >= 0 && y0 >= 0 && x1 <= width && y1 <= height, "a word off its page");
            heights.append(y1 - y0);
            left = std::min(left, x0);
            right = std::max(right, x1);
        }
    }
    QVERIFY(pages > 1);
    QVERIFY(heights.size() > 1000);
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    const double median = heights.at(heights.size() / 2);
    QVERIFY2(median >= 8 && median <= 12, qPrintable(QString("median word height %1 pt").arg(median)));
    QVERIFY2(right - left >= pageWidth / 2,
             qPrintable(QString("text spans %1 to %2 pt of %3").arg(left).arg(right).arg(pageWidth)));
}

QTEST_MAIN(TestNotices)
#include "tst_notices.moc"
