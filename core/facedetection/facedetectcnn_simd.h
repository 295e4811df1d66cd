#pragma once
// Vector convolution loops (SSE2 and AVX2), chosen at run time. Their integer
// results equal the plain loops exactly.
//
// SSE2: int16 products of uint8 inputs and int8 weights summed in pairs
// (pmaddwd) never leave the int32 range. Weight layout for vectors of L int32
// lanes (Filters::prepareWide): filters in groups of L, then kernel taps
// (row, column), then channel pairs, then the L filters' two weights: value [((g*taps + t)*pairs + q)*2L + 2l + e] is
// filter gL + l, tap t, channel 2q + e; missing filters and channels are 0.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/facedetection/tensorblob.h"

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

// The AVX2 loops work on the uint8 inputs and int8 weights as they are:
// vpmaddubsw multiplies four input channels (broadcast) with four weights of
// each of 8 filters and adds them in pairs to int16, vpmaddwd with ones
// widens the pairs to int32. The int16 pair sum saturates when two weights of
// one sign add up to more than 128 in size; such blocks are split exactly
// into two halves (w - (w >> 1) and w >> 1, each within -64..64): the first
// stays in the main weights, the second goes to a short list of extra blocks
// that the loops add afterwards. So the sums equal the plain loops' exactly.
//
// Layout: filters in groups of 8, then kernel rows, then `runLen` blocks of
// four channels along the row (for 3x3 filters the row's three pixels of
// channelStep bytes follow each other, as in the bordered input), then the 8
// filters' four weights: 32 bytes per block. Missing filters and channels are 0.
struct ByteFilters
{
    std::vector<int8_t> weights;
    int rows = 0;        // kernel rows
    int runLen = 0;      // 4-byte blocks per row
    int groups = 0;      // groups of 8 filters
    int channelStep = 0; // input bytes per pixel the layout is made for (0: not built)
    std::vector<int> extraBegin; // per group, its first extra block; groups + 1 values
    std::vector<int> extraRow;   // per extra block: kernel row
    std::vector<int> extraBlock; // and block along the row
    std::vector<int8_t> extraWeights; // 32 bytes per extra block
    // Where the pairs would overflow as stored, the channels may be read in
    // another order within each 16-byte block of a pixel (one order for the
    // whole layer, chosen so that fewer blocks need splitting): position j
    // holds channel order[j]. Empty: as stored.
    std::vector<uint8_t> order;
};

// Fills `out` from one blob per filter (kernel x kernel x channels, all alike).
void prepareByteFilters(const std::vector<TensorBlob<signed char>*>& filters, ByteFilters& out);

// out (int32, one channel per filter) = the dot products plus biasTerms (one
// per filter, padded with zeros to whole groups). Pad is kernel / 2.
void convolutionBytesAVX2(const TensorBlob<unsigned char>& in, const ByteFilters& filters, int stride,
                          int numFilters, const int* biasTerms, TensorBlob<int>& out);

// out[i] = the largest of a[i], b[i], c[i], d[i]; n a multiple of 16 (SSE2).
void max4SSE2(const unsigned char* a, const unsigned char* b, const unsigned char* c, const unsigned char* d,
              unsigned char* out, std::size_t n);

// AVX2 forms of the element loops around the convolutions; each gives
// exactly what its plain loop gives.
int maxOrZeroAVX2(const int* values, std::size_t n); // the largest value, at least 0
// out = what ReLU and then requantisation by `factor` give (negatives become 0).
void requantizeAVX2(const int* values, unsigned char* out, std::size_t n, float factor);

} // namespace facedetect
