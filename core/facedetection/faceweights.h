#pragma once
// The face detector's weight file, built into the program from
// core/facedetection/faceweights.bin (see faceweights.S).
//
// File format, version 1. Every multi-byte value is little-endian; there is
// no padding anywhere; the file is exactly 2,326,924 bytes.
//
//   offset 0    4 bytes   magic "LFDW"
//   offset 4    uint32    version = 1
//   offset 8    uint32    layer count = 24
//   offset 12   24 x float32 (IEEE-754 binary32) layer scales, layer 0 first
//   offset 108  for each layer n = 0 .. 23, in this order:
//                 weights  out*in*k*k x int8, filter by filter, inside a filter
//                          channel by channel, row by row, column by column:
//                          value (f, ch, r, c) at ((f*in + ch)*k + r)*k + c
//                 biases   out x int32, filter f at index f
//
// k, in and out of each layer are fixed (kFaceLayerShapes below); together
// the 24 layers hold 2,318,176 weight bytes and 2,160 biases. Every weight
// block has a length divisible by 4, so each bias block is 4-byte aligned.
//
// Meaning of the numbers (what a trainer must produce):
// - int8 weight = round(real weight x layer scale), clamped to -128..127.
// - int32 bias = round(real bias x layer scale). At run time it is multiplied
//   by the integer that stands for 1.0 in the layer's input, so the sum comes
//   out in the same units as the weighted inputs.
// - Activations are uint8 with one scale per tensor, rescaled after every ReLU
//   layer so that its maximum becomes 255. The input image is used as raw
//   0..255 values (scale 1, no mean subtraction) in OpenCV's blue, green, red
//   channel order: channel 0 of layer 0 is blue.
// - Layers 16..23 are the heads; their outputs are divided by (input scale x
//   layer scale) to give real values. Per prior p of a cell: the box head has
//   channels 14p .. 14p+13 = centre x, centre y, width, height offsets, then
//   x, y of the five landmarks (landmark 0 = the eye on the image's left side,
//   landmark 1 = the other eye); the score head has channels 2p = background
//   and 2p+1 = face logits.

#include <cstddef>
#include <cstdint>

namespace facedetect {

constexpr int kFaceLayerCount = 24;
constexpr std::size_t kFaceWeightsHeaderSize = 12 + 4 * kFaceLayerCount;
constexpr std::size_t kFaceWeightsFileSize = 2326924;

struct FaceLayerShape
{
    int kernel;
    int in;
    int out;
};

// Kernel size, input channels and output channels of layers 0 .. 23.
constexpr FaceLayerShape kFaceLayerShapes[kFaceLayerCount] = {
    {3, 3, 32},    {1, 32, 16},   {3, 16, 32},   {1, 32, 32},   {3, 32, 64},   {1, 64, 32},
    {3, 32, 64},   {3, 64, 128},  {1, 128, 64},  {3, 64, 128},  {3, 128, 256}, {1, 256, 128},
    {3, 128, 256}, {3, 256, 256}, {1, 256, 256}, {3, 256, 256}, {3, 64, 42},   {3, 64, 6},
    {3, 128, 28},  {3, 128, 4},   {3, 256, 28},  {3, 256, 4},   {3, 256, 42},  {3, 256, 6}};

// One layer's view into a weight file.
struct FaceLayerWeights
{
    float scale = 0.f;
    const signed char* weights = nullptr;
    const unsigned char* biases = nullptr; // out little-endian int32 values
};

// Checks a weight file and points each layer at its data. Returns false, with
// a reason in *error, when the magic, version, layer count or size is wrong.
bool parseFaceWeights(const unsigned char* data, std::size_t size, FaceLayerWeights layers[kFaceLayerCount],
                      const char** error);

// The weight file built into the program.
const unsigned char* embeddedFaceWeights();
std::size_t embeddedFaceWeightsSize();

} // namespace facedetect
