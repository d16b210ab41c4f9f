#include "data/rar_unpack.h"

#include "data/rar_format.h"

#include <cstdlib>
#include <cstring>
#include <new>

using namespace rar20;

namespace {

constexpr uint32_t kInputSize = 8192;
constexpr uint32_t kInputPad = 64;  // zeros behind the data: peeking never leaves the buffer
// One main-loop step takes at most 51 bits; refilling before the last 32 bytes keeps it in the data.
constexpr uint32_t kRefillAt = kInputSize - 32;
constexpr int kQuickBits = 10;
// The window is refilled into the output before the write position comes this close to bytes
// not yet copied out (a match is at most 260 bytes).
constexpr uint32_t kFlushMargin = 270;

struct DecodeTable {
    uint32_t limit[16] = {};
    uint32_t start[16] = {};
    uint32_t symbolCount = 0;
    uint16_t symbols[kMainSymbols] = {};
    // Codes up to kQuickBits long resolved by one look-up; length 0 means "take the slow path".
    uint16_t quickSymbol[1 << kQuickBits] = {};
    uint8_t quickLength[1 << kQuickBits] = {};
};

}  // namespace

struct UnpackState {
    uint8_t* window = nullptr;
    bool windowClean = true;
    uint32_t windowPos = 0;
    uint32_t flushedPos = 0;

    ArchiveSpan* source = nullptr;
    uint32_t packedLeft = 0;
    uint32_t inputPos = 0;
    uint32_t inputBit = 0;
    uint32_t inputEnd = 0;
    uint8_t input[kInputSize + kInputPad] = {};

    uint8_t* output = nullptr;
    uint32_t outputCapacity = 0;
    uint32_t delivered = 0;
    int64_t outputLeft = 0;

    DecodeTable mainTable;
    DecodeTable distanceTable;
    DecodeTable repeatTable;
    DecodeTable lengthCodeTable;
    DecodeTable audioTables[4];
    uint8_t previousLengths[kMaxTableSize] = {};

    uint32_t recentDistances[4] = {};
    uint32_t recentIndex = 0;
    uint32_t lastDistance = 0;
    uint32_t lastMatchLength = 0;

    bool multimediaBlock = false;
    int channelCount = 1;
    int currentChannel = 0;
    int crossDelta = 0;
    ChannelPredictor predictors[4];

    UnpackCounters counters;

    UnpackState()
    {
        mainTable.symbolCount = kMainSymbols;
        distanceTable.symbolCount = kDistanceSymbols;
        repeatTable.symbolCount = kRepeatSymbols;
        lengthCodeTable.symbolCount = kBitLengthSymbols;
        for (DecodeTable& t : audioTables)
            t.symbolCount = kAudioSymbols;
    }
    ~UnpackState() { std::free(window); }
};

namespace {

// ---- Input -------------------------------------------------------------------------------------

void readInput(UnpackState& s)
{
    const uint32_t room = kInputSize - s.inputEnd;
    const uint32_t take = s.packedLeft < room ? s.packedLeft : room;
    if (take > 0 && s.source->read(s.input + s.inputEnd, take) == take) {
        s.inputEnd += take;
        s.packedLeft -= take;
    } else if (take > 0) {
        s.packedLeft = 0;  // the span ended early; what is missing reads as zeros
    }
    std::memset(s.input + s.inputEnd, 0, kInputPad);
}

// Keeps the unread bytes, tops the buffer up. False once every packed bit has been used.
bool refillInput(UnpackState& s)
{
    if (s.inputPos >= s.inputEnd && s.packedLeft == 0)
        return false;
    if (s.packedLeft > 0) {
        const uint32_t keep = s.inputEnd - s.inputPos;
        std::memmove(s.input, s.input + s.inputPos, keep);
        s.inputEnd = keep;
        s.inputPos = 0;
        readInput(s);
    }
    return true;
}

// Where the next check has to look at the input again.
inline uint32_t inputLimit(const UnpackState& s) { return s.packedLeft > 0 ? kRefillAt : s.inputEnd; }

inline uint32_t peekBits(const UnpackState& s)
{
    const uint8_t* p = s.input + s.inputPos;
    const uint32_t v = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    return (v << s.inputBit) >> 16;
}

inline void skipBits(UnpackState& s, uint32_t n)
{
    const uint32_t total = s.inputBit + n;
    s.inputPos += total >> 3;
    s.inputBit = total & 7;
}

inline uint32_t readBits(UnpackState& s, uint32_t n)
{
    if (n == 0)
        return 0;
    const uint32_t v = peekBits(s) >> (16 - n);
    skipBits(s, n);
    return v;
}

// ---- Huffman tables ----------------------------------------------------------------------------

uint32_t slowLookup(const DecodeTable& t, uint32_t bits, uint32_t& length)
{
    const uint32_t b = bits & 0xFFFE;
    uint32_t len = 15;
    for (uint32_t l = 1; l < 15; ++l) {
        if (b < t.limit[l]) {
            len = l;
            break;
        }
    }
    length = len;
    uint32_t n = t.start[len] + ((b - t.limit[len - 1]) >> (16 - len));
    if (n >= t.symbolCount)
        n = 0;
    return n;
}

void buildTable(DecodeTable& t, const uint8_t* lengths, uint32_t size)
{
    uint32_t count[16] = {};
    for (uint32_t i = 0; i < size; ++i)
        ++count[lengths[i] & 0xF];
    count[0] = 0;
    t.limit[0] = 0;
    t.start[0] = 0;
    uint32_t n = 0;
    uint32_t next[16] = {};
    for (uint32_t l = 1; l < 16; ++l) {
        n = 2 * (n + count[l]);
        const uint32_t limit = n << (15 - l);
        t.limit[l] = limit < 0xFFFF ? limit : 0xFFFF;
        t.start[l] = t.start[l - 1] + count[l - 1];
        next[l] = t.start[l];
    }
    std::memset(t.symbols, 0, sizeof t.symbols);
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t l = lengths[i] & 0xF;
        if (l != 0)
            t.symbols[next[l]++] = uint16_t(i);
    }
    t.symbolCount = size;
    for (uint32_t q = 0; q < (1u << kQuickBits); ++q) {
        uint32_t length = 0;
        const uint32_t index = slowLookup(t, q << (16 - kQuickBits), length);
        // Within one prefix every limit compares alike up to kQuickBits, so the prefix decides.
        t.quickLength[q] = uint8_t(length <= kQuickBits ? length : 0);
        t.quickSymbol[q] = t.symbols[index];
    }
}

inline uint32_t decodeSymbol(UnpackState& s, const DecodeTable& t)
{
    const uint32_t bits = peekBits(s);
    const uint32_t q = bits >> (16 - kQuickBits);
    const uint32_t quick = t.quickLength[q];
    if (quick != 0) {
        skipBits(s, quick);
        return t.quickSymbol[q];
    }
    uint32_t length = 0;
    const uint32_t index = slowLookup(t, bits, length);
    skipBits(s, length);
    return t.symbols[index];
}

bool readTables(UnpackState& s)
{
    if (s.inputPos > kInputSize - 25 && !refillInput(s))
        return false;
    if (s.inputPos >= inputLimit(s) && !refillInput(s))
        return false;
    const uint32_t header = peekBits(s);
    s.multimediaBlock = (header & 0x8000) != 0;
    const bool delta = (header & 0x4000) != 0;
    if (!delta)
        std::memset(s.previousLengths, 0, sizeof s.previousLengths);
    skipBits(s, 2);
    uint32_t size = kLzTableSize;
    if (s.multimediaBlock) {
        s.channelCount = int((header >> 12) & 3) + 1;
        if (s.currentChannel >= s.channelCount)
            s.currentChannel = 0;
        skipBits(s, 2);
        size = uint32_t(kAudioSymbols * s.channelCount);
    }
    uint8_t bitLengths[kBitLengthSymbols];
    for (uint8_t& b : bitLengths)
        b = uint8_t(readBits(s, 4));
    buildTable(s.lengthCodeTable, bitLengths, kBitLengthSymbols);

    uint8_t table[kMaxTableSize];
    for (uint32_t i = 0; i < size;) {
        if (s.inputPos >= inputLimit(s) && !refillInput(s))
            return false;
        const uint32_t symbol = decodeSymbol(s, s.lengthCodeTable);
        if (symbol < 16) {
            table[i] = uint8_t((symbol + s.previousLengths[i]) & 0xF);
            ++i;
            continue;
        }
        uint32_t run = 0;
        // Repeating "the previous length" at the very start has nothing to repeat: it repeats 0.
        const uint8_t value = symbol == 16 && i > 0 ? table[i - 1] : 0;
        if (symbol == 16)
            run = readBits(s, 2) + 3;
        else if (symbol == 17)
            run = readBits(s, 3) + 3;
        else
            run = readBits(s, 7) + 11;
        for (; run > 0 && i < size; --run)
            table[i++] = value;
    }
    if (s.inputPos > s.inputEnd && s.packedLeft == 0)
        return false;  // the lengths ran into the zeros behind the data

    if (s.multimediaBlock) {
        for (int k = 0; k < s.channelCount; ++k)
            buildTable(s.audioTables[k], table + kAudioSymbols * k, kAudioSymbols);
        ++s.counters.audioTableReads[s.channelCount - 1];
    } else {
        buildTable(s.mainTable, table, kMainSymbols);
        buildTable(s.distanceTable, table + kMainSymbols, kDistanceSymbols);
        buildTable(s.repeatTable, table + kMainSymbols + kDistanceSymbols, kRepeatSymbols);
        ++s.counters.lzTableReads;
    }
    ++(delta ? s.counters.deltaTableReads : s.counters.freshTableReads);
    std::memcpy(s.previousLengths, table, size);
    return true;
}

// ---- Window ------------------------------------------------------------------------------------

void flushWindow(UnpackState& s)
{
    const uint32_t from = s.flushedPos;
    const uint32_t to = s.windowPos;
    s.flushedPos = to;
    if (s.output == nullptr || from == to)
        return;
    uint32_t first = (to > from ? to : kWindowSize) - from;
    uint32_t second = to > from ? 0 : to;
    const uint32_t room = s.outputCapacity - s.delivered;
    if (uint64_t(first) + second > room) {
        // The stream ran past the entry's end: keep what fits and stop.
        s.outputLeft = -1;
        if (first > room)
            first = room;
        second = room - first;
    }
    std::memcpy(s.output + s.delivered, s.window + from, first);
    s.delivered += first;
    if (second > 0) {
        std::memcpy(s.output + s.delivered, s.window, second);
        s.delivered += second;
    }
}

inline void copyMatch(UnpackState& s, uint32_t length, uint32_t distance)
{
    s.recentDistances[s.recentIndex & 3] = distance;
    ++s.recentIndex;
    s.lastDistance = distance;
    s.lastMatchLength = length;
    s.outputLeft -= length;

    uint8_t* const w = s.window;
    uint32_t dst = s.windowPos;
    uint32_t src = (dst - distance) & kWindowMask;
    if (dst + length < kWindowSize && src + length < kWindowSize) {
        uint8_t* d = w + dst;
        const uint8_t* p = w + src;
        if (distance >= 8) {
            // Chunks of 8 never read bytes this copy has still to write.
            for (; length >= 8; length -= 8, d += 8, p += 8)
                std::memcpy(d, p, 8);
        }
        while (length-- > 0)
            *d++ = *p++;
        s.windowPos = uint32_t(d - w);
        return;
    }
    while (length-- > 0) {
        w[dst] = w[src];
        dst = (dst + 1) & kWindowMask;
        src = (src + 1) & kWindowMask;
    }
    s.windowPos = dst;
}

void resetState(UnpackState& s)
{
    s.currentChannel = 0;
    s.crossDelta = 0;
    for (ChannelPredictor& p : s.predictors)
        p = ChannelPredictor{};
    std::memset(s.recentDistances, 0, sizeof s.recentDistances);
    s.recentIndex = 0;
    s.lastMatchLength = 0;
    s.lastDistance = 0;
    if (!s.windowClean) {
        std::memset(s.window, 0, kWindowSize);
        s.windowClean = true;
    }
    std::memset(s.previousLengths, 0, sizeof s.previousLengths);
    s.flushedPos = 0;
    s.windowPos = 0;
}

// The main loop. False when the input ran out before the output was complete.
bool decodeLoop(UnpackState& s)
{
    UnpackCounters& c = s.counters;
    while (s.outputLeft >= 0) {
        if (s.inputPos >= inputLimit(s) && !refillInput(s))
            return false;
        if (((s.flushedPos - s.windowPos) & kWindowMask) < kFlushMargin && s.flushedPos != s.windowPos) {
            flushWindow(s);
            if (s.outputLeft < 0)
                break;
        }
        if (s.multimediaBlock) {
            const uint32_t symbol = decodeSymbol(s, s.audioTables[s.currentChannel]);
            if (symbol == kAudioNewTables) {
                if (!readTables(s))
                    return false;
                continue;
            }
            ChannelPredictor& v = s.predictors[s.currentChannel];
            const int p = v.predict(s.crossDelta);
            s.window[s.windowPos] = v.commit(p, int(symbol), s.crossDelta);
            s.windowPos = (s.windowPos + 1) & kWindowMask;
            if (++s.currentChannel == s.channelCount)
                s.currentChannel = 0;
            --s.outputLeft;
            ++c.audioBytes;
            continue;
        }
        const uint32_t symbol = decodeSymbol(s, s.mainTable);
        if (symbol < 256) {
            s.window[s.windowPos] = uint8_t(symbol);
            s.windowPos = (s.windowPos + 1) & kWindowMask;
            --s.outputLeft;
            ++c.literals;
            continue;
        }
        if (symbol >= uint32_t(kSymbolLengthFirst)) {
            const uint32_t l = symbol - kSymbolLengthFirst;
            uint32_t length = kLengthBase[l] + 3 + readBits(s, kLengthBits[l]);
            const uint32_t d = decodeSymbol(s, s.distanceTable);
            const uint32_t distance = kDistanceBase[d] + 1 + readBits(s, kDistanceBits[d]);
            if (distance >= kFarDistance) {
                ++length;
                ++c.farMatches;
                if (distance >= kVeryFarDistance) {
                    ++length;
                    ++c.veryFarMatches;
                }
            }
            ++c.longMatches;
            copyMatch(s, length, distance);
        } else if (symbol == uint32_t(kSymbolNewTables)) {
            if (!readTables(s))
                return false;
        } else if (symbol == uint32_t(kSymbolRepeatLast)) {
            ++c.lastMatchRepeats;
            copyMatch(s, s.lastMatchLength, s.lastDistance);
        } else if (symbol < uint32_t(kSymbolShortFirst)) {
            const uint32_t back = symbol - kSymbolRepeatLast;
            const uint32_t distance = s.recentDistances[(s.recentIndex - back) & 3];
            const uint32_t r = decodeSymbol(s, s.repeatTable);
            uint32_t length = kLengthBase[r] + 2 + readBits(s, kLengthBits[r]);
            if (distance >= kFarDistance) {
                ++length;
                ++c.farMatches;
                if (distance >= kVeryFarDistance) {
                    ++length;
                    ++c.veryFarMatches;
                }
            }
            if (distance >= 257)
                ++length;
            ++c.recentMatches[back - 1];
            copyMatch(s, length, distance);
        } else {
            const uint32_t k = symbol - kSymbolShortFirst;
            const uint32_t distance = kShortDistanceBase[k] + 1 + readBits(s, kShortDistanceBits[k]);
            ++c.shortMatches;
            copyMatch(s, 2, distance);
        }
    }
    // The last symbol must lie wholly inside the data, not in the zeros behind it.
    return s.packedLeft > 0 || s.inputPos < s.inputEnd || (s.inputPos == s.inputEnd && s.inputBit == 0);
}

}  // namespace

void UnpackStateDeleter::operator()(UnpackState* state) const { delete state; }

UnpackStatePtr createUnpackState()
{
    UnpackStatePtr state(new (std::nothrow) UnpackState);
    if (!state)
        return nullptr;
    // calloc: fresh zero pages, touched only as far as the entries reach.
    state->window = static_cast<uint8_t*>(std::calloc(kWindowSize, 1));
    if (state->window == nullptr)
        return nullptr;
    return state;
}

const UnpackCounters& unpackCounters(const UnpackState& state) { return state.counters; }

bool unpackEntry(UnpackState& s, ArchiveSpan& data, uint32_t packedSize, uint32_t unpackedSize, bool solid,
                 uint8_t* output, uint32_t* delivered)
{
    s.source = &data;
    s.packedLeft = packedSize;
    s.inputPos = 0;
    s.inputBit = 0;
    s.inputEnd = 0;
    s.output = output;
    s.outputCapacity = output != nullptr ? unpackedSize : 0;
    s.delivered = 0;
    if (!solid)
        resetState(s);
    s.windowClean = false;

    readInput(s);
    bool ok = solid || readTables(s);
    s.outputLeft = int64_t(unpackedSize) - 1;
    if (ok)
        ok = decodeLoop(s);
    if (ok) {
        // A table switch right behind the last byte belongs to the next entry of a solid stream.
        if (s.inputPos > kRefillAt)
            refillInput(s);
        if (s.inputEnd >= s.inputPos + 5) {
            const uint32_t symbol = s.multimediaBlock ? decodeSymbol(s, s.audioTables[s.currentChannel])
                                                      : decodeSymbol(s, s.mainTable);
            if (symbol == uint32_t(s.multimediaBlock ? kAudioNewTables : kSymbolNewTables) && readTables(s))
                ++s.counters.lookAheadTables;
        }
    }
    flushWindow(s);
    s.counters.bytesDecoded += unpackedSize;
    *delivered = s.delivered;
    s.source = nullptr;
    s.output = nullptr;
    return ok && s.delivered == (output != nullptr ? unpackedSize : 0);
}
