#include "scenes/clock_overlay.h"

#include <cstdio>
#include <cstring>

#include "render/draw_census.h"
#include "render/gl.h"

ClockOverlay::ClockOverlay() = default;

ClockOverlay::~ClockOverlay() = default;

void ClockOverlay::setUp()
{
    digitTexture.load("textures\\c.jpg");
    glyphBase = glGenLists(kGlyphs);
    digitTexture.bind();
    if (glyphBase == 0)
        return;
    for (int k = 0; k < kGlyphs; ++k) {
        const float left = glyphLeft(k), bottom = glyphBottom(k);
        glNewList(glyphBase + k, GL_COMPILE);
        glBegin(GL_QUADS);
        glTexCoord2f(left, bottom);
        glVertex2i(0, 0);
        glTexCoord2f(left + 0.25f, bottom);
        glVertex2i(kGlyphSize, 0);
        glTexCoord2f(left + 0.25f, bottom + 0.25f);
        glVertex2i(kGlyphSize, kGlyphSize);
        glTexCoord2f(left, bottom + 0.25f);
        glVertex2i(0, kGlyphSize);
        glEnd();
        glTranslatef(kGlyphSize * 0.7f, 0, 0);
        glEndList();
    }
}

void ClockOverlay::setNumber(int n) { std::snprintf(text, sizeof text, "%d", n); }

void ClockOverlay::buildClockText(bool twelveHour) { buildClockText(twelveHour, platform::localTime()); }

void ClockOverlay::buildClockText(bool twelveHour, const platform::LocalTime& now)
{
    int hour = now.hour;
    bool pm = hour == 12;
    if (twelveHour) {
        if (hour == 0)
            hour = 12;
        if (hour > 12) {
            hour -= 12;
            pm = true;
        }
    }
    // Two digits per field; the marker glyph closes the twelve-hour form.
    const char* marker = !twelveHour ? "" : pm ? "<" : ";";
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%s", hour, now.minute, now.second, marker);
}

void ClockOverlay::drawText(int x, int y) const
{
    if (glyphBase == 0)
        return;
    glPushMatrix();
    glTranslatef(static_cast<float>(x), static_cast<float>(y), 0);
    const size_t length = std::strlen(text);
    // Only glyph characters are drawn: a byte outside "0".."<" would call an unrelated list.
    bool allGlyphs = true;
    for (size_t i = 0; i < length; ++i)
        allGlyphs = allGlyphs && text[i] >= '0' && text[i] < '0' + kGlyphs;
    if (allGlyphs) {
        glListBase(glyphBase - '0');
        glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, text);
        countDraw();
    } else {
        for (size_t i = 0; i < length; ++i) {
            if (text[i] >= '0' && text[i] < '0' + kGlyphs) {
                glCallList(glyphBase + (text[i] - '0'));
                countDraw();
            }
        }
    }
    glPopMatrix();
}
