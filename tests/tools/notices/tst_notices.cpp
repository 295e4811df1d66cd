// The notices tool: licence texts into a PDF, shared texts once; a shipped
// package without its copyright file fails the build. Read back with
// pdftotext.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestNotices : public QObject
{
    Q_OBJECT

private slots:
    void documentHoldsEachTextOnce();
    void missingPackageFails();
    void shippedDocumentNamesShippedPackages();

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
    for (const char* package : {"libqt5core5a", "libopencv-core406", "libdlib19.1", "libqcustomplot2.1",
                                "fonts-roboto-unhinted"})
        QVERIFY2(text.contains(package), package);
    QVERIFY(text.contains("Apache License") || text.contains("Apache-2.0"));  // the Roboto font's licence
}

QTEST_MAIN(TestNotices)
#include "tst_notices.moc"
