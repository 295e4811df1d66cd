// The layers of the product, read from its sources: every #include "..." of
// app, core, gui, net, crash and tools must reach only its own layer or a
// layer the table below lets it include, and the lowest layers must stay
// free of Qt (crash) and of any windowing system (core). The build cannot
// see this, as every library shares the repository root as include base.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

struct Layer
{
    const char* name;
    QStringList paths;  // folders (ending in "/") or file-name prefixes
    QStringList below;  // the layers right below; a layer includes itself
};

// What may include what, from the bottom up: a layer may include the layers
// it names and, through them, everything below those. A file belongs to the
// layer with the longest matching path.
const QVector<Layer>& layers()
{
    static const QVector<Layer> table = {
        // The crash client, beside the rest; at its bottom our stand-in for
        // the kernel's ports.
        {"crash/port", {"crash/port/"}, {}},
        {"crash/base", {"crash/base/"}, {"crash/port"}},
        {"crash/util", {"crash/util/"}, {"crash/base"}},
        {"crash/client", {"crash/client/"}, {"crash/util"}},
        {"crash/handler", {"crash/handler/"}, {"crash/client"}},

        {"core", {"core/"}, {}},
        // The lower half of app/: the platform layer (interfaces in
        // app/platform/, below them one folder per mechanism), then
        // settings, logs, languages and the single-instance guard.
        {"app/platform", {"app/platform/"}, {"core"}},
        {"app/platform/x11", {"app/platform/x11/"}, {"app/platform"}},
        {"app/platform/linux", {"app/platform/linux/"}, {"app/platform/x11"}},
        {"appbase", {"app/"}, {"app/platform/linux"}},
        {"net", {"net/"}, {"appbase"}},
        {"gui", {"gui/"}, {"net"}},
        // The application object and main, on top of everything.
        {"app", {"app/lumoraapplication", "app/main.cpp"}, {"gui", "crash/client"}},
        {"tools", {"tools/"}, {"gui"}},
    };
    return table;
}

const Layer* layerNamed(const QString& name)
{
    for (const Layer& layer : layers())
        if (name == QLatin1String(layer.name))
            return &layer;
    return nullptr;
}

// Whether from may include to: to is from or lies below it.
bool reaches(const Layer* from, const Layer* to)
{
    if (from == to)
        return true;
    for (const QString& name : from->below) {
        const Layer* next = layerNamed(name);
        if (next && reaches(next, to))
            return true;
    }
    return false;
}

// System headers a layer must not include: the crash client runs when the
// rest has failed and uses no Qt; core links no windowing system.
const QVector<QPair<QString, QRegularExpression>>& forbiddenSystemHeaders()
{
    static const QVector<QPair<QString, QRegularExpression>> table = {
        {"crash/", QRegularExpression("^Q|^Qt")},
        {"core/", QRegularExpression("^(QtWidgets/|QWidget|QApplication|QtX11Extras/|xcb/|X11/)")},
    };
    return table;
}

const Layer* layerOf(const QString& path)
{
    const Layer* best = nullptr;
    int bestLength = -1;
    for (const Layer& layer : layers())
        for (const QString& prefix : layer.paths)
            if (path.startsWith(prefix) && prefix.size() > bestLength) {
                best = &layer;
                bestLength = prefix.size();
            }
    return best;
}

// Why a file at path (relative to the repository root) may not include the
// project file target; empty when it may.
QString violation(const QString& path, const QString& target)
{
    const Layer* from = layerOf(path);
    if (!from)
        return QStringLiteral("%1 lies in no layer of the table").arg(path);
    const Layer* to = layerOf(target);
    if (!to)
        return QStringLiteral("%1 includes %2, which lies in no layer of the table").arg(path, target);
    if (reaches(from, to))
        return QString();
    return QStringLiteral("%1 (%2) may not include %3 (%4)").arg(path, from->name, target, to->name);
}

QString systemViolation(const QString& path, const QString& header)
{
    for (const auto& rule : forbiddenSystemHeaders())
        if (path.startsWith(rule.first) && rule.second.match(header).hasMatch())
            return QStringLiteral("%1 may not include <%2>").arg(path, header);
    return QString();
}

}  // namespace

class TestLayers : public QObject
{
    Q_OBJECT
private slots:
    void table_data();
    void table();
    void everyIncludeKeepsToTheLayers();
};

void TestLayers::table_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("core own") << "core/model.cpp" << "core/facedetection/facedetectcnn.h" << true;
    QTest::newRow("core up to gui") << "core/model.cpp" << "gui/lumoragui.h" << false;
    QTest::newRow("core up to app") << "core/control/applicationcontroller.cpp" << "app/settings.h" << false;
    QTest::newRow("gui down to platform") << "gui/lumoragui.cpp" << "app/platform/linux/autostart.h" << true;
    QTest::newRow("gui up to the application") << "gui/lumoragui_actions.cpp" << "app/lumoraapplication.h" << false;
    QTest::newRow("net up to gui") << "net/servercontroller.cpp" << "gui/lumoragui.h" << false;
    QTest::newRow("appbase up to net") << "app/settings.cpp" << "net/scrambler.h" << false;
    QTest::newRow("platform down to core") << "app/platform/x11/x11presenceprobe.h" << "core/control/presenceprobe.h" << true;
    QTest::newRow("linux down to x11") << "app/platform/linux/systemlistenerlinux.cpp" << "app/platform/x11/xconnection.h" << true;
    QTest::newRow("interface down to x11") << "app/platform/systemsession.cpp" << "app/platform/x11/xconnection.h" << false;
    QTest::newRow("application down to core") << "app/lumoraapplication.cpp" << "core/model.h" << true;
    QTest::newRow("gui down to crash") << "gui/lumoragui.cpp" << "crash/base/logging.h" << false;
    QTest::newRow("crash handler down to port") << "crash/handler/handler_main.cpp" << "crash/port/port.h" << true;
    QTest::newRow("platform up to settings") << "app/platform/linux/autostart.cpp" << "app/settings.h" << false;
    QTest::newRow("application down to gui") << "app/lumoraapplication.cpp" << "gui/lumoragui.h" << true;
    QTest::newRow("main down to crash client") << "app/main.cpp" << "crash/client/crashwatch_client.h" << true;
    QTest::newRow("crash base up to util") << "crash/base/random.cpp" << "crash/util/fileio.h" << false;
    QTest::newRow("crash port up to base") << "crash/port/port.cpp" << "crash/base/logging.h" << false;
    QTest::newRow("crash util down to port") << "crash/util/mach_util.h" << "crash/port/port.h" << true;
    QTest::newRow("crash up to core") << "crash/client/settings.cpp" << "core/lumoratypes.h" << false;
    QTest::newRow("tools down to gui") << "tools/guisheet/main.cpp" << "gui/lumoragui.h" << true;
    QTest::newRow("product up to tools") << "core/model.cpp" << "tools/replay/replay.h" << false;
    QTest::newRow("tests are no layer") << "tests/gui/testwindow.h" << "gui/lumoragui.h" << false;
}

void TestLayers::table()
{
    QFETCH(QString, path);
    QFETCH(QString, target);
    QFETCH(bool, allowed);
    QCOMPARE(violation(path, target).isEmpty(), allowed);

    QVERIFY(!systemViolation("crash/base/logging.cpp", "QString").isEmpty());
    QVERIFY(systemViolation("crash/base/logging.cpp", "string.h").isEmpty());
    QVERIFY(!systemViolation("core/model.cpp", "QWidget").isEmpty());
    QVERIFY(systemViolation("core/model.cpp", "QImage").isEmpty());
}

void TestLayers::everyIncludeKeepsToTheLayers()
{
    for (const Layer& layer : layers())
        for (const QString& name : layer.below)
            QVERIFY2(layerNamed(name), qPrintable(QStringLiteral("%1 names no layer %2").arg(layer.name, name)));

    const QDir root(QStringLiteral(LUMORA_SOURCE_DIR));
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s*([\"<])([^\">]+)[\">]"));
    QStringList problems;
    int files = 0;
    int projectIncludes = 0;
    for (const char* top : {"app", "core", "gui", "net", "crash", "tools"}) {
        QDirIterator it(root.filePath(QLatin1String(top)), {"*.cpp", "*.h", "*.c", "*.S", "*.inc"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString absolute = it.next();
            const QString path = root.relativeFilePath(absolute);
            QFile file(absolute);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
            ++files;
            int lineNumber = 0;
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine());
                ++lineNumber;
                const QRegularExpressionMatch m = include.match(line);
                if (!m.hasMatch())
                    continue;
                const QString where = QStringLiteral("%1:%2: ").arg(path).arg(lineNumber);
                const QString name = m.captured(2);
                if (m.captured(1) == QLatin1String("<")) {
                    const QString why = systemViolation(path, name);
                    if (!why.isEmpty())
                        problems << where + why;
                    continue;
                }
                // Beside the file first, then from the repository root.
                const QString beside = QDir::cleanPath(QFileInfo(path).path() + QLatin1Char('/') + name);
                QString target;
                if (QFileInfo::exists(root.filePath(beside)))
                    target = beside;
                else if (QFileInfo::exists(root.filePath(name)))
                    target = QDir::cleanPath(name);
                else if (name.startsWith(QLatin1String("ui_")) || name.endsWith(QLatin1String(".moc")))
                    continue;  // made by the build from the folder's own forms and sources
                else {
                    problems << where + QStringLiteral("includes \"%1\", which is not in the tree").arg(name);
                    continue;
                }
                ++projectIncludes;
                const QString why = violation(path, target);
                if (!why.isEmpty())
                    problems << where + why;
            }
        }
    }
    // A scan that finds nothing proves nothing.
    QVERIFY2(files > 150, qPrintable(QString::number(files)));
    QVERIFY2(projectIncludes > 250, qPrintable(QString::number(projectIncludes)));
    QVERIFY2(problems.isEmpty(), qPrintable(QLatin1Char('\n') + problems.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestLayers)
#include "tst_layers.moc"
