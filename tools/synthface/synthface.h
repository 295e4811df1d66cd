#pragma once
// A synthetic webcam: a textured face whose eye lids close and open on a
// script. The lids carry their texture down and back up, so the engine's
// optical flow sees the motion of a real blink. The source also answers as
// the face detector would for the frame it last produced, and can train a
// small four-point eye-corner model on its own faces.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/engineclock.h"
#include "core/framesource.h"
#include "core/model.h"

namespace synthface {

struct ScriptedBlink {
    double start = 0;     // seconds from the first frame
    double duration = 0;  // from the lid's first motion to its rest
};

struct Absence {
    double start = 0;  // the face is out of the picture from start to end
    double end = 0;
};

struct Script {
    double length = 180;  // the source ends after this many seconds
    std::vector<ScriptedBlink> blinks;
    std::vector<Absence> absences;

    // Blinks every few seconds with lengths between 0.15 and 0.4 s; long
    // enough for a whole measurement after the camera opening.
    static Script random(uint32_t seed, double length = 185);
    // count blinks of the given length, the first at first, then every gap seconds.
    static Script regular(int count, double first, double gap, double duration, double length = 180);
};

// Where the face and the eyes are in a frame of the given size.
struct Geometry {
    cv::Point2f centre;
    float faceWidth = 0, faceHeight = 0;
    cv::Point2f leftEye, rightEye;  // image left and right
    float eyeWidth = 0, eyeHeight = 0;

    static Geometry forFrame(cv::Size size);
    cv::Rect faceRect() const;
};

class SyntheticFaceSource : public FrameSource
{
public:
    explicit SyntheticFaceSource(Script script, cv::Size size = cv::Size(640, 480), double fps = 30,
                                 uint32_t seed = 1);

    // When set, each frame read advances the clock by one frame period.
    void setClock(std::shared_ptr<VirtualEngineClock> clock) { m_clock = std::move(clock); }
    // false: open() fails, as for a camera that is busy or missing.
    void setOpenable(bool openable) { m_openable = openable; }

    bool open(int index) override;
    bool isOpened() const override { return m_open; }
    bool read(cv::Mat& frame) override;
    void release() override { m_open = false; }

    // Answers as the face detector would for the last frame read: one
    // confident face with its eyes, or none while the face is away. The
    // detector refers to this source, which must outlive its use.
    Model::FaceDetectFn faceDetector();

    int framesRead() const { return m_frames; }
    double fps() const { return m_fps; }
    const Script& script() const { return m_script; }
    const Geometry& geometry() const { return m_geometry; }
    // Lid closure (0 open, 1 shut) and presence at a time of the script.
    double closureAt(double t) const;
    bool faceAt(double t) const;

private:
    Script m_script;
    cv::Size m_size;
    double m_fps;
    Geometry m_geometry;
    std::shared_ptr<VirtualEngineClock> m_clock;
    bool m_openable = true;
    bool m_open = false;
    int m_frames = 0;
    bool m_lastFace = false;
    cv::Mat m_skin;        // face without eyes
    cv::Mat m_base;        // face with open eyes
    cv::Mat m_background;  // no face
    std::vector<cv::Mat> m_noise;
    uint32_t m_rng;
};

// Draws a face into image (CV_8UC3): skin, brows, nose, mouth and the eyes
// with the given lid closure; fills skin with the face without eyes.
void renderFace(cv::Mat& image, cv::Mat& skin, const Geometry& g, double closure, uint32_t seed);
// Redraws both eyes of a face with the given closure, reading the skin image.
void renderEyes(cv::Mat& image, const cv::Mat& skin, const Geometry& g, double closure);

// Trains a four-point eye-corner model (points 0 and 1 the image-left eye's
// corners, 2 and 3 the other's) on synthetic faces and writes it in dlib's
// form to path. Takes a few seconds.
bool trainLandmarkModel(const std::string& path, int samples = 60, uint32_t seed = 7);

}  // namespace synthface
