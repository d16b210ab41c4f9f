#include "rar_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <queue>

using namespace rar20;

namespace {

constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMaxDistance = kWindowSize;
constexpr int kHashBits = 16;

inline uint32_t hash3(const uint8_t* p) { return ((uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) * 2654435761u) >> (32 - kHashBits); }
inline uint32_t hash2(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

int lengthSlot(uint32_t coded)
{
    for (int s = 27; s >= 0; --s)
        if (coded >= kLengthBase[s])
            return s;
    return 0;
}

int distanceSlot(uint32_t value)
{
    const uint32_t* it = std::upper_bound(kDistanceBase, kDistanceBase + 48, value);
    return int(it - kDistanceBase) - 1;
}

int shortSlot(uint32_t value)
{
    for (int s = 7; s >= 0; --s)
        if (value >= kShortDistanceBase[s])
            return s;
    return 0;
}

uint32_t farAdjust(uint32_t distance) { return (distance >= kFarDistance) + (distance >= kVeryFarDistance); }

// Estimated bits to code a histogram with a prefix code: the entropy, but never less than one bit
// a symbol, so a block of one repeated delta does not look free.
double entropyBits(const uint32_t* freq, int count)
{
    double total = 0;
    for (int i = 0; i < count; ++i)
        total += freq[i];
    double bits = 0;
    for (int i = 0; i < count; ++i)
        if (freq[i] > 0)
            bits += freq[i] * std::max(1.0, std::log2(total / freq[i]));
    return bits;
}

// Huffman code lengths limited to maxLength; frequencies are flattened until the tree fits.
void huffmanLengths(const uint32_t* freqIn, int count, int maxLength, uint8_t* lengths)
{
    std::vector<uint64_t> freq(freqIn, freqIn + count);
    std::fill(lengths, lengths + count, 0);
    int used = 0;
    int only = 0;
    for (int i = 0; i < count; ++i)
        if (freq[i] > 0) {
            ++used;
            only = i;
        }
    if (used == 0)
        return;
    if (used == 1) {
        lengths[only] = 1;
        return;
    }
    for (;;) {
        struct Node {
            uint64_t weight;
            int index;
        };
        auto greater = [](const Node& a, const Node& b) { return a.weight > b.weight || (a.weight == b.weight && a.index > b.index); };
        std::priority_queue<Node, std::vector<Node>, decltype(greater)> heap(greater);
        std::vector<int> parent(2 * count, -1);
        int next = count;
        for (int i = 0; i < count; ++i)
            if (freq[i] > 0)
                heap.push({freq[i], i});
        while (heap.size() > 1) {
            Node a = heap.top();
            heap.pop();
            Node b = heap.top();
            heap.pop();
            parent[a.index] = next;
            parent[b.index] = next;
            heap.push({a.weight + b.weight, next++});
        }
        int deepest = 0;
        for (int i = 0; i < count; ++i) {
            if (freq[i] == 0)
                continue;
            int depth = 0;
            for (int n = i; parent[n] >= 0; n = parent[n])
                ++depth;
            lengths[i] = uint8_t(depth);
            deepest = std::max(deepest, depth);
        }
        if (deepest <= maxLength)
            return;
        for (uint64_t& f : freq)
            if (f > 0)
                f = (f + 1) / 2;
    }
}

}  // namespace

// ---- Bits and codes ----------------------------------------------------------------------------

void RarEncoder::BitWriter::write(uint32_t value, uint32_t count)
{
    for (uint32_t i = count; i-- > 0;) {
        acc_ = acc_ << 1 | ((value >> i) & 1);
        if (++fill_ == 8) {
            bytes_.push_back(uint8_t(acc_));
            acc_ = 0;
            fill_ = 0;
        }
    }
}

void RarEncoder::BitWriter::align()
{
    if (fill_ > 0)
        write(0, 8 - fill_);
}

std::vector<uint8_t> RarEncoder::BitWriter::take()
{
    align();
    return std::move(bytes_);
}

void RarEncoder::Code::build(const uint32_t* freq, int count)
{
    huffmanLengths(freq, count, kMaxCodeLength, lengths);
    assign(count);
}

// Canonical codes in the order the decoder assigns them: by length, then by symbol.
void RarEncoder::Code::assign(int count)
{
    uint32_t perLength[16] = {};
    for (int i = 0; i < count; ++i)
        ++perLength[lengths[i]];
    perLength[0] = 0;
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int l = 1; l < 16; ++l) {
        code = (code + perLength[l - 1]) << 1;
        next[l] = code;
    }
    for (int i = 0; i < count; ++i)
        if (lengths[i] != 0)
            codes[i] = uint16_t(next[lengths[i]]++);
}

// ---- Stream ------------------------------------------------------------------------------------

RarEncoder::RarEncoder(const RarEncoderOptions& options) : options_(options)
{
    if (options_.blockSize == 0)
        options_.blockSize = 64 * 1024;
    beginStream();
}

RarEncoder::~RarEncoder() = default;

void RarEncoder::beginStream()
{
    history_.clear();
    head3_.assign(size_t(1) << kHashBits, -1);
    head2_.assign(65536, -1);
    chain_.assign(kWindowSize, -1);
    hashedUpTo_ = 0;
    lz_ = LzHistory{};
    audio_ = AudioState{};
    multimedia_ = false;
    std::memset(previousLengths_, 0, sizeof previousLengths_);
    streamStarted_ = false;
    entryHasBlock_ = false;
    entries_.clear();
}

void RarEncoder::encodeEntry(const uint8_t* data, size_t size)
{
    const size_t from = history_.size();
    history_.insert(history_.end(), data, data + size);
    entries_.emplace_back();
    entryHasBlock_ = false;
    for (size_t at = from; at < history_.size();) {
        const size_t to = std::min(history_.size(), at + options_.blockSize);
        encodeBlock(at, to, to == history_.size());
        at = to;
    }
    stats_.bytes += size;
}

std::vector<std::vector<uint8_t>> RarEncoder::finishStream()
{
    std::vector<std::vector<uint8_t>> out;
    for (BitWriter& w : entries_)
        out.push_back(w.take());
    entries_.clear();
    return out;
}

// ---- Blocks ------------------------------------------------------------------------------------

void RarEncoder::encodeBlock(size_t from, size_t to, bool)
{
    // LZ candidate. Hashing happens here, so the positions are known to later blocks whatever this
    // one becomes.
    std::vector<Token> tokens;
    LzHistory lzTrial = lz_;
    const double lzBits = parseLz(from, to, tokens, lzTrial);

    // Multimedia candidates; the predictors carry on from the stream's state.
    double bestAudio = lzBits;
    int bestChannels = 0;
    std::vector<uint8_t> deltas;
    AudioState bestState;
    std::vector<uint8_t> bestDeltas;
    if (options_.multimedia && to - from >= 64) {
        for (int c = 1; c <= 4; ++c) {
            AudioState trial = audio_;
            const double bits = codeAudio(from, to, c, trial, deltas);
            // Multimedia tables cost more to send; ask for a clear gain.
            if (bits + 40.0 * c < bestAudio * 0.97) {
                bestAudio = bits + 40.0 * c;
                bestChannels = c;
                bestState = trial;
                bestDeltas = deltas;
            }
        }
    }
    const bool multimedia = bestChannels > 0;

    // Table switch: inside the entry after an earlier block; at the start of a continued entry it
    // goes behind the previous entry's last byte, where the decoder looks for it.
    BitWriter* out = &entries_.back();
    const bool first = !streamStarted_;
    if (!first) {
        BitWriter& target = entryHasBlock_ ? entries_.back() : entries_[entries_.size() - 2];
        out = &target;
    }

    uint8_t lengths[kMaxTableSize] = {};
    int tableSize = 0;
    Code codes[4];
    Code distanceCode;
    Code repeatCode;
    if (multimedia) {
        // Count per channel in decoding order, the switch symbol kept in every table.
        uint32_t freq[4][kAudioSymbols] = {};
        int channel = audio_.currentChannel < bestChannels ? audio_.currentChannel : 0;
        for (uint8_t d : bestDeltas) {
            ++freq[channel][d];
            if (++channel == bestChannels)
                channel = 0;
        }
        for (int c = 0; c < bestChannels; ++c) {
            freq[c][kAudioNewTables] = 1;
            codes[c].build(freq[c], kAudioSymbols);
            std::memcpy(lengths + kAudioSymbols * c, codes[c].lengths, kAudioSymbols);
        }
        tableSize = kAudioSymbols * bestChannels;
    } else {
        uint32_t mainFreq[kMainSymbols] = {};
        uint32_t distFreq[kDistanceSymbols] = {};
        uint32_t repFreq[kRepeatSymbols] = {};
        for (const Token& t : tokens) {
            ++mainFreq[t.symbol];
            if (t.second >= 0) {
                if (t.symbol >= kSymbolLengthFirst)
                    ++distFreq[t.second];
                else
                    ++repFreq[t.second];
            }
        }
        mainFreq[kSymbolNewTables] = 1;
        codes[0].build(mainFreq, kMainSymbols);
        distanceCode.build(distFreq, kDistanceSymbols);
        repeatCode.build(repFreq, kRepeatSymbols);
        std::memcpy(lengths, codes[0].lengths, kMainSymbols);
        std::memcpy(lengths + kMainSymbols, distanceCode.lengths, kDistanceSymbols);
        std::memcpy(lengths + kMainSymbols + kDistanceSymbols, repeatCode.lengths, kRepeatSymbols);
        tableSize = kLzTableSize;
    }

    if (!first) {
        // The switch symbol is coded with the tables in force until now.
        if (multimedia_) {
            // Rebuilt from the previous lengths, which are the tables in force.
            Code current;
            std::memcpy(current.lengths, previousLengths_ + kAudioSymbols * audio_.currentChannel, kAudioSymbols);
            current.assign(kAudioSymbols);
            out->write(current.codes[kAudioNewTables], current.lengths[kAudioNewTables]);
        } else {
            Code current;
            std::memcpy(current.lengths, previousLengths_, kMainSymbols);
            current.assign(kMainSymbols);
            out->write(current.codes[kSymbolNewTables], current.lengths[kSymbolNewTables]);
        }
        if (!entryHasBlock_)
            ++stats_.lookAheadTables;
        if (multimedia != multimedia_)
            ++stats_.modeSwitches;
    }
    writeTables(*out, multimedia, bestChannels, lengths, tableSize);
    streamStarted_ = true;
    entryHasBlock_ = true;
    out = &entries_.back();

    if (multimedia) {
        int channel = audio_.currentChannel < bestChannels ? audio_.currentChannel : 0;
        for (uint8_t d : bestDeltas) {
            out->write(codes[channel].codes[d], codes[channel].lengths[d]);
            if (++channel == bestChannels)
                channel = 0;
        }
        audio_ = bestState;
        stats_.audioBytes += bestDeltas.size();
        ++stats_.audioTables[bestChannels - 1];
    } else {
        for (const Token& t : tokens) {
            out->write(codes[0].codes[t.symbol], codes[0].lengths[t.symbol]);
            if (t.bitsA > 0)
                out->write(t.valueA, t.bitsA);
            if (t.second >= 0) {
                const Code& c = t.symbol >= kSymbolLengthFirst ? distanceCode : repeatCode;
                out->write(c.codes[t.second], c.lengths[t.second]);
            }
            if (t.bitsB > 0)
                out->write(t.valueB, t.bitsB);
            if (t.symbol > kSymbolRepeatLast && t.symbol < kSymbolShortFirst && t.distance >= kFarDistance)
                ++stats_.farMatches;
            if (t.symbol >= kSymbolLengthFirst && t.distance >= kFarDistance)
                ++stats_.farMatches;
            if (t.symbol > kSymbolRepeatLast && t.symbol != kSymbolNewTables && t.distance >= kVeryFarDistance)
                ++stats_.veryFarMatches;
            if (t.symbol < 256)
                ++stats_.literals;
            else if (t.symbol >= kSymbolLengthFirst)
                ++stats_.longMatches;
            else if (t.symbol == kSymbolRepeatLast)
                ++stats_.lastMatchRepeats;
            else if (t.symbol < kSymbolShortFirst)
                ++stats_.recentMatches[t.symbol - kSymbolRecentFirst];
            else
                ++stats_.shortMatches;
        }
        lz_ = lzTrial;
        ++stats_.lzTables;
    }
    multimedia_ = multimedia;
}

void RarEncoder::writeTables(BitWriter& out, bool multimedia, int channels, const uint8_t* lengths, int size)
{
    // Code the lengths both ways, fresh and as changes to the previous table; send the shorter.
    auto encode = [&](bool delta, BitWriter& w) {
        const uint8_t* base = previousLengths_;
        uint8_t zero[kMaxTableSize] = {};
        if (!delta)
            base = zero;
        struct Item {
            uint8_t symbol;
            uint8_t bits;
            uint8_t value;
        };
        std::vector<Item> items;
        for (int i = 0; i < size;) {
            int run = 1;
            if (lengths[i] == 0) {
                while (i + run < size && lengths[i + run] == 0 && run < 138)
                    ++run;
                if (run >= 11) {
                    items.push_back({18, 7, uint8_t(run - 11)});
                    i += run;
                    continue;
                }
                if (run >= 3) {
                    run = std::min(run, 10);
                    items.push_back({17, 3, uint8_t(run - 3)});
                    i += run;
                    continue;
                }
            } else if (i > 0 && lengths[i] == lengths[i - 1]) {
                run = 0;
                while (i + run < size && lengths[i + run] == lengths[i - 1] && run < 6)
                    ++run;
                if (run >= 3) {
                    items.push_back({16, 2, uint8_t(run - 3)});
                    i += run;
                    continue;
                }
            }
            items.push_back({uint8_t((lengths[i] - base[i]) & 0xF), 0, 0});
            ++i;
        }
        uint32_t freq[kBitLengthSymbols] = {};
        for (const Item& it : items)
            ++freq[it.symbol];
        Code code;
        code.build(freq, kBitLengthSymbols);
        w.write((multimedia ? 2u : 0u) | (delta ? 1u : 0u), 2);
        if (multimedia)
            w.write(uint32_t(channels - 1), 2);
        for (int i = 0; i < kBitLengthSymbols; ++i)
            w.write(code.lengths[i], 4);
        for (const Item& it : items) {
            w.write(code.codes[it.symbol], code.lengths[it.symbol]);
            if (it.bits > 0)
                w.write(it.value, it.bits);
        }
    };
    BitWriter fresh;
    BitWriter delta;
    encode(false, fresh);
    encode(true, delta);
    const bool useDelta = delta.bitCount() < fresh.bitCount();
    encode(useDelta, out);
    ++(useDelta ? stats_.deltaTables : stats_.freshTables);
    // A fresh table clears all the decoder's previous lengths, also those past this table's size,
    // which a later, larger table is coded against.
    if (!useDelta)
        std::memset(previousLengths_, 0, sizeof previousLengths_);
    std::memcpy(previousLengths_, lengths, size_t(size));
}

// ---- LZ ----------------------------------------------------------------------------------------

void RarEncoder::insertHash(size_t pos)
{
    if (pos + 3 <= history_.size()) {
        const uint32_t h = hash3(&history_[pos]);
        chain_[pos & kWindowMask] = head3_[h];
        head3_[h] = int32_t(pos);
    }
    if (pos + 2 <= history_.size())
        head2_[hash2(&history_[pos])] = int32_t(pos);
}

uint32_t RarEncoder::findMatch(size_t pos, size_t end, uint32_t& distance, const LzHistory& history)
{
    const uint32_t maxLength = uint32_t(std::min<size_t>(kMaxMatch, end - pos));
    uint32_t bestLength = 0;
    distance = 0;
    if (maxLength < 2)
        return 0;
    const uint8_t* here = &history_[pos];
    auto extend = [&](size_t from) {
        const uint8_t* there = &history_[from];
        uint32_t n = 0;
        while (n < maxLength && there[n] == here[n])
            ++n;
        return n;
    };
    // The recent distances are cheap to code: take one unless the search finds clearly longer.
    uint32_t recentLength = 0;
    uint32_t recentDistance = 0;
    for (int k = 1; k <= 4; ++k) {
        const uint32_t d = history.recent[(history.recentIndex - k) & 3];
        if (d == 0 || d > pos)
            continue;
        uint32_t n = extend(pos - d);
        if (n < 2 + farAdjust(d) + (d >= 257))
            continue;
        if (n > recentLength) {
            recentLength = n;
            recentDistance = d;
        }
    }
    if (maxLength >= 3) {
        int32_t candidate = head3_[hash3(here)];
        int chain = options_.maxChain;
        while (candidate >= 0 && size_t(candidate) < pos && pos - size_t(candidate) <= kMaxDistance && chain-- > 0) {
            const size_t c = size_t(candidate);
            if (history_[c + bestLength] == here[bestLength] || bestLength == 0) {
                const uint32_t n = extend(c);
                const uint32_t d = uint32_t(pos - c);
                if (n >= 3 + farAdjust(d) && n > bestLength) {
                    bestLength = n;
                    distance = d;
                    if (n == maxLength)
                        break;
                }
            }
            const int32_t next = chain_[c & kWindowMask];
            if (next >= candidate)
                break;
            candidate = next;
        }
    }
    if (recentLength > 0 && recentLength + 1 >= bestLength) {
        distance = recentDistance;
        return recentLength;
    }
    if (bestLength == 0) {
        const int32_t c = head2_[hash2(here)];
        if (c >= 0 && size_t(c) < pos && pos - size_t(c) <= 256 && history_[c] == here[0] && history_[c + 1] == here[1]) {
            distance = uint32_t(pos - size_t(c));
            return 2;
        }
    }
    return bestLength;
}

void RarEncoder::addMatch(std::vector<Token>& tokens, uint32_t length, uint32_t distance, LzHistory& h)
{
    Token t;
    int recent = 0;
    for (int k = 1; k <= 4; ++k)
        if (h.recent[(h.recentIndex - k) & 3] == distance) {
            recent = k;
            break;
        }
    const uint32_t repeatCoded = length - 2 - farAdjust(distance) - (distance >= 257);
    if (length == h.lastLength && distance == h.lastDistance) {
        t.symbol = kSymbolRepeatLast;
    } else if (recent > 0 && length >= 2 + farAdjust(distance) + (distance >= 257) && repeatCoded <= 255) {
        t.symbol = uint16_t(kSymbolRepeatLast + recent);
        const int r = lengthSlot(repeatCoded);
        t.second = int16_t(r);
        t.bitsB = kLengthBits[r];
        t.valueB = repeatCoded - kLengthBase[r];
    } else if (length == 2) {
        const int s = shortSlot(distance - 1);
        t.symbol = uint16_t(kSymbolShortFirst + s);
        t.bitsA = kShortDistanceBits[s];
        t.valueA = distance - 1 - kShortDistanceBase[s];
    } else {
        const uint32_t coded = length - 3 - farAdjust(distance);
        const int l = lengthSlot(coded);
        t.symbol = uint16_t(kSymbolLengthFirst + l);
        t.bitsA = kLengthBits[l];
        t.valueA = coded - kLengthBase[l];
        const int d = distanceSlot(distance - 1);
        t.second = int16_t(d);
        t.bitsB = kDistanceBits[d];
        t.valueB = distance - 1 - kDistanceBase[d];
    }
    t.distance = distance;
    tokens.push_back(t);
    h.recent[h.recentIndex & 3] = distance;
    ++h.recentIndex;
    h.lastDistance = distance;
    h.lastLength = length;
}

double RarEncoder::parseLz(size_t from, size_t to, std::vector<Token>& tokens, LzHistory& history)
{
    while (hashedUpTo_ < from)
        insertHash(hashedUpTo_++);
    size_t pos = from;
    uint32_t distance = 0;
    uint32_t length = pos < to ? findMatch(pos, to, distance, history) : 0;
    while (pos < to) {
        if (length >= 2) {
            // One step of lazy evaluation: a longer match one byte on wins over this one.
            insertHash(pos);
            hashedUpTo_ = pos + 1;
            uint32_t nextDistance = 0;
            const uint32_t nextLength = pos + 1 < to ? findMatch(pos + 1, to, nextDistance, history) : 0;
            if (nextLength > length + 1 || (length == 2 && nextLength >= 3)) {
                Token t;
                t.symbol = history_[pos];
                tokens.push_back(t);
                ++pos;
                length = nextLength;
                distance = nextDistance;
                continue;
            }
            addMatch(tokens, length, distance, history);
            for (size_t p = pos + 1; p < pos + length; ++p)
                insertHash(p);
            pos += length;
            hashedUpTo_ = pos;
        } else {
            insertHash(pos);
            Token t;
            t.symbol = history_[pos];
            tokens.push_back(t);
            ++pos;
            hashedUpTo_ = pos;
        }
        length = pos < to ? findMatch(pos, to, distance, history) : 0;
    }
    uint32_t mainFreq[kMainSymbols] = {};
    uint32_t distFreq[kDistanceSymbols] = {};
    uint32_t repFreq[kRepeatSymbols] = {};
    double extra = 0;
    for (const Token& t : tokens) {
        ++mainFreq[t.symbol];
        extra += t.bitsA + t.bitsB;
        if (t.second >= 0)
            ++(t.symbol >= kSymbolLengthFirst ? distFreq[t.second] : repFreq[t.second]);
    }
    return entropyBits(mainFreq, kMainSymbols) + entropyBits(distFreq, kDistanceSymbols) +
           entropyBits(repFreq, kRepeatSymbols) + extra + 600;
}

// ---- Multimedia --------------------------------------------------------------------------------

double RarEncoder::codeAudio(size_t from, size_t to, int channels, AudioState& state, std::vector<uint8_t>& deltas) const
{
    if (state.currentChannel >= channels)
        state.currentChannel = 0;
    deltas.resize(to - from);
    uint32_t freq[4][kAudioSymbols] = {};
    int channel = state.currentChannel;
    for (size_t i = from; i < to; ++i) {
        ChannelPredictor& v = state.predictors[channel];
        const int p = v.predict(state.crossDelta);
        const uint8_t delta = uint8_t((p - history_[i]) & 0xFF);
        v.commit(p, delta, state.crossDelta);
        deltas[i - from] = delta;
        ++freq[channel][delta];
        if (++channel == channels)
            channel = 0;
    }
    state.currentChannel = channel;
    double bits = 0;
    for (int c = 0; c < channels; ++c)
        bits += entropyBits(freq[c], kAudioSymbols) + 300;
    return bits;
}
