#pragma once

#include <QRect>

// Positions and sizes of the window are kept in twips (1/1440 inch). At 96 dots per inch 15 twips
// make one pixel; other screen densities are left to Qt's device-independent pixels.
namespace Twips {

inline constexpr int perPixel = 15;

// Rounds to the nearest whole pixel, as a height grown by a fraction needs.
constexpr int toPixels(double twips)
{
    const double pixels = twips / perPixel;
    return pixels >= 0 ? static_cast<int>(pixels + 0.5) : -static_cast<int>(-pixels + 0.5);
}

constexpr double fromPixels(int pixels)
{
    return static_cast<double>(pixels) * perPixel;
}

// A control's Left, Top, Width and Height in twips as a pixel rectangle.
constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
