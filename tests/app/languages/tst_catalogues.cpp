// Every text of the program has a finished translation in each catalogue:
// lupdate is run over the sources into a scratch file and the texts it finds
// are looked up in the committed catalogues and in the compiled ones of the
// resource tree.

#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Entry
{
    QString context, source, comment;
    QString type;               // "", "unfinished", "vanished" or "obsolete"
    QStringList translations;   // one, or one per plural form
    bool numerus = false;
};

QString key(const Entry& e)
{
    return e.context + QChar(0) + e.source + QChar(0) + e.comment;
}

bool readTs(const QString& path, QString* language, QMap<QString, Entry>* entries)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader xml(&f);
    QString context;
    Entry current;
    bool sawTs = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringRef n = xml.name();
            if (n == QLatin1String("TS")) {
                sawTs = true;
                *language = xml.attributes().value(QLatin1String("language")).toString();
            } else if (n == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (n == QLatin1String("message")) {
                current = Entry();
                current.context = context;
                current.numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
            } else if (n == QLatin1String("source")) {
                current.source = xml.readElementText();
            } else if (n == QLatin1String("comment")) {
                current.comment = xml.readElementText();
            } else if (n == QLatin1String("translation")) {
                current.type = xml.attributes().value(QLatin1String("type")).toString();
                if (!current.numerus)
                    current.translations << xml.readElementText();
            } else if (n == QLatin1String("numerusform")) {
                current.translations << xml.readElementText();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            entries->insert(key(current), current);
        }
    }
    return sawTs && !xml.hasError();
}

}  // namespace

class TestCatalogues : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyTextIsTranslated_data();
    void everyTextIsTranslated();

private:
    QTemporaryDir scratch;
    QMap<QString, Entry> found;
};

void TestCatalogues::initTestCase()
{
    QVERIFY(scratch.isValid());
    const QString out = scratch.filePath(QStringLiteral("found.ts"));
    QStringList args = {QStringLiteral("-silent"), QStringLiteral("-extensions"), QStringLiteral("cpp,h,ui")};
    for (const char* dir : {"app", "core", "gui", "net", "crash"})
        if (QDir(QStringLiteral(LUMORA_SOURCE_DIR "/") + QLatin1String(dir)).exists())
            args << QLatin1String(dir);
    args << QStringLiteral("-ts") << out;
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(LUMORA_SOURCE_DIR));
    lupdate.setProcessChannelMode(QProcess::ForwardedChannels);
    lupdate.start(QStringLiteral(LUPDATE), args);
    QVERIFY(lupdate.waitForFinished(120000));
    QCOMPARE(lupdate.exitCode(), 0);
    QString language;
    QVERIFY2(readTs(out, &language, &found), "lupdate wrote no readable catalogue");
    qInfo() << "texts found in the sources:" << found.size();
}

void TestCatalogues::everyTextIsTranslated_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("Czech") << "cs_CZ";
    QTest::newRow("German") << "de_DE";
    QTest::newRow("Slovak") << "sk_SK";
}

void TestCatalogues::everyTextIsTranslated()
{
    QFETCH(QString, locale);
    QString language;
    QMap<QString, Entry> catalogue;
    QVERIFY(readTs(QStringLiteral(LUMORA_SOURCE_DIR "/resources/translations/lumora_%1.ts").arg(locale), &language,
                   &catalogue));
    QCOMPARE(language, locale);

    QTranslator compiled;
    QVERIFY(compiled.load(QStringLiteral(":/lumora_%1.qm").arg(locale)));

    QStringList problems;
    // Nothing in the catalogue is left half done ...
    for (const Entry& e : catalogue)
        if (e.type == QLatin1String("unfinished"))
            problems << QStringLiteral("unfinished: %1 / %2").arg(e.context, e.source);
    // ... and every text of the sources is there, finished, and compiled in.
    for (const Entry& f : found) {
        const auto it = catalogue.constFind(key(f));
        if (it == catalogue.constEnd()) {
            problems << QStringLiteral("missing: %1 / %2").arg(f.context, f.source);
            continue;
        }
        if (!it->type.isEmpty() || it->translations.isEmpty() ||
            std::any_of(it->translations.begin(), it->translations.end(), [](const QString& t) { return t.isEmpty(); })) {
            problems << QStringLiteral("not finished: %1 / %2").arg(f.context, f.source);
            continue;
        }
        const QString translated = compiled.translate(f.context.toUtf8().constData(), f.source.toUtf8().constData(),
                                                      f.comment.isEmpty() ? nullptr : f.comment.toUtf8().constData(),
                                                      f.numerus ? 1 : -1);
        if (translated.isEmpty())
            problems << QStringLiteral("not in the compiled catalogue: %1 / %2").arg(f.context, f.source);
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestCatalogues)
#include "tst_catalogues.moc"
