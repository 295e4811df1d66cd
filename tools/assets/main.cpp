// lumora-assets: makes the program's own pictures and sounds and writes them
// into the resource folder, where they are committed.
//   lumora-assets [resource folder]   (default: the source tree's resources/)

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include "tools/assets/assets.h"

namespace assets {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        qCritical() << "cannot write" << path << f.errorString();
        return false;
    }
    return true;
}

}  // namespace assets

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral(LUMORA_SOURCE_DIR "/resources");
    const QString icons = root + QStringLiteral("/icons");
    const QString audio = root + QStringLiteral("/audio");
    if (!QDir().mkpath(icons) || !QDir().mkpath(audio)) {
        qCritical() << "cannot create" << icons << audio;
        return 1;
    }
    const bool ok = assets::writeSvgIcons(icons) && assets::writeAnimations(icons) &&
                    assets::writeSounds(audio) && assets::writeApplicationIcons(icons) &&
                    assets::writePartnerLogo(icons, QStringLiteral(ROBOTO_DIR "/Roboto-Bold.ttf"));
    return ok ? 0 : 1;
}
