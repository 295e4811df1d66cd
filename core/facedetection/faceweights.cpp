#include "core/facedetection/faceweights.h"

#include <cstring>

extern "C" {
extern const unsigned char lumora_face_weights[];
extern const unsigned long long lumora_face_weights_size;
}

namespace facedetect {

namespace {

uint32_t readU32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

bool parseFaceWeights(const unsigned char* data, std::size_t size, FaceLayerWeights layers[kFaceLayerCount],
                      const char** error)
{
    const char* reason = nullptr;
    if (!data || size < kFaceWeightsHeaderSize || std::memcmp(data, "LFDW", 4) != 0)
        reason = "not a face detector weight file";
    else if (readU32(data + 4) != 1)
        reason = "unsupported weight file version";
    else if (readU32(data + 8) != uint32_t(kFaceLayerCount))
        reason = "wrong number of layers";
    else if (size != kFaceWeightsFileSize)
        reason = "wrong weight file size";
    if (reason) {
        if (error)
            *error = reason;
        return false;
    }
    std::size_t offset = kFaceWeightsHeaderSize;
    for (int n = 0; n < kFaceLayerCount; ++n) {
        const FaceLayerShape& sh = kFaceLayerShapes[n];
        const uint32_t bits = readU32(data + 12 + 4 * n);
        std::memcpy(&layers[n].scale, &bits, 4);
        layers[n].weights = reinterpret_cast<const signed char*>(data + offset);
        offset += std::size_t(sh.out) * sh.in * sh.kernel * sh.kernel;
        layers[n].biases = data + offset;
        offset += 4 * std::size_t(sh.out);
    }
    return true;
}

const unsigned char* embeddedFaceWeights()
{
    return lumora_face_weights;
}

std::size_t embeddedFaceWeightsSize()
{
    return std::size_t(lumora_face_weights_size);
}

} // namespace facedetect
