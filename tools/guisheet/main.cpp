// lumora-guisheet: renders the main window's four pages (main, settings,
// about, camera test) in each interface language to PNG files, so a person
// can look them over.
//   lumora-guisheet [output-dir]   (default: the current directory)
// Writes <lang>_<page>.png for every page and sheet_<lang>.png with the four
// pages side by side; tools/guisheet/sheet.png is the committed English sheet.

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFont>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QTranslator>

#include "app/appfonts.h"
#include "app/languages.h"
#include "gui/lumoragui.h"
#include "pages.h"

namespace {

QImage sheetOf(const QVector<QPixmap>& shots, const QStringList& captions)
{
    const int gap = 24, top = 40;
    int width = gap, height = 0;
    for (const QPixmap& p : shots) {
        width += p.width() + gap;
        height = qMax(height, p.height());
    }
    QImage sheet(width, height + top + gap, QImage::Format_ARGB32);
    sheet.fill(QColor(0xe8, 0xe8, 0xe8));
    QPainter painter(&sheet);
    QFont f = painter.font();
    f.setPixelSize(20);
    f.setBold(true);
    painter.setFont(f);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    int x = gap;
    for (int i = 0; i < shots.size(); ++i) {
        painter.drawText(QPointF(x, 28), captions.at(i));
        painter.drawPixmap(x, top, shots.at(i));
        x += shots.at(i).width() + gap;
    }
    return sheet;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    app.setFont(QFont(appfonts::install(), 15));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    if (!out.exists() && !QDir().mkpath(out.path())) {
        qCritical() << "cannot create" << out.path();
        return 1;
    }

    languages::initialize();
    QTranslator* appTranslator = nullptr;
    QTranslator* qtTranslator = nullptr;
    LumoraGUI window;
    window.show();
    guisheet::settle();

    int failures = 0;
    for (int lang = 0; lang < languages::list().size(); ++lang) {
        // The program's own language switch; the window re-texts itself.
        languages::apply(lang, &app, appTranslator, qtTranslator);
        guisheet::settle();
        const QString code = lang == 0 ? QStringLiteral("en") : languages::list().at(lang).name().left(2);

        QVector<QPixmap> shots;
        QStringList captions;
        for (const guisheet::Page& page : guisheet::pages()) {
            if (!guisheet::open(&window, page)) {
                qCritical().noquote() << "the title bar does not lead to the page" << page.name;
                ++failures;
            }
            const QPixmap shot = window.grab();
            const QString file = out.filePath(code + QLatin1Char('_') + page.name + QStringLiteral(".png"));
            if (!shot.save(file)) {
                qCritical() << "cannot write" << file;
                ++failures;
            }
            shots.append(shot);
            captions.append(page.name);
        }
        const QString sheet = out.filePath(QStringLiteral("sheet_") + code + QStringLiteral(".png"));
        if (!sheetOf(shots, captions).save(sheet)) {
            qCritical() << "cannot write" << sheet;
            ++failures;
        }
        qInfo().noquote() << "wrote" << sheet;
    }
    return failures == 0 ? 0 : 1;
}
