#include "noise.h"

#include <cmath>

namespace assetgen {

GradientNoise::GradientNoise(uint64_t seed)
{
    Rng rng(seed);
    for (int i = 0; i < 256; ++i) perm_[i] = static_cast<uint8_t>(i);
    for (int i = 255; i > 0; --i) std::swap(perm_[i], perm_[rng.below(i + 1)]);
    for (int i = 0; i < 256; ++i) {
        perm_[256 + i] = perm_[i];
        double a = rng.unit() * 2 * kPi;
        grad_[i] = {std::cos(a), std::sin(a), 0};
    }
}

double GradientNoise::at(double x, double y, int period) const
{
    double fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    double dx = x - fx, dy = y - fy;
    auto wrap = [period](int v) { return ((v % period) + period) % period; };
    int x0 = wrap(ix), x1 = wrap(ix + 1), y0 = wrap(iy), y1 = wrap(iy + 1);
    auto corner = [&](int cx, int cy, double ox, double oy) {
        const D3& g = grad_[perm_[(perm_[cx & 255] + cy) & 511]];
        return g.x * ox + g.y * oy;
    };
    double u = dx * dx * dx * (dx * (dx * 6 - 15) + 10);
    double v = dy * dy * dy * (dy * (dy * 6 - 15) + 10);
    double a = corner(x0, y0, dx, dy), b = corner(x1, y0, dx - 1, dy);
    double c = corner(x0, y1, dx, dy - 1), d = corner(x1, y1, dx - 1, dy - 1);
    double top = a + (b - a) * u, bottom = c + (d - c) * u;
    return (top + (bottom - top) * v) * 1.4142;
}

double GradientNoise::fbm(double x, double y, int baseFrequency, int octaves, double gain) const
{
    double sum = 0, amplitude = 1, norm = 0;
    int f = baseFrequency;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * at(x * f + o * 17.31, y * f + o * 5.77, f);
        norm += amplitude;
        amplitude *= gain;
        f *= 2;
    }
    return sum / norm;
}

double GradientNoise::ridged(double x, double y, int baseFrequency, int octaves, double gain) const
{
    double sum = 0, amplitude = 1, norm = 0;
    int f = baseFrequency;
    for (int o = 0; o < octaves; ++o) {
        double n = 1 - std::fabs(at(x * f + o * 3.1, y * f + o * 9.2, f));
        sum += amplitude * n * n;
        norm += amplitude;
        amplitude *= gain;
        f *= 2;
    }
    return sum / norm;
}

CellNoise::CellNoise(uint64_t seed, int cells, double jitter) : cells_(cells)
{
    Rng rng(seed);
    points_.resize(static_cast<size_t>(cells) * cells);
    for (auto& p : points_) p = {0.5 + (rng.unit() - 0.5) * jitter, 0.5 + (rng.unit() - 0.5) * jitter, 0};
}

CellNoise::Result CellNoise::at(double x, double y) const
{
    double gx = x * cells_, gy = y * cells_;
    int ix = static_cast<int>(std::floor(gx)), iy = static_cast<int>(std::floor(gy));
    Result r{1e9, 1e9, 0, 0, 0};
    for (int oy = -2; oy <= 2; ++oy)
        for (int ox = -2; ox <= 2; ++ox) {
            int cx = ix + ox, cy = iy + oy;
            int wx = ((cx % cells_) + cells_) % cells_, wy = ((cy % cells_) + cells_) % cells_;
            const D3& p = points_[static_cast<size_t>(wy) * cells_ + wx];
            double px = cx + p.x, py = cy + p.y;
            double d = std::hypot(px - gx, py - gy);
            if (d < r.f1) {
                r.f2 = r.f1;
                r.f1 = d;
                r.id = static_cast<uint32_t>(wy * cells_ + wx);
                r.cx = px / cells_;
                r.cy = py / cells_;
            } else if (d < r.f2) {
                r.f2 = d;
            }
        }
    return r;
}

}  // namespace assetgen
