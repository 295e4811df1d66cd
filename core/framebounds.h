#pragma once
// The frame and picture shapes the engine and its tools work on. No camera
// and no photo has a side under 16 pixels, a side over 16384 pixels, or one
// side more than eight times the other; such input is refused before any
// work (or memory) is spent on it.

#include <string>

namespace framebounds {

constexpr long long kMinSide = 16;
constexpr long long kMaxSide = 16384;
constexpr long long kMaxAspect = 8;

inline bool usable(long long width, long long height)
{
    return width >= kMinSide && height >= kMinSide && width <= kMaxSide && height <= kMaxSide &&
           width <= kMaxAspect * height && height <= kMaxAspect * width;
}

// "WxH", for messages.
inline std::string shapeText(long long width, long long height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace framebounds
