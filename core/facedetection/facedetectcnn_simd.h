#pragma once
// Vector convolution loops (SSE2 and AVX2), chosen at run time. Their integer
// results equal the plain loops exactly: int16 products of uint8 inputs and
// int8 weights summed in pairs (pmaddwd) never leave the int32 range.
//
// Weight layout for vectors of L int32 lanes (Filters::prepareWide): filters
// in groups of L, then kernel taps (row, column), then channel pairs, then
// the L filters' two weights: value [((g*taps + t)*pairs + q)*2L + 2l + e] is
// filter gL + l, tap t, channel 2q + e; missing filters and channels are 0.

#include <cstddef>
#include <cstdint>

namespace facedetect {

struct ConvJob
{
    const int16_t* in;          // widened input with a zero border of `pad` pixels
    std::ptrdiff_t inRowStride; // values per input row
    int inPixStride;            // values per input pixel
    int kernel;                 // 1 or 3
    int stride;                 // 1 or 2
    const int16_t* weights;     // see the layout above
    int pairs;                  // channel pairs per tap
    int numFilters;
    const int* biasTerms;       // one per filter, padded with zeros to whole groups
    int* out;
    int outW;
    int outH;
    int outPixStride; // ints per output pixel
};

void convolutionSSE2(const ConvJob& job);
void convolutionAVX2(const ConvJob& job);

// AVX2 forms of the element loops around the convolutions; each gives
// exactly what its plain loop gives.
void widenAVX2(const unsigned char* src, int16_t* dst, std::size_t n);
int reluMaxAVX2(int* values, std::size_t n); // clamps negatives to 0, returns the maximum (at least 0)
void requantizeAVX2(const int* values, unsigned char* out, std::size_t n, float factor);

} // namespace facedetect
