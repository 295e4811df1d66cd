// The engine's images for the camera test page: the live preview with its
// frame rate, blink banner, face and eyes, and the status images sent when
// the camera cannot be used.

#include "core/model.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {
const QColor textColour(0, 202, 255);
const QColor goodColour(152, 200, 0);
const QColor fairColour(212, 85, 0);
const QColor poorColour(255, 0, 0);

// The points the texts would have at 72 dots per inch.
constexpr double kTypographicDpi = 72.0;
constexpr int kStatusFontSize = 18;
constexpr int kFpsFontSize = 16;
constexpr int kBannerFontSize = 22;
// Frame rates from these on are shown in the good and the fair colour.
constexpr int kGoodFps = 21;
constexpr int kFairFps = 16;
constexpr QPoint kFpsTextAt(20, 30);
// The face rectangle's far corners lie this many pixels inside the face.
constexpr int kFaceRectInset = 3;
// Eye circles of this diameter or less are not drawn.
constexpr float kMinEyeCircle = 5;
// The room a text keeps from the image's edges, in pixels.
constexpr int kTextMargin = 8;

// The font of this size, made smaller where the text (in any language)
// would not fit inside the image's margins.
QFont fittingFont(QImage& image, int pointSize, QFont::Weight weight, const QString& text, int flags)
{
    QFont font(QStringLiteral("Roboto"), qMax(pointSize, 1), weight);
    const QRect room = image.rect().adjusted(kTextMargin, kTextMargin, -kTextMargin, -kTextMargin);
    while (font.pointSize() > 1 && !room.contains(QFontMetrics(font, &image).boundingRect(room, flags, text)))
        font.setPointSize(font.pointSize() - 1);
    return font;
}
}  // namespace

void Model::drawTexts()
{
    // Fonts need a GUI application; without one (command-line tools) the
    // images stay plain black.
    const bool canDrawText = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (canDrawText) {
        // The images have a fixed size in pixels, so the screen's dots per
        // inch count in its device pixels: where Qt scales the screen, its
        // logical dots per inch are fewer by that factor, and the texts
        // would be scaled up a second time.
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen && screen->physicalDotsPerInch() > 0)
            m_textScale = kTypographicDpi / (screen->physicalDotsPerInch() * screen->devicePixelRatio());
    }
    const QString texts[4] = {
        tr("empty frame received\ncamera disconnected\nor broken or bad cable\nor bad driver"),
        tr("camera is occupied or not connected"),
        tr("loading classifiers"),
        tr("missing file: data.dat or low memory"),
    };
    QImage* images[4] = {&m_emptyFrameImage, &m_cameraOccupiedImage, &m_loadingImage, &m_missingFileImage};
    for (int i = 0; i < 4; ++i) {
        QImage image(kPreviewWidth, kPreviewHeight, QImage::Format_RGB888);
        image.fill(Qt::black);
        if (canDrawText) {
            QPainter painter(&image);
            painter.setPen(textColour);
            painter.setFont(fittingFont(image, int(m_textScale * kStatusFontSize), QFont::Normal, texts[i],
                                        Qt::AlignCenter));
            painter.drawText(image.rect(), Qt::AlignCenter, texts[i]);
        }
        *images[i] = image;
    }
    const int bannerSize = int(m_textScale * kBannerFontSize);
    m_bannerFont = canDrawText ? fittingFont(m_emptyFrameImage, bannerSize, QFont::Bold, tr("blink detected"),
                                             Qt::AlignHCenter)
                               : QFont(QStringLiteral("Roboto"), bannerSize, QFont::Bold);
}

QImage Model::convertToQImage(const cv::Mat& mat) const
{
    if (mat.empty())
        return QImage();
    const QImage view(mat.data, mat.cols, mat.rows, int(mat.step), QImage::Format_RGB888);
    return view.rgbSwapped();  // a deep copy that owns its pixels
}

void Model::sendImage(const QImage& image)
{
    emit frameReceived(image);
}

void Model::drawPreview()
{
    // The window shows one frame at a time; while it has not shown the last
    // one, newer frames are dropped instead of piling up in its queue.
    if (m_previewPending) {
        if (m_blinkBanner > 0)
            --m_blinkBanner;
        return;
    }
    cv::resize(m_frame, m_previewFrame, cv::Size(kPreviewWidth, int(float(m_frame.rows) / m_previewScale)), 0,
               0, cv::INTER_LINEAR);
    const QImage converted = convertToQImage(m_previewFrame);
    if (!converted.isNull())
        m_previewImage = converted;

    {
        QPainter painter(&m_previewImage);
        drawFrameRate(painter);
        drawBlinkBanner(painter);
        if (m_currentFace)
            drawFaceAndEyes(painter);
    }
    m_previewPending = true;
    emit frameReceived(m_previewImage);
}

void Model::drawFrameRate(QPainter& painter) const
{
    const QColor& rateColour =
        m_estimatedFps >= kGoodFps ? goodColour : m_estimatedFps >= kFairFps ? fairColour : poorColour;
    painter.setPen(rateColour);
    painter.setFont(QFont("Roboto", int(m_textScale * kFpsFontSize)));
    painter.drawText(kFpsTextAt, QString::number(m_estimatedFps) + " fps");
}

// The banner fades out over the frames it lasts.
void Model::drawBlinkBanner(QPainter& painter)
{
    if (m_blinkBanner <= 0)
        return;
    --m_blinkBanner;
    painter.save();
    painter.setPen(textColour);
    painter.setFont(m_bannerFont);
    painter.setOpacity(double(m_blinkBanner) / m_blinkBannerLength);
    painter.drawText(m_previewImage.rect(), Qt::AlignHCenter, tr("blink detected"));
    painter.restore();
}

void Model::drawFaceAndEyes(QPainter& painter) const
{
    const cv::Rect& f = *m_currentFace;
    const int x1 = int(std::roundf(float(f.x) / m_previewScale));
    const int y1 = int(std::roundf(float(f.y) / m_previewScale));
    const int x2 = x1 + int(std::roundf(float(f.width) / m_previewScale)) - kFaceRectInset;
    const int y2 = y1 + int(std::roundf(float(f.height) / m_previewScale)) - kFaceRectInset;
    painter.setPen(goodColour);
    painter.drawRect(QRect(QPoint(x1, y1), QPoint(x2, y2)));

    // An eye is circled only when its circle lies clear of the preview's
    // edges.
    painter.setPen(textColour);
    const int pw = m_previewImage.width();
    const int ph = m_previewImage.height();
    auto circle = [&](float ex, float ey, int side) {
        const float d = (float(side) / m_eyeRegionFactor) / m_previewScale - 1;
        const float cx = ex / m_previewScale - 1;
        const float cy = ey / m_previewScale - 1;
        if (d > kMinEyeCircle && cx - d > 1 && cy - d > 1 && cx + d < pw - 2 && cy + d < ph - 2)
            painter.drawEllipse(QPointF(cx, cy), d / 2, d / 2);
    };
    circle(m_eyes.x1, m_eyes.y1, m_eyes.side1);
    circle(m_eyes.x2, m_eyes.y2, m_eyes.side2);
}
