#pragma once

#include "data/archive.h"

#include <cstdint>

// Decoder for entries compressed with the RAR 2.0 scheme (LZ77 over a 1 MiB window with Huffman
// coded symbols, plus the multimedia mode that codes up to four byte channels through an adaptive
// predictor).

// What the decoder has met so far (kept across entries of one state). Cheap enough to keep always;
// tests read it to see that each kind of symbol really occurred.
struct UnpackCounters {
    uint64_t literals = 0;
    uint64_t longMatches = 0;       // symbols 270..297
    uint64_t farMatches = 0;        // long or recent matches at distance >= 0x2000 (one byte longer)
    uint64_t veryFarMatches = 0;    // ... and >= 0x40000 (another byte longer)
    uint64_t lastMatchRepeats = 0;  // symbol 256
    uint64_t recentMatches[4] = {};  // symbols 257..260
    uint64_t shortMatches = 0;      // symbols 261..268
    uint64_t lzTableReads = 0;
    uint64_t audioTableReads[4] = {};  // by channel count - 1
    uint64_t deltaTableReads = 0;      // tables coded as changes to the previous ones
    uint64_t freshTableReads = 0;
    uint64_t audioBytes = 0;
    uint64_t lookAheadTables = 0;  // tables picked up after an entry's last byte for its successor
    uint64_t bytesDecoded = 0;     // everything that went through the window (> 1 MiB: it wrapped)
};

// The decoder's work state for one extraction call; null when the window cannot be allocated.
UnpackStatePtr createUnpackState();
const UnpackCounters& unpackCounters(const UnpackState& state);

// Decodes one entry from data (positioned at its packed bytes, holding packedSize of them) into
// output (unpackedSize bytes, or null to decode only for a solid archive's sake). *delivered is
// the count written, never more than unpackedSize. False when the stream is damaged: it runs out
// of input before the output is complete, or a table cannot be read.
bool unpackEntry(UnpackState& state, ArchiveSpan& data, uint32_t packedSize, uint32_t unpackedSize, bool solid,
                 uint8_t* output, uint32_t* delivered);
