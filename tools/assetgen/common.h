#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace assetgen {

using Bytes = std::vector<uint8_t>;

// One generated file: a path relative to its output folder, with '/' between folders.
struct GeneratedFile {
    std::string path;
    Bytes bytes;
};
using FileSet = std::vector<GeneratedFile>;

// Double-precision working vector; files store single floats.
struct D3 {
    double x = 0, y = 0, z = 0;
    D3() = default;
    D3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    D3 operator+(const D3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    D3 operator-(const D3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    D3 operator*(double s) const { return {x * s, y * s, z * s}; }
    D3 operator/(double s) const { return {x / s, y / s, z / s}; }
    D3 operator-() const { return {-x, -y, -z}; }
    D3& operator+=(const D3& o) { x += o.x; y += o.y; z += o.z; return *this; }
    D3& operator-=(const D3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
};
inline double dot(const D3& a, const D3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline D3 cross(const D3& a, const D3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const D3& a) { return std::sqrt(dot(a, a)); }
inline D3 unit(const D3& a)
{
    double l = length(a);
    return l > 0 ? a / l : D3{0, 0, 1};
}
// Turns p about the unit axis by angle radians, right-handed.
inline D3 rotateAbout(const D3& p, const D3& axis, double angle)
{
    double c = std::cos(angle), s = std::sin(angle);
    return p * c + cross(axis, p) * s + axis * (dot(axis, p) * (1 - c));
}

constexpr double kPi = 3.14159265358979323846;

// PCG32: small, fast and the same sequence everywhere, so every build makes the same bytes.
class Rng {
public:
    explicit Rng(uint64_t seed) { state_ = seed * 6364136223846793005ull + 1442695040888963407ull; next(); }
    uint32_t next()
    {
        uint64_t old = state_;
        state_ = old * 6364136223846793005ull + 1442695040888963407ull;
        uint32_t xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
        uint32_t rot = static_cast<uint32_t>(old >> 59u);
        return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
    }
    // Uniform in [0, 1).
    double unit() { return next() * (1.0 / 4294967296.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
    int below(int n) { return static_cast<int>(unit() * n); }
    D3 direction()
    {
        for (;;) {
            D3 v{range(-1, 1), range(-1, 1), range(-1, 1)};
            double l = length(v);
            if (l > 0.05 && l <= 1) return v / l;
        }
    }

private:
    uint64_t state_;
};

// Little-endian binary writer.
class ByteWriter {
public:
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v) { u8(v & 0xff); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xffff); u16(v >> 16); }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void f32(double v) { f32(static_cast<float>(v)); }
    void vec(const D3& v) { f32(v.x); f32(v.y); f32(v.z); }
    void raw(const void* p, size_t n)
    {
        auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    void text(const std::string& s) { raw(s.data(), s.size()); }
    Bytes& bytes() { return bytes_; }

private:
    Bytes bytes_;
};

// Writes every file under folder, creating subfolders; false on the first failure.
bool writeFiles(const std::string& folder, const FileSet& files);

}  // namespace assetgen
