#pragma once

#include <cstdint>

#include "assets/texture.h"
#include "platform/platform.h"

// The frame-rate figure and the time of day in textured digits, drawn in the 800 x 600 overlay.
// Thirteen display-listed glyphs from one atlas: digits 0-9, the separator (":"), am (";") and
// pm ("<"); each glyph is a 40 x 40 quad followed by a 28-unit advance.
class ClockOverlay {
public:
    static constexpr int kGlyphs = 13;
    static constexpr int kGlyphSize = 40;
    static constexpr int kTextCapacity = 40;

    ClockOverlay();
    virtual ~ClockOverlay();

    // Loads "textures\c.jpg" and compiles the glyph lists; once per run with the context current.
    void setUp();
    // text = n in decimal.
    void setNumber(int n);
    // text = the local time of day, "hh:mm:ss" or, twelve-hour, "hh:mm:ss" and the am/pm glyph.
    void buildClockText(bool twelveHour);
    void buildClockText(bool twelveHour, const platform::LocalTime& now);
    // Draws text with its lower-left corner at (x, y); digitTexture must be bound.
    void drawText(int x, int y) const;

    // Texture coordinates of glyph k's cell: left, bottom (each cell is 0.25 wide and high).
    static float glyphLeft(int k) { return 0.25f * static_cast<float>(k % 4); }
    static float glyphBottom(int k) { return 1.0f - 0.25f * static_cast<float>(k / 4) - 0.25f; }

    Texture digitTexture;
    uint32_t glyphBase = 0;
    char text[kTextCapacity] = {};
};
