#pragma once
// The asset generator's parts. Each writes its files into the resource
// folder given to it and returns false (after a message) when it cannot.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

namespace assets {

// Palette of the program's look.
constexpr const char* kAccent = "#98C800";
constexpr const char* kDisabled = "#808080";
constexpr const char* kWarning = "#d45500";

bool writeFile(const QString& path, const QByteArray& bytes);

bool writeSvgIcons(const QString& iconsDir);
bool writeAnimations(const QString& iconsDir);
bool writeSounds(const QString& audioDir);
bool writeApplicationIcons(const QString& iconsDir);
bool writePartnerLogo(const QString& iconsDir, const QString& fontFile);

// The application icon's drawing, also rasterised by the icon writers.
QByteArray applicationIconSvg();

// One frame of an animation and how long it stays, in hundredths of a second.
struct GifFrame
{
    QImage image;
    int delayCs = 10;
};

// A looping GIF89a file of the frames (all of one size), with one palette
// of at most 256 colours chosen from the frames.
QByteArray encodeGif(const QVector<GifFrame>& frames);

}  // namespace assets
