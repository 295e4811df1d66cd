// Priors, softmax, decoding, suppression and the engine's result buffer.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/facedetection/facedetectcnn.h"

namespace facedetect {

bool priorbox(TensorBlob<unsigned char>* featureMap, int imageWidth, int imageHeight, int step, int numSizes,
              const float* sizes, TensorBlob<float>* output)
{
    if (!featureMap || !featureMap->data || !sizes || !output) {
        std::cerr << "priorbox: The input data is null." << std::endl;
        return false;
    }
    if (!output->create(featureMap->width, featureMap->height, 4 * numSizes))
        return false;
    for (int y = 0; y < featureMap->height; ++y)
        for (int x = 0; x < featureMap->width; ++x) {
            const float cx = (x + 0.5f) * step;
            const float cy = (y + 0.5f) * step;
            float* o = output->ptr(y, x);
            for (int s = 0; s < numSizes; ++s) {
                const float half = sizes[s] * 0.5f;
                o[4 * s + 0] = (cx - half) / imageWidth;
                o[4 * s + 1] = (cy - half) / imageHeight;
                o[4 * s + 2] = (cx + half) / imageWidth;
                o[4 * s + 3] = (cy + half) / imageHeight;
            }
        }
    return true;
}

bool softmax1vector2class(TensorBlob<float>* blob)
{
    if (!blob || !blob->data) {
        std::cerr << "softmax1vector2class: The input data is null." << std::endl;
        return false;
    }
    if (blob->width != 1 || blob->height != 1) {
        std::cerr << "softmax1vector2class: The input data must be Cx1x1." << std::endl;
        return false;
    }
    for (int i = 0; i + 1 < blob->channels; i += 2) {
        float& a = blob->data[i];
        float& b = blob->data[i + 1];
        const float m = std::max(a, b);
        const float ea = std::exp(a - m);
        const float eb = std::exp(b - m);
        a = ea / (ea + eb);
        b = eb / (ea + eb);
    }
    return true;
}

void IntersectBBox(const NormalizedBBox_& a, const NormalizedBBox_& b, NormalizedBBox_* out)
{
    *out = NormalizedBBox_{};
    if (b.xmin > a.xmax || b.xmax < a.xmin || b.ymin > a.ymax || b.ymax < a.ymin)
        return;
    out->xmin = std::max(a.xmin, b.xmin);
    out->ymin = std::max(a.ymin, b.ymin);
    out->xmax = std::min(a.xmax, b.xmax);
    out->ymax = std::min(a.ymax, b.ymax);
}

float JaccardOverlap(const NormalizedBBox_& a, const NormalizedBBox_& b)
{
    NormalizedBBox_ i;
    IntersectBBox(a, b, &i);
    const float iw = i.xmax - i.xmin;
    const float ih = i.ymax - i.ymin;
    if (!(iw > 0) || !(ih > 0))
        return 0.0f;
    const float inter = iw * ih;
    const float areaA = (a.xmax - a.xmin) * (a.ymax - a.ymin);
    const float areaB = (b.xmax - b.xmin) * (b.ymax - b.ymin);
    return inter / (areaA + areaB - inter);
}

bool SortScoreBBoxPairDescend(const std::pair<float, NormalizedBBox_>& a,
                              const std::pair<float, NormalizedBBox_>& b)
{
    return a.first > b.first;
}

bool detection_output(TensorBlob<float>* priors, TensorBlob<float>* boxes, TensorBlob<float>* scores,
                      float overlapThreshold, float confidenceThreshold, int topK, int keepTopK,
                      TensorBlob<float>* output)
{
    static const char* fn = "detection_output";
    if (!priors || !priors->data || !boxes || !boxes->data || !scores || !scores->data || !output) {
        std::cerr << fn << ": The input data is null." << std::endl;
        return false;
    }
    const int n = scores->channels;
    if (priors->channels != 2 * n || boxes->channels != 7 * n) {
        std::cerr << fn << ": The sizes of the inputs are not match." << std::endl
                  << "priorbox channels=" << priors->channels << ", loc channels=" << boxes->channels
                  << ", conf channels=" << n << std::endl;
        return false;
    }
    std::vector<std::pair<float, NormalizedBBox_>> candidates;
    for (int i = 0; i < n / 2; ++i) {
        const float score = scores->data[2 * i + 1];
        if (!(score > confidenceThreshold))
            continue;
        const float* p = priors->data + 4 * i;
        const float* d = boxes->data + 14 * i;
        const float pw = p[2] - p[0];
        const float ph = p[3] - p[1];
        const float pcx = (p[0] + p[2]) / 2;
        const float pcy = (p[1] + p[3]) / 2;
        const float cx = d[0] * 0.1f * pw + pcx;
        const float cy = d[1] * 0.1f * ph + pcy;
        const float w = std::exp(d[2] * 0.2f) * pw;
        const float h = std::exp(d[3] * 0.2f) * ph;
        NormalizedBBox_ box;
        box.xmin = std::max(cx - w / 2, 0.0f);
        box.ymin = std::max(cy - h / 2, 0.0f);
        box.xmax = std::min(cx + w / 2, 1.0f);
        box.ymax = std::min(cy + h / 2, 1.0f);
        for (int j = 0; j < 5; ++j) {
            box.lm[2 * j] = d[4 + 2 * j] * 0.1f * pw + pcx;
            box.lm[2 * j + 1] = d[5 + 2 * j] * 0.1f * ph + pcy;
        }
        candidates.emplace_back(score, box);
    }
    std::stable_sort(candidates.begin(), candidates.end(), SortScoreBBoxPairDescend);
    if (int(candidates.size()) > topK)
        candidates.resize(std::max(topK, 0));

    std::vector<std::pair<float, NormalizedBBox_>> kept;
    for (const auto& c : candidates) {
        bool keep = true;
        for (const auto& k : kept)
            if (JaccardOverlap(c.second, k.second) > overlapThreshold) {
                keep = false;
                break;
            }
        if (keep)
            kept.push_back(c);
    }
    if (int(kept.size()) > keepTopK)
        kept.resize(std::max(keepTopK, 0));

    if (kept.empty()) {
        output->release();
        output->scale = 1.0f;
        output->bias = 0;
        return true;
    }
    if (!output->create(int(kept.size()), 1, 15))
        return false;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        float* o = output->ptr(0, int(i));
        const NormalizedBBox_& b = kept[i].second;
        o[0] = kept[i].first;
        o[1] = b.xmin;
        o[2] = b.ymin;
        o[3] = b.xmax;
        o[4] = b.ymax;
        std::copy(b.lm, b.lm + 10, o + 5);
    }
    return true;
}

int* writeFaceRecords(unsigned char* resultBuffer, const std::vector<DetectedFace>& faces)
{
    int* count = reinterpret_cast<int*>(resultBuffer);
    *count = std::min(int(faces.size()), kMaxFaceRecords);
    for (int i = 0; i < *count; ++i) {
        const DetectedFace& f = faces[i];
        short* r = reinterpret_cast<short*>(resultBuffer + 4) + i * kFaceRecordShorts;
        r[0] = short(f.score * f.score * 100.0f);
        r[1] = short(f.x);
        r[2] = short(f.y);
        r[3] = short(f.width);
        r[4] = short(f.height);
        for (int j = 0; j < 10; ++j)
            r[5 + j] = short(f.landmarks[j]);
    }
    return count;
}

int* cnn_face_detect(unsigned char* resultBuffer, unsigned char* image, int width, int height, int step)
{
    if (!resultBuffer) {
        std::fprintf(stderr, "%s: null buffer memory.\n", "cnn_face_detect");
        return nullptr;
    }
    *reinterpret_cast<int*>(resultBuffer) = 0;
    return writeFaceRecords(resultBuffer, cnn_object_detect(image, width, height, step));
}

} // namespace facedetect
