// The layers of the product, read from its sources: every include of a
// project file in app, core, gui, net, crash and tools (in quotes or angle
// brackets) must reach only its own layer or a layer the table below lets it
// include, a private header only from its own folder, and the lowest layers
// must stay free of Qt (crash) and of any windowing system (core). The build
// cannot see this, as every library shares the repository root as include
// base.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>
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

// Headers private to a folder, which only files in that folder (and its
// subfolders) include; tests, which the scan does not read, may include them
// too. A "_p.h" header is private to its own folder; the headers of the
// platform's mechanism folders are private to the platform layer, where
// linux/ builds on x11/ and the interfaces in app/platform/ face the rest.
QString privateTo(const QString& target)
{
    if (target.endsWith(QLatin1String("_p.h")))
        return QFileInfo(target).path() + QLatin1Char('/');
    for (const char* folder : {"app/platform/x11/", "app/platform/linux/"})
        if (target.startsWith(QLatin1String(folder)) && target.endsWith(QLatin1String(".h")))
            return QStringLiteral("app/platform/");
    return QString();
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
// rest has failed and uses no Qt; core links no windowing system: no X11, no
// windows, screens or GUI application of Qt Gui, no header of Qt Widgets and
// no form made by uic.
const QVector<QPair<QString, QRegularExpression>>& forbiddenSystemHeaders()
{
    static const QVector<QPair<QString, QRegularExpression>> table = {
        {"crash/", QRegularExpression("^Q|^Qt")},
        {"core/", QRegularExpression("^(QtWidgets/|QWidget|QApplication|QtX11Extras/|xcb/|X11/|ui_)|"
                                     "^(QtGui/)?(QWindow|QGuiApplication|QScreen|QCursor|QClipboard|"
                                     "QOffscreenSurface|QRasterWindow|QOpenGLWindow|QPaintDeviceWindow)$")},
    };
    return table;
}

// Every header of Qt Widgets (<QLabel>, <QMessageBox>, <qwidget.h>, ...), as
// Qt's own include folder lists them; core/ includes none of them.
const QSet<QString>& widgetHeaders()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        const QDir dir(QLibraryInfo::location(QLibraryInfo::HeadersPath) + QStringLiteral("/QtWidgets"));
        for (const QString& name : dir.entryList(QDir::Files))
            set.insert(name);
        return set;
    }();
    return names;
}

// The one file of core/ that reaches Qt Gui's application and screens: the
// preview's status texts are drawn only where a GUI application exists
// (fonts need one) and sized by the primary screen's physical DPI.
const QVector<QPair<QString, QString>>& windowingExceptions()
{
    static const QVector<QPair<QString, QString>> table = {
        {"core/model_preview.cpp", "QGuiApplication"},
        {"core/model_preview.cpp", "QScreen"},
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
    if (!reaches(from, to))
        return QStringLiteral("%1 (%2) may not include %3 (%4)").arg(path, from->name, target, to->name);
    const QString home = privateTo(target);
    if (!home.isEmpty() && !path.startsWith(home))
        return QStringLiteral("%1 may not include %2, which is private to %3").arg(path, target, home);
    return QString();
}

// Why a file at path may not include a header from outside the tree (a
// system header, or a form made by the build); empty when it may.
QString systemViolation(const QString& path, const QString& header)
{
    for (const auto& exception : windowingExceptions())
        if (path == exception.first && header == exception.second)
            return QString();
    const QString why = QStringLiteral("%1 may not include %2").arg(path, header);
    for (const auto& rule : forbiddenSystemHeaders())
        if (path.startsWith(rule.first) && rule.second.match(header).hasMatch())
            return why;
    if (path.startsWith(QLatin1String("core/"))) {
        const QString name = header.startsWith(QLatin1String("QtWidgets/")) ? header.mid(10) : header;
        if (widgetHeaders().contains(name))
            return why;
    }
    return QString();
}

// What an include names, seen from the file at path.
struct Included
{
    enum Kind { Project, System, Generated, Missing } kind;
    QString target;  // the project file, relative to the root
};

// A project include is any whose path starts with a project folder, in
// quotes or angle brackets (an angle one only when the file is in the tree:
// <net/if.h> is the system's), and any quoted one found beside the file.
Included resolve(const QDir& root, const QString& path, const QString& name, bool angle)
{
    static const QStringList projectFolders = {"app/", "core/", "gui/", "net/", "crash/", "tools/", "tests/"};
    bool inProject = false;
    for (const QString& folder : projectFolders)
        inProject = inProject || name.startsWith(folder);
    if (angle) {
        if (inProject && QFileInfo::exists(root.filePath(name)))
            return {Included::Project, QDir::cleanPath(name)};
        return {Included::System, name};
    }
    // Beside the file first, then from the repository root.
    const QString beside = QDir::cleanPath(QFileInfo(path).path() + QLatin1Char('/') + name);
    if (QFileInfo::exists(root.filePath(beside)))
        return {Included::Project, beside};
    if (QFileInfo::exists(root.filePath(name)))
        return {Included::Project, QDir::cleanPath(name)};
    // Made by the build from the folder's own forms and sources.
    if (!inProject && (name.startsWith(QLatin1String("ui_")) || name.endsWith(QLatin1String(".moc"))))
        return {Included::Generated, name};
    return {Included::Missing, name};
}

}  // namespace

class TestLayers : public QObject
{
    Q_OBJECT
private slots:
    void table_data();
    void table();
    void systemHeaders_data();
    void systemHeaders();
    void includeForms_data();
    void includeForms();
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
    QTest::newRow("gui down to a platform interface")
        << "gui/lumoragui.cpp" << "app/platform/startatlogin.h" << true;
    QTest::newRow("gui to a linux header") << "gui/lumoragui.cpp" << "app/platform/linux/autostart.h" << false;
    QTest::newRow("gui to an x11 header") << "gui/lumoragui_tray.cpp" << "app/platform/x11/xconnection.h" << false;
    QTest::newRow("application to a linux header")
        << "app/lumoraapplication.cpp" << "app/platform/linux/v4l2cameras.h" << false;
    QTest::newRow("appbase to an x11 header") << "app/settings.cpp" << "app/platform/x11/xconnection.h" << false;
    QTest::newRow("x11 to its own header")
        << "app/platform/x11/compositing.cpp" << "app/platform/x11/xconnection.h" << true;
    QTest::newRow("platform private from its folder")
        << "app/platform/globalshortcut.cpp" << "app/platform/globalshortcut_p.h" << true;
    QTest::newRow("platform private from x11")
        << "app/platform/x11/globalshortcut_x11.cpp" << "app/platform/globalshortcut_p.h" << true;
    QTest::newRow("platform private from appbase")
        << "app/settings.cpp" << "app/platform/globalshortcut_p.h" << false;
    QTest::newRow("guard private from its folder")
        << "app/uniqueapplication/uniqueapplication.cpp" << "app/uniqueapplication/uniqueapplication_p.h" << true;
    QTest::newRow("guard private from gui")
        << "gui/lumoragui.cpp" << "app/uniqueapplication/uniqueapplication_p.h" << false;
    QTest::newRow("port private from util") << "crash/util/mach_util.h" << "crash/port/port_p.h" << false;
    QTest::newRow("gui up to the application") << "gui/lumoragui_actions.cpp" << "app/lumoraapplication.h" << false;
    QTest::newRow("net up to gui") << "net/servercontroller.cpp" << "gui/lumoragui.h" << false;
    QTest::newRow("appbase up to net") << "app/settings.cpp" << "net/scrambler.h" << false;
    QTest::newRow("platform down to core")
        << "app/platform/systempresence.h" << "core/control/presenceprobe.h" << true;
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
}

void TestLayers::systemHeaders_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("crash Qt") << "crash/base/logging.cpp" << "QString" << false;
    QTest::newRow("crash libc") << "crash/base/logging.cpp" << "string.h" << true;
    QTest::newRow("core image") << "core/model.cpp" << "QImage" << true;
    QTest::newRow("core painter") << "core/model.cpp" << "QPainter" << true;
    QTest::newRow("core widget") << "core/model.cpp" << "QWidget" << false;
    QTest::newRow("core label") << "core/model.cpp" << "QLabel" << false;
    QTest::newRow("core message box") << "core/framesource.cpp" << "QMessageBox" << false;
    QTest::newRow("core widgets path") << "core/model.cpp" << "QtWidgets/QSlider" << false;
    QTest::newRow("core widgets lower case") << "core/model.cpp" << "qpushbutton.h" << false;
    QTest::newRow("core window") << "core/model.cpp" << "QWindow" << false;
    QTest::newRow("core screen") << "core/model.cpp" << "QScreen" << false;
    QTest::newRow("core gui application") << "core/framesource.cpp" << "QtGui/QGuiApplication" << false;
    QTest::newRow("core form") << "core/model.cpp" << "ui_lumoragui.h" << false;
    QTest::newRow("core xcb") << "core/model.cpp" << "xcb/xcb.h" << false;
    QTest::newRow("preview screen") << "core/model_preview.cpp" << "QScreen" << true;
    QTest::newRow("preview gui application") << "core/model_preview.cpp" << "QGuiApplication" << true;
    QTest::newRow("preview window") << "core/model_preview.cpp" << "QWindow" << false;
    QTest::newRow("preview widget") << "core/model_preview.cpp" << "QLabel" << false;
    QTest::newRow("gui widget") << "gui/lumoragui.cpp" << "QLabel" << true;
    QTest::newRow("gui form") << "gui/lumoragui.cpp" << "ui_lumoragui.h" << true;
}

void TestLayers::systemHeaders()
{
    QFETCH(QString, path);
    QFETCH(QString, header);
    QFETCH(bool, allowed);
    // Qt Widgets' list was found, or the rule on its headers checks nothing.
    QVERIFY2(widgetHeaders().size() > 100 && widgetHeaders().contains(QStringLiteral("QLabel")),
             qPrintable(QString::number(widgetHeaders().size())));
    QCOMPARE(systemViolation(path, header).isEmpty(), allowed);
}

void TestLayers::includeForms_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("angle");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("target");
    const int project = Included::Project;
    QTest::newRow("quoted from the root")
        << "core/model.cpp" << "app/settings.h" << false << project << "app/settings.h";
    QTest::newRow("angle from the root")
        << "core/model.cpp" << "app/settings.h" << true << project << "app/settings.h";
    QTest::newRow("angle to gui")
        << "net/servercontroller.cpp" << "gui/lumoragui.h" << true << project << "gui/lumoragui.h";
    QTest::newRow("angle to tests")
        << "crash/base/logging.cpp" << "tests/isolate.sh" << true << project << "tests/isolate.sh";
    QTest::newRow("quoted beside") << "core/model.cpp" << "model.h" << false << project << "core/model.h";
    QTest::newRow("system net")
        << "crash/util/fileio.cpp" << "net/if.h" << true << int(Included::System) << "net/if.h";
    QTest::newRow("system Qt") << "core/model.cpp" << "QString" << true << int(Included::System) << "QString";
    QTest::newRow("form")
        << "gui/lumoragui.cpp" << "ui_lumoragui.h" << false << int(Included::Generated) << "ui_lumoragui.h";
    QTest::newRow("missing")
        << "gui/lumoragui.cpp" << "gui/nosuchfile.h" << false << int(Included::Missing) << "gui/nosuchfile.h";
}

void TestLayers::includeForms()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(bool, angle);
    QFETCH(int, kind);
    QFETCH(QString, target);
    const Included included = resolve(QDir(QStringLiteral(LUMORA_SOURCE_DIR)), path, name, angle);
    QCOMPARE(int(included.kind), kind);
    QCOMPARE(included.target, target);
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
                const Included included = resolve(root, path, name, m.captured(1) == QLatin1String("<"));
                if (included.kind == Included::Missing) {
                    problems << where + QStringLiteral("includes \"%1\", which is not in the tree").arg(name);
                    continue;
                }
                if (included.kind != Included::Project) {
                    const QString why = systemViolation(path, name);
                    if (!why.isEmpty())
                        problems << where + why;
                    continue;
                }
                ++projectIncludes;
                const QString why = violation(path, included.target);
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
