#pragma once

namespace platform {

// Layout rules are kept in twips (1/1440 inch); this is the one place that
// turns them into pixels (15 twips = 1 pixel at 96 dpi).
constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

constexpr int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

} // namespace platform
