#include "core/facedetection/facedetectcnn_simd.h"

#include <cstring>
#include <immintrin.h>

namespace facedetect {

namespace {

// SSE2 is part of x86-64, so this needs no target attribute.
struct VecSSE2
{
    using T = __m128i;
    static constexpr int L = 4;
    static T zero() { return _mm_setzero_si128(); }
    static T load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static T loadInts(const int* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void storeInts(int* p, T v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static T broadcastPair(const int16_t* p)
    {
        int v;
        std::memcpy(&v, p, 4);
        return _mm_set1_epi32(v);
    }
    static T add(T a, T b) { return _mm_add_epi32(a, b); }
    static T madd(T acc, T a, T b) { return _mm_add_epi32(acc, _mm_madd_epi16(a, b)); }
};

#include "core/facedetection/convkernel.inc"

} // namespace

void convolutionSSE2(const ConvJob& job)
{
    convolve<VecSSE2>(job);
}

#pragma GCC push_options
#pragma GCC target("avx2")

namespace avx2 {
namespace {

struct VecAVX2
{
    using T = __m256i;
    static constexpr int L = 8;
    static T zero() { return _mm256_setzero_si256(); }
    static T load(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static T loadInts(const int* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void storeInts(int* p, T v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static T broadcastPair(const int16_t* p)
    {
        int v;
        std::memcpy(&v, p, 4);
        return _mm256_set1_epi32(v);
    }
    static T add(T a, T b) { return _mm256_add_epi32(a, b); }
    static T madd(T acc, T a, T b) { return _mm256_add_epi32(acc, _mm256_madd_epi16(a, b)); }
};

#include "core/facedetection/convkernel.inc"

} // namespace
} // namespace avx2

void convolutionAVX2(const ConvJob& job)
{
    avx2::convolve<avx2::VecAVX2>(job);
}

void widenAVX2(const unsigned char* src, int16_t* dst, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i))));
    for (; i < n; ++i)
        dst[i] = src[i];
}

int reluMaxAVX2(int* values, std::size_t n)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i m = zero;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i* p = reinterpret_cast<__m256i*>(values + i);
        const __m256i v = _mm256_max_epi32(_mm256_loadu_si256(p), zero);
        _mm256_storeu_si256(p, v);
        m = _mm256_max_epi32(m, v);
    }
    __m128i h = _mm_max_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
    h = _mm_max_epi32(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(1, 0, 3, 2)));
    h = _mm_max_epi32(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(2, 3, 0, 1)));
    int result = _mm_cvtsi128_si32(h);
    for (; i < n; ++i) {
        values[i] = values[i] > 0 ? values[i] : 0;
        result = values[i] > result ? values[i] : result;
    }
    return result;
}

void requantizeAVX2(const int* values, unsigned char* out, std::size_t n, float factor)
{
    const __m256 f = _mm256_set1_ps(factor);
    const __m256 half = _mm256_set1_ps(0.499f);
    const __m256i top = _mm256_set1_epi32(255);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const auto quant = [&](std::size_t at) {
        const __m256 v = _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + at)));
        return _mm256_min_epi32(_mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(v, f), half)), top);
    };
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i ab = _mm256_packus_epi32(quant(i), quant(i + 8));
        const __m256i cd = _mm256_packus_epi32(quant(i + 16), quant(i + 24));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
    }
    for (; i < n; ++i) {
        const int q = int(float(values[i]) * factor + 0.499f);
        out[i] = (unsigned char)(q < 255 ? q : 255);
    }
}

#pragma GCC pop_options

} // namespace facedetect
