#pragma once

#include <cstdint>
#include <cstdlib>

// The fixed parts of the RAR 2.0 compressed format, shared by the decoder and the encoder.
namespace rar20 {

constexpr uint32_t kWindowSize = 0x100000;
constexpr uint32_t kWindowMask = kWindowSize - 1;

constexpr int kMainSymbols = 298;      // 256 literals, 256..268 control, 270..297 lengths
constexpr int kDistanceSymbols = 48;
constexpr int kRepeatSymbols = 28;
constexpr int kBitLengthSymbols = 19;
constexpr int kAudioSymbols = 257;     // 256 deltas and the table switch
constexpr int kLzTableSize = kMainSymbols + kDistanceSymbols + kRepeatSymbols;  // 374
constexpr int kMaxTableSize = 4 * kAudioSymbols;                                  // 1028
constexpr int kMaxCodeLength = 15;

constexpr int kSymbolRepeatLast = 256;
constexpr int kSymbolRecentFirst = 257;
constexpr int kSymbolShortFirst = 261;
constexpr int kSymbolNewTables = 269;
constexpr int kSymbolLengthFirst = 270;
constexpr int kAudioNewTables = 256;

constexpr uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint32_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                      24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                       7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                       15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
constexpr uint8_t kShortDistanceBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
constexpr uint32_t kShortDistanceBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};

// Matches this far back are coded one byte shorter than they are (and again from the second mark).
constexpr uint32_t kFarDistance = 0x2000;
constexpr uint32_t kVeryFarDistance = 0x40000;
// The longest match any symbol can copy: length base 224, 3 added, 5 extra bits, 2 for distance.
constexpr uint32_t kMaxMatchLength = 260;
// Every symbol takes at least one bit and writes at most kMaxMatchLength bytes, so no stream codes
// more bytes than this from packedSize bytes.
constexpr uint64_t maxCodedBytes(uint32_t packedSize) { return uint64_t(packedSize) * 8 * kMaxMatchLength; }

// The adaptive linear predictor of one multimedia channel. The encoder runs the same one to find
// the delta that makes the decoder produce the byte it wants.
struct ChannelPredictor {
    int w1 = 0, w2 = 0, w3 = 0, w4 = 0, w5 = 0;
    int d1 = 0, d2 = 0, d3 = 0, d4 = 0, prevDelta = 0;
    uint32_t e[11] = {};
    uint32_t byteCount = 0;
    int lastByte = 0;

    // Advances the delta history and yields the predicted byte p (0..255).
    int predict(int crossDelta)
    {
        ++byteCount;
        d4 = d3;
        d3 = d2;
        d2 = prevDelta - d1;
        d1 = prevDelta;
        return ((8 * lastByte + w1 * d1 + w2 * d2 + w3 * d3 + w4 * d4 + w5 * crossDelta) >> 3) & 0xFF;
    }

    // Takes the coded delta for prediction p, adapts, and yields the output byte.
    uint8_t commit(int p, int delta, int& crossDelta)
    {
        const int ch = p - delta;
        const int x = int(int8_t(uint8_t(delta))) * 8;
        e[0] += uint32_t(std::abs(x));
        e[1] += uint32_t(std::abs(x - d1));
        e[2] += uint32_t(std::abs(x + d1));
        e[3] += uint32_t(std::abs(x - d2));
        e[4] += uint32_t(std::abs(x + d2));
        e[5] += uint32_t(std::abs(x - d3));
        e[6] += uint32_t(std::abs(x + d3));
        e[7] += uint32_t(std::abs(x - d4));
        e[8] += uint32_t(std::abs(x + d4));
        e[9] += uint32_t(std::abs(x - crossDelta));
        e[10] += uint32_t(std::abs(x + crossDelta));
        prevDelta = crossDelta = int(int8_t(uint8_t(ch - lastByte)));
        lastByte = ch;
        if ((byteCount & 0x1F) == 0)
            adapt();
        return uint8_t(ch);
    }

private:
    void adapt()
    {
        int best = 0;
        for (int i = 1; i < 11; ++i)
            if (e[i] < e[best])
                best = i;
        for (uint32_t& sum : e)
            sum = 0;
        int* weights[5] = {&w1, &w2, &w3, &w4, &w5};
        if (best == 0)
            return;
        int& w = *weights[(best - 1) / 2];
        if (best & 1) {
            if (w >= -16)
                --w;
        } else if (w < 16) {
            ++w;
        }
    }
};

}  // namespace rar20
