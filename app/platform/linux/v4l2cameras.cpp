#include "app/platform/linux/v4l2cameras.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

int v4l2DeviceIndex(const QString& devicePath)
{
    static const QRegularExpression videoNode(QStringLiteral("^video(\\d+)$"));
    QFileInfo info(devicePath);
    if (info.isSymLink())
        info = QFileInfo(info.canonicalFilePath());
    const QRegularExpressionMatch m = videoNode.match(info.fileName());
    if (!m.hasMatch())
        return -1;
    bool ok = false;
    const int n = m.captured(1).toInt(&ok);
    return ok ? n : -1;
}

namespace {

// The card name when the node can capture video, else an empty text.
QString captureCardName(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QString();
    v4l2_capability cap{};
    QString name;
    if (::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
        // device_caps describes this node; capabilities the whole device.
        const quint32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE))
            name = QString::fromUtf8(reinterpret_cast<const char*>(cap.card));
    }
    ::close(fd);
    return name;
}

class SystemCameraList : public CameraList
{
public:
    explicit SystemCameraList(const QString& devDir) : m_devDir(devDir) {}
    QVector<CameraEntry> cameras() override { return listV4l2CaptureDevices(m_devDir); }

private:
    QString m_devDir;
};

}  // namespace

QVector<CameraEntry> listV4l2CaptureDevices(const QString& devDir)
{
    // Read with readdir: a name filter of QDir compiles a pattern at each
    // call, and the camera-test page lists the cameras at each retry.
    QVector<CameraEntry> list;
    DIR* dir = ::opendir(QFile::encodeName(devDir).constData());
    if (!dir)
        return list;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, "video", 5) != 0)
            continue;
        const QString path = devDir + QLatin1Char('/') + QFile::decodeName(entry->d_name);
        const int index = v4l2DeviceIndex(path);
        if (index < 0)
            continue;
        const QString card = captureCardName(path);
        if (!card.isEmpty())
            list.append({card, index});
    }
    ::closedir(dir);
    std::sort(list.begin(), list.end(),
              [](const CameraEntry& a, const CameraEntry& b) { return a.deviceIndex < b.deviceIndex; });
    return list;
}

std::shared_ptr<CameraList> createSystemCameraList()
{
    return std::make_shared<SystemCameraList>(QStringLiteral("/dev"));
}
