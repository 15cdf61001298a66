#pragma once
// The whiteboard's fixed tables: the 14 pen colours and the pen widths.
// Kept free of Gui types so the logic layer can validate against them.
#include <array>

namespace whiteboard {

struct Rgb {
    int red;
    int green;
    int blue;
};

// Index = colour index as it travels on the wire and in files.
inline constexpr std::array<Rgb, 14> kColors{{
    {255, 255, 255},
    {160, 160, 160},
    {64, 64, 64},
    {0, 0, 0},
    {255, 128, 128},
    {255, 0, 0},
    {239, 239, 169},
    {255, 255, 0},
    {0, 255, 0},
    {0, 0, 255},
    {0, 255, 255},
    {247, 178, 240},
    {255, 0, 255},
    {128, 90, 57},
}};

// Pen widths in pixels by width index; entry 4 exists but is never set, so it is 0.
inline constexpr std::array<int, 5> kWidths{{1, 3, 10, 15, 0}};

// Width indexes 0..3 name a usable pen; colour indexes 0..13.
inline constexpr int kMaxWidthIndex = 3;
inline constexpr int kMaxColorIndex = 13;

// Drawing area in twips (15 twips to a pixel): 6285 x 3690 twips = 419 x 246 pixels.
inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kSurfaceWidthTwips = 6285;
inline constexpr int kSurfaceHeightTwips = 3690;
inline constexpr int kSurfaceWidthPx = kSurfaceWidthTwips / kTwipsPerPixel;
inline constexpr int kSurfaceHeightPx = kSurfaceHeightTwips / kTwipsPerPixel;

// Coordinates the partner or a file may give: anything a 16-bit previous Y could hold.
inline constexpr float kMaxCoordinate = 32767.0f;

inline constexpr int kDefaultColorIndex = 3; // black
inline constexpr int kDefaultWidthIndex = 2; // 10 pixels

} // namespace whiteboard
