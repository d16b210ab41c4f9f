#include "textures.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "noise.h"

namespace assetgen {

Rgb ramp(std::initializer_list<Rgb> stops, double t)
{
    std::vector<Rgb> s(stops);
    t = clamp01(t) * (s.size() - 1);
    size_t i = std::min(static_cast<size_t>(t), s.size() - 2);
    return mix(s[i], s[i + 1], static_cast<float>(t - i));
}

namespace {

template <typename Shade>
Image paint(int width, int height, Shade shade)
{
    Image im(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) im.set(x, y, shade((x + 0.5) / width, (y + 0.5) / height));
    return im;
}

// Soft round specks scattered over a tileable grid: small vesicles and granules.
double specks(const CellNoise& cells, double x, double y, double size, double share, uint32_t salt)
{
    CellNoise::Result r = cells.at(x, y);
    uint32_t h = (r.id + salt) * 2654435761u;
    double pick = (h >> 8 & 0xffff) / 65535.0;
    if (pick > share) return 0;
    double bright = 0.5 + 0.5 * ((h >> 3) & 0xff) / 255.0;
    double d = r.f1 / size;
    return bright * std::exp(-d * d);
}

// Nebulous, domain-warped density, tileable; about 0..1.
double nebula(const GradientNoise& n, double x, double y, int frequency)
{
    double qx = n.fbm(x, y, frequency, 5);
    double qy = n.fbm(x + 0.37, y + 0.71, frequency, 5);
    double v = n.fbm(x + 0.09 * qx, y + 0.09 * qy, frequency, 6);
    // The warp offsets are tileable too; a second pass folds the clouds into swirls.
    double w = n.fbm(x + 0.05 * v + 0.13, y - 0.05 * v, frequency * 2, 5);
    return clamp01(0.5 + 0.9 * v + 0.35 * w);
}

}  // namespace

static Image makeCellTexture();
static Image makeEnvironmentTexture();
static Image makeDeepEnvironmentTexture();
static Image makeChromatinTexture();
static Image makeGlossTexture();
static Image makeLinkTexture();

Image cellTexture()
{
    static const Image cached = makeCellTexture();
    return cached;
}

static Image makeCellTexture()
{
    GradientNoise warp(11), detail(12), vein(13);
    CellNoise cells(14, 7, 0.85), granules(15, 28);
    return paint(512, 512, [&](double x, double y) {
        double wx = x + 0.035 * warp.fbm(x, y, 3, 4), wy = y + 0.035 * warp.fbm(x + 0.5, y + 0.25, 3, 4);
        CellNoise::Result r = cells.at(wx, wy);
        double wall = 1 - smoothstep(0.0, 0.22, r.f2 - r.f1);
        double body = std::exp(-r.f1 * r.f1 * 5.0);
        double veins = std::pow(vein.ridged(x, y, 4, 5), 7.0);
        double fine = detail.fbm(x, y, 8, 4);
        double grain = specks(granules, wx, wy, 0.09, 0.45, 7);
        // Mostly dark, so the additive skin and the haze stay translucent; the walls, veins and
        // granules carry the light.
        double haze = 0.5 + 0.5 * detail.fbm(x, y, 2, 4);
        double v = 0.06 + 0.10 * haze + 0.62 * wall * (0.7 + 0.3 * fine) + 0.10 * body + 0.40 * veins + 0.22 * grain;
        return ramp({{0.0f, 0.02f, 0.06f}, {0.05f, 0.20f, 0.34f}, {0.26f, 0.62f, 0.80f}, {0.72f, 0.93f, 1.0f},
                     {1.0f, 1.0f, 1.0f}},
                    v);
    });
}

void calmPoles(Image& im)
{
    double mean[3] = {0, 0, 0};
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            for (int c = 0; c < 3; ++c) mean[c] += im.at(x, y)[c];
    const double pixels = static_cast<double>(im.width) * im.height;
    for (double& m : mean) m /= pixels;
    for (int y = 0; y < im.height; ++y) {
        double v = (y + 0.5) / im.height;
        double w = 1.0 - smoothstep(kPoleCap, kPoleFade, std::min(v, 1.0 - v));
        if (w <= 0) continue;
        for (int x = 0; x < im.width; ++x) {
            float* p = im.at(x, y);
            for (int c = 0; c < 3; ++c) p[c] = static_cast<float>(p[c] + (mean[c] - p[c]) * w);
        }
    }
}

Image environmentNebula()
{
    static const Image cached = makeEnvironmentTexture();
    return cached;
}

Image environmentTexture()
{
    static const Image cached = [] {
        Image im = environmentNebula();
        calmPoles(im);
        return im;
    }();
    return cached;
}

static Image makeEnvironmentTexture()
{
    GradientNoise n(21), fibres(24);
    CellNoise vesicles(22, 9), dust(23, 26);
    return paint(512, 512, [&](double x, double y) {
        double d = nebula(n, x, y, 2);
        Rgb c = ramp({{0.005f, 0.008f, 0.03f}, {0.02f, 0.03f, 0.10f}, {0.07f, 0.05f, 0.22f}, {0.17f, 0.09f, 0.34f},
                      {0.12f, 0.38f, 0.52f}},
                     std::pow(d, 1.4));
        // Vesicles: faint rings with a darker inside.
        CellNoise::Result r = vesicles.at(x, y);
        uint32_t h = r.id * 2246822519u;
        if ((h >> 9 & 0xff) < 60) {
            // A few vesicles: soft rims, faint where the cytoplasm is thin.
            double radius = 0.14 + 0.2 * ((h >> 17) & 0xff) / 255.0;
            double width = 0.03 + 0.04 * ((h >> 25) & 0x7f) / 127.0;
            double ring = std::exp(-std::pow((r.f1 - radius) / width, 2.0));
            double glow = std::exp(-std::pow(r.f1 / (radius * 0.8), 2.0));
            c = c + Rgb{0.08f, 0.22f, 0.32f} * static_cast<float>(ring * (0.1 + 0.5 * d)) +
                Rgb{0.05f, 0.06f, 0.15f} * static_cast<float>(glow * d);
        }
        // Fine fibres of the cytoskeleton, and granules only where the cytoplasm is dense.
        double fibre = std::pow(fibres.ridged(x + 0.04 * d, y, 3, 4), 10.0);
        c = c + Rgb{0.06f, 0.22f, 0.30f} * static_cast<float>(fibre * (0.2 + 0.8 * d));
        double s = specks(dust, x, y, 0.16, 0.22, 3);
        c = c + Rgb{0.25f, 0.45f, 0.6f} * static_cast<float>(s * d * d * 0.9);
        return c * 1.25f;  // drawn tinted by the scene colour: keep the clouds readable
    });
}

Image deepEnvironmentTexture()
{
    static const Image cached = [] {
        Image im = makeDeepEnvironmentTexture();
        calmPoles(im);
        return im;
    }();
    return cached;
}

static Image makeDeepEnvironmentTexture()
{
    GradientNoise n(31);
    CellNoise dust(32, 30);
    GradientNoise filaments(33);
    return paint(512, 512, [&](double x, double y) {
        double d = nebula(n, x, y, 2);
        double f = std::pow(filaments.ridged(x, y, 3, 4), 8.0);
        Rgb c = ramp({{0.008f, 0.002f, 0.015f}, {0.05f, 0.01f, 0.07f}, {0.16f, 0.03f, 0.18f}, {0.38f, 0.08f, 0.26f},
                      {0.62f, 0.26f, 0.24f}},
                     std::pow(d, 1.25));
        c = c + Rgb{0.30f, 0.10f, 0.30f} * static_cast<float>(f * d * 0.8);
        double s = specks(dust, x, y, 0.11, 0.3, 5);
        c = c + Rgb{0.55f, 0.35f, 0.45f} * static_cast<float>(s * (0.2 + 0.8 * d) * 0.6);
        return c * 1.3f;
    });
}

Image chromatinTexture()
{
    static const Image cached = makeChromatinTexture();
    return cached;
}

static Image makeChromatinTexture()
{
    GradientNoise n(41), clump(42);
    CellNoise speck(43, 48), blobs(44, 10);
    return paint(512, 512, [&](double x, double y) {
        double density = clamp01(0.5 + 0.8 * clump.fbm(x, y, 3, 5));
        double s = specks(speck, x, y, 0.32, 0.55 + 0.4 * density, 9);
        CellNoise::Result b = blobs.at(x + 0.02 * n.fbm(x, y, 4, 3), y);
        double nucleolus = std::exp(-std::pow(b.f1 / 0.32, 2.0)) * (((b.id * 2654435761u) >> 12 & 7) == 0 ? 1.0 : 0.0);
        double fibre = std::pow(n.ridged(x, y, 6, 4), 5.0);
        double v = 0.22 + 0.35 * density + 0.45 * s * density + 0.25 * fibre + 0.35 * nucleolus;
        return ramp({{0.06f, 0.05f, 0.12f}, {0.26f, 0.22f, 0.40f}, {0.58f, 0.52f, 0.74f}, {0.90f, 0.86f, 1.0f},
                     {1.0f, 0.98f, 1.0f}},
                    v);
    });
}

Image glossTexture()
{
    static const Image cached = makeGlossTexture();
    return cached;
}

static Image makeGlossTexture()
{
    // Reflection of a soft studio on a mirror ball: a key light up left, a cool fill low right,
    // a faint horizon, darkening towards the rim.
    const D3 key = unit(D3{-0.55, 0.6, 0.6}), fill = unit(D3{0.7, -0.5, 0.5});
    return paint(256, 256, [&](double x, double y) {
        double sx = x * 2 - 1, sy = 1 - y * 2;
        double rr = sx * sx + sy * sy;
        if (rr > 1) {
            double k = 1 / std::sqrt(rr);
            sx *= k;
            sy *= k;
            rr = 1;
        }
        D3 normal{sx, sy, std::sqrt(std::max(0.0, 1 - rr))};
        D3 view{0, 0, 1};
        D3 reflect = normal * (2 * dot(normal, view)) - view;
        double specular = std::pow(std::max(0.0, dot(reflect, key)), 60.0);
        double glow = std::pow(std::max(0.0, dot(reflect, key)), 6.0);
        double fillSpecular = std::pow(std::max(0.0, dot(reflect, fill)), 20.0);
        double horizon = std::exp(-std::pow(reflect.y / 0.18, 2.0)) * 0.12;
        double base = 0.42 + 0.25 * normal.z;
        Rgb c = Rgb{0.62f, 0.70f, 0.86f} * static_cast<float>(base) +
                Rgb{1.0f, 1.0f, 1.0f} * static_cast<float>(specular * 1.2 + glow * 0.3) +
                Rgb{0.35f, 0.8f, 1.0f} * static_cast<float>(fillSpecular * 0.5) +
                Rgb{0.6f, 0.5f, 0.9f} * static_cast<float>(horizon);
        return c * static_cast<float>(0.8 + 0.2 * normal.z);
    });
}

Image linkTexture()
{
    static const Image cached = makeLinkTexture();
    return cached;
}

static Image makeLinkTexture()
{
    GradientNoise n(51);
    return paint(256, 64, [&](double x, double y) {
        double across = (y - 0.5) / 0.5;
        double core = std::exp(-across * across / (2 * 0.12 * 0.12));
        double halo = std::exp(-across * across / (2 * 0.35 * 0.35));
        double edge = smoothstep(1.0, 0.82, std::fabs(across));
        double beads = 0.85 + 0.15 * std::cos(x * 2 * kPi * 8);
        double flicker = 0.9 + 0.1 * n.fbm(x, y, 8, 3);
        double v = (core * 0.9 + halo * 0.45) * beads * flicker * edge;
        return ramp({{0.0f, 0.0f, 0.0f}, {0.05f, 0.18f, 0.40f}, {0.25f, 0.62f, 0.90f}, {0.85f, 0.97f, 1.0f}}, v);
    });
}

}  // namespace assetgen
