#include "images.h"

#include <algorithm>
#include <cmath>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "noise.h"
#include "textures.h"

#ifndef ASSETGEN_FONT_DIR
#define ASSETGEN_FONT_DIR "/usr/share/fonts/truetype/dejavu"
#endif

namespace assetgen {

std::string fontFile(const char* name)
{
    return std::string(ASSETGEN_FONT_DIR) + "/" + name;
}

namespace {

std::vector<uint32_t> decodeUtf8(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        uint8_t c = static_cast<uint8_t>(s[i]);
        uint32_t cp = c;
        int extra = 0;
        if (c >= 0xF0) { cp = c & 0x07; extra = 3; }
        else if (c >= 0xE0) { cp = c & 0x0F; extra = 2; }
        else if (c >= 0xC0) { cp = c & 0x1F; extra = 1; }
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i) cp = (cp << 6) | (static_cast<uint8_t>(s[i]) & 0x3F);
        out.push_back(cp);
    }
    return out;
}

}  // namespace

Coverage renderText(const std::string& fontPath, const std::string& text, double pixelSize, double xScale,
                    double tracking)
{
    Coverage cov;
    FT_Library lib;
    if (FT_Init_FreeType(&lib)) return cov;
    FT_Face face;
    if (FT_New_Face(lib, fontPath.c_str(), 0, &face)) {
        FT_Done_FreeType(lib);
        return cov;
    }
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(pixelSize * 64), 72, 72);
    FT_Matrix m{static_cast<FT_Fixed>(xScale * 65536), 0, 0, 0x10000};
    std::vector<uint32_t> cps = decodeUtf8(text);
    const int pad = static_cast<int>(pixelSize * 0.5) + 4;
    int canvasW = static_cast<int>(pixelSize * (cps.size() + 2) * std::max(1.0, xScale) + tracking * cps.size()) + 2 * pad;
    int canvasH = static_cast<int>(pixelSize * 2) + 2 * pad;
    std::vector<float> canvas(static_cast<size_t>(canvasW) * canvasH, 0.0f);
    const int baseline = pad + static_cast<int>(pixelSize * 1.3);
    double pen = pad;
    FT_UInt previous = 0;
    for (uint32_t cp : cps) {
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (previous && index && FT_HAS_KERNING(face)) {
            FT_Vector k;
            FT_Get_Kerning(face, previous, index, FT_KERNING_UNFITTED, &k);
            pen += k.x / 64.0 * xScale;
        }
        double whole = std::floor(pen);
        FT_Vector delta{static_cast<FT_Pos>((pen - whole) * 64), 0};
        FT_Set_Transform(face, &m, &delta);
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_RENDER)) continue;
        FT_GlyphSlot g = face->glyph;
        for (unsigned row = 0; row < g->bitmap.rows; ++row)
            for (unsigned col = 0; col < g->bitmap.width; ++col) {
                int x = static_cast<int>(whole) + g->bitmap_left + static_cast<int>(col);
                int y = baseline - g->bitmap_top + static_cast<int>(row);
                if (x < 0 || y < 0 || x >= canvasW || y >= canvasH) continue;
                float a = g->bitmap.buffer[row * g->bitmap.pitch + col] / 255.0f;
                float& dst = canvas[static_cast<size_t>(y) * canvasW + x];
                dst = std::min(1.0f, dst + a);
            }
        pen += g->advance.x / 64.0 + tracking;
        previous = index;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    int x0 = canvasW, y0 = canvasH, x1 = -1, y1 = -1;
    for (int y = 0; y < canvasH; ++y)
        for (int x = 0; x < canvasW; ++x)
            if (canvas[static_cast<size_t>(y) * canvasW + x] > 0) {
                x0 = std::min(x0, x); x1 = std::max(x1, x);
                y0 = std::min(y0, y); y1 = std::max(y1, y);
            }
    if (x1 < 0) return cov;
    cov.width = x1 - x0 + 1;
    cov.height = y1 - y0 + 1;
    cov.originX = pad - x0;
    cov.baselineY = baseline - y0;
    cov.alpha.resize(static_cast<size_t>(cov.width) * cov.height);
    for (int y = 0; y < cov.height; ++y)
        for (int x = 0; x < cov.width; ++x)
            cov.alpha[static_cast<size_t>(y) * cov.width + x] = canvas[static_cast<size_t>(y + y0) * canvasW + x + x0];
    return cov;
}

namespace {

// Grows a coverage by `radius` pixels with a soft edge (for outlines).
Coverage dilate(const Coverage& c, double radius)
{
    int r = static_cast<int>(std::ceil(radius)) + 1;
    Coverage out;
    out.width = c.width + 2 * r;
    out.height = c.height + 2 * r;
    out.originX = c.originX + r;
    out.baselineY = c.baselineY + r;
    out.alpha.assign(static_cast<size_t>(out.width) * out.height, 0.0f);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            float best = 0;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx) {
                    float a = c.at(x - r + dx, y - r + dy);
                    if (a <= best) continue;
                    double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
                    float w = static_cast<float>(std::clamp(radius + 0.5 - d, 0.0, 1.0));
                    best = std::max(best, a * w);
                }
            out.alpha[static_cast<size_t>(y) * out.width + x] = best;
        }
    return out;
}

// Three box passes each way: close to a gaussian of about `radius`.
std::vector<float> blurred(const std::vector<float>& src, int w, int h, int radius)
{
    std::vector<float> a = src, b(src.size());
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += a[static_cast<size_t>(y) * w + std::clamp(x + k, 0, w - 1)];
                b[static_cast<size_t>(y) * w + x] = s / (2 * radius + 1);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += b[static_cast<size_t>(std::clamp(y + k, 0, h - 1)) * w + x];
                a[static_cast<size_t>(y) * w + x] = s / (2 * radius + 1);
            }
    }
    return a;
}

// Title text with a coloured glow, baseline origin at (x, y) of the image.
void drawGlowingText(Image& im, const Coverage& text, int x, int y, const Rgb& colour, const Rgb& glow,
                     int glowRadius, float glowStrength)
{
    int pad = glowRadius * 3;
    int w = text.width + 2 * pad, h = text.height + 2 * pad;
    std::vector<float> a(static_cast<size_t>(w) * h, 0.0f);
    for (int yy = 0; yy < text.height; ++yy)
        for (int xx = 0; xx < text.width; ++xx) a[static_cast<size_t>(yy + pad) * w + xx + pad] = text.at(xx, yy);
    std::vector<float> halo = blurred(a, w, h, glowRadius);
    int left = x - text.originX - pad, top = y - text.baselineY - pad;
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx) {
            int px = left + xx, py = top + yy;
            if (px < 0 || py < 0 || px >= im.width || py >= im.height) continue;
            float* p = im.at(px, py);
            float g = halo[static_cast<size_t>(yy) * w + xx] * glowStrength;
            float c = a[static_cast<size_t>(yy) * w + xx];
            Rgb base = Rgb{p[0], p[1], p[2]} + glow * g;
            Rgb out = mix(base, colour, c);
            p[0] = out.r; p[1] = out.g; p[2] = out.b;
            p[3] = std::max(p[3], std::min(1.0f, c + g));
        }
}

// Soft highlight roll-off so additive light never clips hard.
float softClip(float v)
{
    if (v <= 0.8f) return std::max(0.0f, v);
    return 0.8f + 0.2f * (1.0f - std::exp(-(v - 0.8f) / 0.2f));
}

void finish(Image& im)
{
    for (size_t i = 0; i < im.px.size(); i += 4)
        for (int c = 0; c < 3; ++c) im.px[i + c] = softClip(im.px[i + c]);
}

struct CellStyle {
    Rgb membrane{0.35f, 0.85f, 1.0f};
    Rgb body{0.10f, 0.35f, 0.55f};
    Rgb nucleus{0.85f, 0.35f, 0.95f};
    Rgb mito{0.25f, 1.0f, 0.75f};
    double nucleusSize = 0.36;
    int mitochondria = 5;
    int vesicles = 9;
};

// A cell seen in cross-section: a wobbling glowing membrane, translucent textured cytoplasm, a
// nucleus with chromatin, mitochondria with their folds, small vesicles. Added on top of im.
// (cx, cy) centre and ry vertical radius in pixels; squeeze < 1 narrows it horizontally.
void drawCell(Image& im, double cx, double cy, double ry, double squeeze, const CellStyle& style, uint64_t seed,
              const Image& membraneTex, const Image& chromatin)
{
    Rng rng(seed);
    double s1 = rng.range(0, 6.28), s2 = rng.range(0, 6.28), s3 = rng.range(0, 6.28);
    D3 nucleusAt{rng.range(-0.15, 0.05), rng.range(-0.15, 0.0), 0};
    struct Mito { D3 a, b; double width; };
    std::vector<Mito> mitos;
    for (int attempt = 0; attempt < 500 && static_cast<int>(mitos.size()) < style.mitochondria; ++attempt) {
        double ang = rng.range(0, 2 * kPi), dist = rng.range(0.52, 0.74);
        D3 c{std::cos(ang) * dist, std::sin(ang) * dist, 0};
        double dir = ang + kPi / 2 + rng.range(-0.5, 0.5);
        double half = rng.range(0.08, 0.12);
        D3 d{std::cos(dir) * half, std::sin(dir) * half, 0};
        // Keep them apart from each other and off the nucleus.
        bool clear = length(c - nucleusAt) > style.nucleusSize + 0.15;
        for (const Mito& m : mitos)
            if (length(c - (m.a + m.b) * 0.5) < 0.3) clear = false;
        if (!clear) continue;
        mitos.push_back({c - d, c + d, rng.range(0.045, 0.06)});
    }
    struct Vesicle { D3 c; double r; };
    std::vector<Vesicle> vesicles;
    for (int i = 0; i < style.vesicles; ++i) {
        double ang = rng.range(0, 2 * kPi), dist = rng.range(0.45, 0.85);
        vesicles.push_back({D3{std::cos(ang) * dist, std::sin(ang) * dist, 0}, rng.range(0.025, 0.05)});
    }
    double rx = ry * squeeze;
    int x0 = std::max(0, static_cast<int>(cx - rx * 1.4)), x1 = std::min(im.width - 1, static_cast<int>(cx + rx * 1.4));
    int y0 = std::max(0, static_cast<int>(cy - ry * 1.4)), y1 = std::min(im.height - 1, static_cast<int>(cy + ry * 1.4));
    double pixel = 1.0 / ry;  // one pixel in cell units, for antialiased edges
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
            double rho = std::sqrt(dx * dx + dy * dy), theta = std::atan2(dy, dx);
            double wob = rho / (1 + 0.035 * std::sin(3 * theta + s1) + 0.02 * std::sin(5 * theta + s2) +
                                0.012 * std::sin(9 * theta + s3));
            Rgb add;
            double edge = (wob - 1) / std::max(0.022, 1.5 * pixel);
            add = add + style.membrane * static_cast<float>(std::exp(-edge * edge) * 0.95);
            if (wob > 1) add = add + style.membrane * static_cast<float>(std::exp(-(wob - 1) / 0.05) * 0.35);
            if (wob < 1) {
                double inside = smoothstep(1.0, 1.0 - 2 * pixel, wob);
                Rgb tex = membraneTex.sample((dx * 0.5 + 0.5) * (membraneTex.width - 1) * 0.9,
                                             (dy * 0.5 + 0.5) * (membraneTex.height - 1) * 0.9);
                double fill = 0.10 + 0.45 * std::pow(smoothstep(0.35, 1.0, wob), 2.0);
                add = add + style.body * tex * static_cast<float>(fill * 1.6 * inside);
                // Nucleus.
                double ndx = dx - nucleusAt.x, ndy = dy - nucleusAt.y;
                double nr = std::sqrt(ndx * ndx + ndy * ndy) / style.nucleusSize;
                double nth = std::atan2(ndy, ndx);
                nr /= 1 + 0.03 * std::sin(4 * nth + s2);
                if (nr < 1.25) {
                    double nedge = (nr - 1) / std::max(0.03, 2 * pixel / style.nucleusSize);
                    add = add + style.nucleus * static_cast<float>(std::exp(-nedge * nedge) * 0.8);
                    if (nr < 1) {
                        Rgb ch = chromatin.sample((ndx * 0.5 + 0.5) * (chromatin.width - 1),
                                                  (ndy * 0.5 + 0.5) * (chromatin.height - 1));
                        double ninside = smoothstep(1.0, 1.0 - 2 * pixel / style.nucleusSize, nr);
                        add = add + style.nucleus * ch * static_cast<float>((0.25 + 0.45 * nr * nr) * ninside);
                        double nucleolus = std::hypot(ndx + 0.08, ndy - 0.06) / (style.nucleusSize * 0.28);
                        add = add + style.nucleus * static_cast<float>(0.5 * std::exp(-nucleolus * nucleolus * 2));
                    }
                }
                for (const Mito& m : mitos) {
                    D3 p{dx, dy, 0};
                    D3 ab = m.b - m.a;
                    double t = std::clamp(dot(p - m.a, ab) / dot(ab, ab), 0.0, 1.0);
                    double d = length(p - (m.a + ab * t)) - m.width;
                    if (d > 0.03) continue;
                    double body = smoothstep(pixel, -pixel, d);
                    double rim = std::exp(-std::pow(d / std::max(0.008, pixel), 2.0));
                    double folds = 0.55 + 0.45 * std::cos(t * 2 * kPi * 4.5);
                    add = add + style.mito * static_cast<float>(rim * 0.8 + body * 0.35 * folds);
                }
                for (const Vesicle& v : vesicles) {
                    double d = std::hypot(dx - v.c.x, dy - v.c.y) - v.r;
                    if (d > 0.03) continue;
                    double rim = std::exp(-std::pow(d / std::max(0.006, pixel), 2.0));
                    add = add + Rgb{0.6f, 0.8f, 1.0f} * static_cast<float>(rim * 0.5 + smoothstep(pixel, -pixel, d) * 0.08);
                }
            }
            float* p = im.at(x, y);
            p[0] += add.r;
            p[1] += add.g;
            p[2] += add.b;
        }
}

Image backdrop(int width, int height, float brightness)
{
    Image env = environmentNebula();
    Image im = (width == env.width && height == env.height) ? env : resized(env, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double dx = (x + 0.5) / width - 0.5, dy = (y + 0.5) / height - 0.45;
            float v = static_cast<float>((1.0 - 1.1 * (dx * dx + dy * dy)) * brightness);
            float* p = im.at(x, y);
            p[0] *= v; p[1] *= v; p[2] *= v;
            p[3] = 1;
        }
    return im;
}

}  // namespace

Image digitAtlas()
{
    Image atlas(512, 512);
    for (float& v : atlas.px) v = 0;
    const std::string font = fontFile("DejaVuSansCondensed-Bold.ttf");
    const char* glyphs[13] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ":", "am", "pm"};
    const Rgb top{0.82f, 0.94f, 1.0f}, bottom{0.42f, 0.70f, 1.0f}, outline{0.04f, 0.10f, 0.28f};
    const int baseline = 108;  // digits stand 20 px clear of both cell edges
    for (int k = 0; k < 13; ++k) {
        bool marker = k >= 11;
        double size = marker ? 62 : 122;
        Coverage c = renderText(font, glyphs[k], size);
        // Glyphs are spaced 0.7 cells apart on screen: keep each inside the middle 84 pixels.
        double maxWidth = 76;
        if (c.width > maxWidth) c = renderText(font, glyphs[k], size, maxWidth / c.width);
        Coverage o = dilate(c, 4.0);
        int cellX = (k % 4) * 128, cellY = (k / 4) * 128;
        int left = cellX + 64 - o.width / 2;
        int originY = cellY + baseline;
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) {
                int px = left + x, py = originY - o.baselineY + y;
                if (px < cellX || py < cellY || px >= cellX + 128 || py >= cellY + 128) continue;
                float oa = o.at(x, y);
                float fa = c.at(x - 5, y - 5);
                double t = clamp01((py - cellY - 20) / 90.0);
                Rgb fill = mix(top, bottom, static_cast<float>(t));
                Rgb col = mix(outline * oa, fill, fa);
                atlas.set(px, py, col);
            }
    }
    return atlas;
}

Image loaderPicture()
{
    Image im = backdrop(512, 512, 0.9f);
    Image membrane = cellTexture(), chromatin = chromatinTexture();
    const double squeeze = 0.75;  // the picture is stretched to 4:3
    CellStyle small;
    small.membrane = {0.85f, 0.35f, 0.95f};
    small.body = {0.35f, 0.12f, 0.45f};
    small.nucleus = {0.35f, 0.85f, 1.0f};
    small.mito = {1.0f, 0.55f, 0.85f};
    small.mitochondria = 3;
    small.vesicles = 4;
    drawCell(im, 418, 96, 62, squeeze, small, 77, membrane, chromatin);
    CellStyle tiny = small;
    tiny.membrane = {0.3f, 0.6f, 1.0f};
    tiny.body = {0.1f, 0.2f, 0.5f};
    tiny.nucleus = {0.9f, 0.5f, 1.0f};
    tiny.mitochondria = 2;
    tiny.vesicles = 3;
    drawCell(im, 88, 330, 40, squeeze, tiny, 78, membrane, chromatin);
    CellStyle main;
    drawCell(im, 250, 225, 165, squeeze, main, 76, membrane, chromatin);
    finish(im);
    // The title sits left of centre: the "Loading..." badge fills the bottom-right corner, and on a
    // small screen it covers as much as a quarter of the width.
    const int titleCentre = 222;
    Coverage title = renderText(fontFile("DejaVuSans-ExtraLight.ttf"), "Vesiclar", 80, 0.75, 3.0);
    if (title.width > 0) {
        int x = titleCentre - title.width / 2 + title.originX;
        drawGlowingText(im, title, x, 456, {0.92f, 0.99f, 1.0f}, {0.25f, 0.75f, 1.0f}, 7, 1.1f);
    }
    Coverage sub = renderText(fontFile("DejaVuSans.ttf"), "inside the living cell", 18, 0.75, 2.0);
    if (sub.width > 0) {
        int x = titleCentre - sub.width / 2 + sub.originX;
        drawGlowingText(im, sub, x, 492, {0.55f, 0.75f, 0.95f}, {0.1f, 0.3f, 0.6f}, 3, 0.5f);
    }
    return im;
}

Image loadingBadge()
{
    Image im(256, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) {
            // A dark pill with a feathered edge.
            double px = x + 0.5, py = y + 0.5;
            double hx = 104, hy = 26, r = 24;
            double qx = std::max(std::fabs(px - 128) - (hx - r), 0.0), qy = std::max(std::fabs(py - 66) - (hy - r), 0.0);
            double d = std::hypot(qx, qy) - r;
            double a = smoothstep(8.0, -6.0, d) * 0.6;
            double rim = std::exp(-std::pow(d / 1.2, 2.0)) * 0.5;
            Rgb c = Rgb{0.02f, 0.05f, 0.12f} + Rgb{0.3f, 0.7f, 1.0f} * static_cast<float>(rim);
            im.set(x, y, c, static_cast<float>(std::min(1.0, a + rim * 0.6)));
        }
    Coverage text = renderText(fontFile("DejaVuSans.ttf"), "Loading\u2026", 30, 1.0, 1.0);
    if (text.width > 0) {
        int x = 128 - text.width / 2 + text.originX;
        drawGlowingText(im, text, x, 77, {0.82f, 0.96f, 1.0f}, {0.2f, 0.6f, 1.0f}, 4, 0.9f);
    }
    return im;
}

Image clearPixel()
{
    Image im(1, 1);
    im.set(0, 0, {1, 1, 1}, 0);
    return im;
}

Image dialogPicture()
{
    Image im = backdrop(263, 180, 0.85f);
    Image membrane = cellTexture(), chromatin = chromatinTexture();
    CellStyle small;
    small.membrane = {0.85f, 0.35f, 0.95f};
    small.body = {0.35f, 0.12f, 0.45f};
    small.nucleus = {0.35f, 0.85f, 1.0f};
    small.mitochondria = 2;
    small.vesicles = 3;
    drawCell(im, 222, 38, 28, 1.0, small, 81, membrane, chromatin);
    drawCell(im, 118, 78, 62, 1.0, CellStyle{}, 80, membrane, chromatin);
    finish(im);
    Coverage title = renderText(fontFile("DejaVuSans-ExtraLight.ttf"), "Vesiclar", 40, 1.0, 1.5);
    if (title.width > 0)
        drawGlowingText(im, title, 131 - title.width / 2 + title.originX, 168, {0.92f, 0.99f, 1.0f},
                        {0.25f, 0.75f, 1.0f}, 4, 1.0f);
    return im;
}

Image previewPicture()
{
    Image im = backdrop(155, 115, 0.8f);
    Image membrane = cellTexture(), chromatin = chromatinTexture();
    Rng rng(90);
    const Rgb tints[] = {{0.35f, 0.85f, 1.0f}, {0.85f, 0.35f, 0.95f}, {0.3f, 0.6f, 1.0f}, {0.3f, 1.0f, 0.8f}};
    struct Spot { double x, y, r; };
    const Spot spots[] = {{20, 20, 14}, {140, 95, 16}, {128, 22, 20}, {30, 92, 22}, {78, 58, 36}};
    int i = 0;
    for (const Spot& s : spots) {
        CellStyle st;
        st.membrane = tints[i % 4];
        st.body = st.membrane * 0.35f;
        st.nucleus = tints[(i + 1) % 4];
        st.mitochondria = s.r > 30 ? 4 : 2;
        st.vesicles = s.r > 30 ? 6 : 2;
        drawCell(im, s.x, s.y, s.r, 1.0, st, 91 + static_cast<uint64_t>(i), membrane, chromatin);
        ++i;
    }
    (void)rng;
    finish(im);
    return im;
}

Image iconPicture()
{
    Image im(256, 256);
    Image membrane = cellTexture(), chromatin = chromatinTexture();
    CellStyle st;
    st.mitochondria = 3;
    st.vesicles = 3;
    st.nucleusSize = 0.42;
    drawCell(im, 128, 128, 108, 1.0, st, 100, membrane, chromatin);
    finish(im);
    // Opaque inside the membrane, a soft glow outside fading to transparent.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float* p = im.at(x, y);
            double d = std::hypot(x + 0.5 - 128, y + 0.5 - 128) / 108;
            double a = d < 1 ? 1.0 : std::exp(-(d - 1) / 0.05);
            float lum = std::max({p[0], p[1], p[2]});
            a = std::max(a * 0.95, static_cast<double>(std::min(1.0f, lum)));
            if (d > 1.15) a = 0;
            Rgb inner{0.01f, 0.03f, 0.08f};
            if (d < 1) {
                p[0] += inner.r; p[1] += inner.g; p[2] += inner.b;
            } else if (a > 0) {
                p[0] /= static_cast<float>(a); p[1] /= static_cast<float>(a); p[2] /= static_cast<float>(a);
            }
            p[3] = static_cast<float>(a);
        }
    return im;
}

}  // namespace assetgen
