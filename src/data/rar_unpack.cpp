#include "data/rar_unpack.h"

#include "data/rar_format.h"

#include <atomic>
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
    // Codes up to kQuickBits long resolved by one look-up: symbol | length << 16; length 0 means
    // "take the slow path".
    uint32_t quick[1 << kQuickBits] = {};
};

}  // namespace

struct UnpackState {
    uint8_t* window = nullptr;
    // Bytes written since the window was last cleared. Writes start at 0 and run on in order, so
    // only the first min(this, window size) bytes can be other than zero.
    uint64_t windowWritten = 0;
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

inline uint32_t loadBigEndian32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_bswap32(v);
#else
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
#endif
}

inline uint32_t peekBits(const UnpackState& s) { return (loadBigEndian32(s.input + s.inputPos) << s.inputBit) >> 16; }

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

// The length-limit search: the shortest length whose limit lies above the bits.
inline uint32_t slowLookup(const DecodeTable& t, uint32_t bits, uint32_t& length, uint32_t from = 1)
{
    const uint32_t b = bits & 0xFFFE;
    uint32_t len = 15;
    for (uint32_t l = from; l < 15; ++l) {
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

    // Codes up to kQuickBits long resolved in advance, by the very rule of the limit search: the
    // prefixes from limit[l - 1] up to limit[l] have length l. The limits never fall as l grows,
    // so this holds for the oversubscribed tables of damaged data as well. A limit clamped to
    // 0xFFFF stands for 0x10000 and beyond: every prefix lies below it.
    constexpr uint32_t kShift = 16 - kQuickBits;
    uint32_t q = 0;
    for (uint32_t l = 1; l <= uint32_t(kQuickBits); ++l) {
        const uint32_t end = t.limit[l] == 0xFFFF ? 1u << kQuickBits : t.limit[l] >> kShift;
        for (; q < end; ++q) {
            const uint32_t index = t.start[l] + (((q << kShift) - t.limit[l - 1]) >> (16 - l));
            t.quick[q] = t.symbols[index < t.symbolCount ? index : 0] | l << 16;
        }
    }
    for (; q < (1u << kQuickBits); ++q)
        t.quick[q] = 0;
}

// Bit input held in registers by the hot loop.
struct BitCursor {
    const uint8_t* input;
    uint32_t pos;
    uint32_t bit;

    uint32_t peek() const { return (loadBigEndian32(input + pos) << bit) >> 16; }
    void skip(uint32_t n)
    {
        const uint32_t total = bit + n;
        pos += total >> 3;
        bit = total & 7;
    }
    uint32_t take(uint32_t n)
    {
        const uint32_t v = peek() >> (16 - n);  // n = 0 shifts all 16 bits out
        skip(n);
        return v;
    }
    uint32_t decode(const DecodeTable& t)
    {
        const uint32_t bits = peek();
        const uint32_t quick = t.quick[bits >> (16 - kQuickBits)];
        if (quick != 0) {
            skip(quick >> 16);
            return quick & 0xFFFF;
        }
        uint32_t length = 0;
        const uint32_t index = slowLookup(t, bits, length, kQuickBits + 1);
        skip(length);
        return t.symbols[index];
    }
};

inline uint32_t decodeSymbol(UnpackState& s, const DecodeTable& t)
{
    BitCursor c{s.input, s.inputPos, s.inputBit};
    const uint32_t symbol = c.decode(t);
    s.inputPos = c.pos;
    s.inputBit = c.bit;
    return symbol;
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
    // The loop never lets the write position lap unflushed bytes, so this counts every write.
    s.windowWritten += (to - from) & kWindowMask;
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

// Copies a match inside the window and records it in the match history.
inline void copyMatch(UnpackState& s, uint8_t* const w, uint32_t& windowPos, uint32_t length, uint32_t distance)
{
    s.recentDistances[s.recentIndex & 3] = distance;
    ++s.recentIndex;
    s.lastDistance = distance;
    s.lastMatchLength = length;

    uint32_t dst = windowPos;
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
        windowPos = uint32_t(d - w);
        return;
    }
    while (length-- > 0) {
        w[dst] = w[src];
        dst = (dst + 1) & kWindowMask;
        src = (src + 1) & kWindowMask;
    }
    windowPos = dst;
}

inline uint32_t matchLengthBonus(UnpackCounters& c, uint32_t distance)
{
    if (distance < kFarDistance)
        return 0;
    ++c.farMatches;
    if (distance < kVeryFarDistance)
        return 1;
    ++c.veryFarMatches;
    return 2;
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
    // A damaged stream may reach back past the entry's start and must find zeros there, not the
    // last entry's bytes; clearing only what was written spares a megabyte per entry.
    std::memset(s.window, 0, s.windowWritten < kWindowSize ? size_t(s.windowWritten) : kWindowSize);
    s.windowWritten = 0;
    std::memset(s.previousLengths, 0, sizeof s.previousLengths);
    s.flushedPos = 0;
    s.windowPos = 0;
}

// The main loop. False when the input ran out before the output was complete. The inner loops
// keep the cursor, window position and output count in registers and only stop for the checks:
// input to refill, window to flush, new tables.
bool decodeLoop(UnpackState& s)
{
    UnpackCounters& c = s.counters;
    uint8_t* const w = s.window;
    while (s.outputLeft >= 0) {
        if (s.inputPos >= inputLimit(s) && !refillInput(s))
            return false;
        // At or within the margin the window is flushed, so the room computed below is never 0.
        if (((s.flushedPos - s.windowPos) & kWindowMask) <= kFlushMargin && s.flushedPos != s.windowPos) {
            flushWindow(s);
            if (s.outputLeft < 0)
                break;
        }
        // Bytes that may be written before the write position comes within the margin of unflushed bytes.
        const uint32_t ahead = (s.flushedPos - s.windowPos) & kWindowMask;
        const int64_t room = int64_t(ahead == 0 ? kWindowSize : ahead) - kFlushMargin;
        const int64_t stopAt = s.outputLeft - room > -1 ? s.outputLeft - room : -1;
        const uint32_t inputStop = inputLimit(s);

        BitCursor in{s.input, s.inputPos, s.inputBit};
        uint32_t wpos = s.windowPos;
        int64_t left = s.outputLeft;
        bool newTables = false;
        if (s.multimediaBlock) {
            int channel = s.currentChannel;
            const int channels = s.channelCount;
            int crossDelta = s.crossDelta;
            uint8_t* __restrict out = w;  // the predictors are never reached through the window
            while (left > stopAt && in.pos < inputStop) {
                const uint32_t symbol = in.decode(s.audioTables[channel]);
                if (symbol == kAudioNewTables) {
                    newTables = true;
                    break;
                }
                ChannelPredictor& v = s.predictors[channel];
                const int p = v.predict(crossDelta);
                out[wpos] = v.commit(p, int(symbol), crossDelta);
                wpos = (wpos + 1) & kWindowMask;
                if (++channel == channels)
                    channel = 0;
                --left;
            }
            c.audioBytes += uint64_t(s.outputLeft - left);
            s.currentChannel = channel;
            s.crossDelta = crossDelta;
        } else {
            uint64_t literals = 0;
            while (left > stopAt && in.pos < inputStop) {
                const uint32_t symbol = in.decode(s.mainTable);
                if (symbol < 256) {
                    w[wpos] = uint8_t(symbol);
                    wpos = (wpos + 1) & kWindowMask;
                    --left;
                    ++literals;
                    continue;
                }
                uint32_t length = 0;
                uint32_t distance = 0;
                if (symbol >= uint32_t(kSymbolLengthFirst)) {
                    const uint32_t l = symbol - kSymbolLengthFirst;
                    length = kLengthBase[l] + 3 + in.take(kLengthBits[l]);
                    const uint32_t d = in.decode(s.distanceTable);
                    distance = kDistanceBase[d] + 1 + in.take(kDistanceBits[d]);
                    length += matchLengthBonus(c, distance);
                    ++c.longMatches;
                } else if (symbol == uint32_t(kSymbolNewTables)) {
                    newTables = true;
                    break;
                } else if (symbol == uint32_t(kSymbolRepeatLast)) {
                    length = s.lastMatchLength;
                    distance = s.lastDistance;
                    ++c.lastMatchRepeats;
                } else if (symbol < uint32_t(kSymbolShortFirst)) {
                    const uint32_t back = symbol - kSymbolRepeatLast;
                    distance = s.recentDistances[(s.recentIndex - back) & 3];
                    const uint32_t r = in.decode(s.repeatTable);
                    length = kLengthBase[r] + 2 + in.take(kLengthBits[r]) + matchLengthBonus(c, distance);
                    if (distance >= 257)
                        ++length;
                    ++c.recentMatches[back - 1];
                } else {
                    const uint32_t k = symbol - kSymbolShortFirst;
                    distance = kShortDistanceBase[k] + 1 + in.take(kShortDistanceBits[k]);
                    length = 2;
                    ++c.shortMatches;
                }
                copyMatch(s, w, wpos, length, distance);
                left -= length;
            }
            c.literals += literals;
        }
        s.inputPos = in.pos;
        s.inputBit = in.bit;
        s.windowPos = wpos;
        s.outputLeft = left;
        if (newTables && !readTables(s))
            return false;
    }
    // The last symbol must lie wholly inside the data, not in the zeros behind it.
    return s.packedLeft > 0 || s.inputPos < s.inputEnd || (s.inputPos == s.inputEnd && s.inputBit == 0);
}

}  // namespace

namespace {

// The state of the last finished extraction, kept for the next one: the megabyte window is then
// allocated once per process instead of once per extraction call.
struct SpareState {
    std::atomic<UnpackState*> state{nullptr};
    ~SpareState() { delete state.exchange(nullptr); }
};
SpareState gSpare;

}  // namespace

void UnpackStateDeleter::operator()(UnpackState* state) const
{
    // Only a state with its window is worth keeping: one whose window could not be allocated
    // would be handed out again without one.
    UnpackState* empty = nullptr;
    if (state != nullptr && (state->window == nullptr || !gSpare.state.compare_exchange_strong(empty, state)))
        delete state;
}

UnpackStatePtr createUnpackState()
{
    if (UnpackState* spare = gSpare.state.exchange(nullptr)) {
        // As good as new: the written part of the window cleared, every other field fresh.
        resetState(*spare);
        uint8_t* const window = spare->window;
        spare->window = nullptr;
        *spare = UnpackState{};
        spare->window = window;
        return UnpackStatePtr(spare);
    }
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
