#pragma once

#include "data/archive.h"

#include <cstdint>
#include <memory>

// Decoder for entries compressed with the RAR 2.0 scheme (LZ77 over a 1 MiB window with Huffman
// coded symbols, plus the multimedia mode with its adaptive predictor).
struct UnpackState;

// The decoder's work state for one extraction call; null when the window cannot be allocated.
UnpackStatePtr createUnpackState();

// Decodes one entry from data (positioned at its packed bytes, holding packedSize of them) into
// output (unpackedSize bytes, or null to decode only for a solid archive's sake). *delivered is
// the count written. False when the stream is damaged: it runs out of input before the output is
// complete, or its tables cannot be read.
bool unpackEntry(UnpackState& state, ArchiveSpan& data, uint32_t packedSize, uint32_t unpackedSize, bool solid,
                 uint8_t* output, uint32_t* delivered);
