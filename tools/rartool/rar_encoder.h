#pragma once

#include "data/rar_format.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// What the encoder wrote, by kind; the tests compare it with what the decoder met.
struct RarEncodeStats {
    uint64_t literals = 0;
    uint64_t longMatches = 0;
    uint64_t farMatches = 0;        // distance >= 0x2000, coded one byte shorter
    uint64_t veryFarMatches = 0;    // distance >= 0x40000, coded two bytes shorter
    uint64_t lastMatchRepeats = 0;  // symbol 256
    uint64_t recentMatches[4] = {};
    uint64_t shortMatches = 0;
    uint64_t lzTables = 0;
    uint64_t audioTables[4] = {};   // by channel count - 1
    uint64_t deltaTables = 0;
    uint64_t freshTables = 0;
    uint64_t lookAheadTables = 0;   // tables for an entry written behind the previous entry's end
    uint64_t modeSwitches = 0;      // LZ to multimedia or back
    uint64_t audioBytes = 0;
    uint64_t bytes = 0;
};

struct RarEncoderOptions {
    uint32_t blockSize = 64 * 1024;  // bytes per block; every block gets its own tables
    int maxChain = 48;               // match candidates looked at per position
    bool multimedia = true;          // false: LZ blocks only
};

// RAR 2.0 (unpack version 20) encoder. One stream is a run of entries: the first starts from a
// clean state with tables; later ones continue it (the entries of a solid archive). Each block is
// coded as LZ or as multimedia with 1 to 4 channels, whichever costs fewer bits.
class RarEncoder {
public:
    explicit RarEncoder(const RarEncoderOptions& options = {});
    virtual ~RarEncoder();

    void beginStream();
    void encodeEntry(const uint8_t* data, size_t size);
    // The packed bytes of every entry since beginStream, in order.
    std::vector<std::vector<uint8_t>> finishStream();

    const RarEncodeStats& stats() const { return stats_; }

private:
    class BitWriter {
    public:
        void write(uint32_t value, uint32_t count);
        void align();
        size_t bitCount() const { return bytes_.size() * 8 + fill_; }
        std::vector<uint8_t> take();
        std::vector<uint8_t>& bytes() { return bytes_; }

    private:
        std::vector<uint8_t> bytes_;
        uint32_t acc_ = 0;
        uint32_t fill_ = 0;
    };

    struct Code {
        uint8_t lengths[rar20::kMainSymbols] = {};
        uint16_t codes[rar20::kMainSymbols] = {};
        void build(const uint32_t* freq, int count);
        void assign(int count);
    };

    struct Token {
        uint16_t symbol = 0;
        uint8_t bitsA = 0;
        uint32_t valueA = 0;
        int16_t second = -1;  // distance or repeat-length symbol
        uint8_t bitsB = 0;
        uint32_t valueB = 0;
        uint32_t distance = 0;
    };

    struct LzHistory {
        uint32_t recent[4] = {};
        uint32_t recentIndex = 0;
        uint32_t lastDistance = 0;
        uint32_t lastLength = 0;
    };

    struct AudioState {
        rar20::ChannelPredictor predictors[4];
        int crossDelta = 0;
        int currentChannel = 0;
    };

    void encodeBlock(size_t from, size_t to, bool lastOfEntry);
    double parseLz(size_t from, size_t to, std::vector<Token>& tokens, LzHistory& history);
    double codeAudio(size_t from, size_t to, int channels, AudioState& state, std::vector<uint8_t>& deltas) const;
    void insertHash(size_t pos);
    uint32_t findMatch(size_t pos, size_t end, uint32_t& distance, const LzHistory& history);
    void addMatch(std::vector<Token>& tokens, uint32_t length, uint32_t distance, LzHistory& history);
    void writeTables(BitWriter& out, bool multimedia, int channels, const uint8_t* lengths, int size);

    RarEncoderOptions options_;
    RarEncodeStats stats_;
    std::vector<uint8_t> history_;  // every byte the stream has produced so far
    std::vector<int32_t> head3_;
    std::vector<int32_t> head2_;
    std::vector<int32_t> chain_;
    size_t hashedUpTo_ = 0;

    LzHistory lz_;
    AudioState audio_;
    bool multimedia_ = false;
    uint8_t previousLengths_[rar20::kMaxTableSize] = {};
    bool streamStarted_ = false;
    bool entryHasBlock_ = false;
    std::vector<BitWriter> entries_;
};
