#include "archive_writer.h"
#include "rar_encoder.h"

#include "data/archive.h"
#include "data/crc32.h"
#include "data/rar_unpack.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A small deterministic generator so every run sees the same data.
struct Lcg {
    uint32_t state;
    explicit Lcg(uint32_t seed) : state(seed) {}
    uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

Bytes randomBytes(size_t n, uint32_t seed)
{
    Lcg r(seed);
    Bytes b(n);
    for (uint8_t& x : b)
        x = uint8_t(r.next() >> 16);  // the high bits: the low ones of an LCG repeat quickly
    return b;
}

// Text-like: words from a small vocabulary, so there are repeats at every distance.
Bytes textBytes(size_t n, uint32_t seed)
{
    static const char* words[] = {"cell ", "nucleus ", "membrane ", "helix ", "the ", "of ", "DNA ", "copies ",
                                  "itself\n", "atom ", "by ", "ribosome ", "a ", "vesicle ", "in ", "mitochondria, "};
    Lcg r(seed);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[r.next() % 16];
        b.insert(b.end(), w, w + std::strlen(w));
        if (r.next() % 23 == 0)
            b.push_back(uint8_t('0' + r.next() % 10));
    }
    b.resize(n);
    return b;
}

// Interleaved smooth channels: what the multimedia mode is for.
Bytes smoothChannels(size_t frames, int channels, uint32_t seed)
{
    Lcg r(seed);
    Bytes b;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double v = 100 * std::sin(double(i) * (0.01 + 0.013 * c) + c) + 28 * c + 128;
            b.push_back(uint8_t(int(v) + int(r.next() % 3)));
        }
    return b;
}

// 16-bit little-endian PCM, 1 or 2 channels.
Bytes pcm16(size_t frames, int channels, uint32_t seed)
{
    Lcg r(seed);
    Bytes b;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = double(i) / 44100.0;
            const int v = int(9000 * std::sin(2 * M_PI * (220 + 110 * c) * t) + 4000 * std::sin(2 * M_PI * 331 * t)) +
                          int(r.next() % 64) - 32;
            b.push_back(uint8_t(v & 0xFF));
            b.push_back(uint8_t((v >> 8) & 0xFF));
        }
    return b;
}

// 32-bit float samples of a slow tone with a little noise.
Bytes floatSamples(size_t count, uint32_t seed)
{
    Lcg r(seed);
    Bytes b(count * 4);
    for (size_t i = 0; i < count; ++i) {
        const float v = 0.3f * float(std::sin(double(i) * 0.001)) + float(int(r.next() % 2001) - 1000) * 1e-5f;
        std::memcpy(&b[i * 4], &v, 4);
    }
    return b;
}

// 16-bit stereo PCM of two plain tones, a little noise on each.
Bytes tonePcm(size_t frames, uint32_t seed)
{
    Lcg r(seed);
    Bytes b;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c) {
            const int v = int(8000 * std::sin(double(i) * (0.03 + 0.01 * c))) + int(r.next() % 50);
            b.push_back(uint8_t(v & 0xFF));
            b.push_back(uint8_t((v >> 8) & 0xFF));
        }
    return b;
}

struct Packed {
    Bytes archive;
    RarEncodeStats stats;
};

Packed pack(const std::vector<PackItem>& items, bool compress, bool solid)
{
    Packed p;
    p.archive = writeArchive(items, {compress, solid}, &p.stats);
    return p;
}

// Extracts every entry once in order, as rartool test does; the counters come from that one walk.
struct Walk {
    std::vector<ArchiveStatus> status;
    std::vector<Bytes> bytes;
    UnpackCounters counters;
};

Walk walk(const Bytes& archive)
{
    Walk w;
    ArchiveReader reader;
    EXPECT_TRUE(reader.begin({archive.data(), uint32_t(archive.size()), 0}));
    ArchiveEntry e;
    while (reader.next(e)) {
        uint8_t* data = nullptr;
        uint32_t size = 0;
        w.status.push_back(reader.extract(e, true, &data, &size));
        w.bytes.emplace_back(data, data + size);
        std::free(data);
    }
    if (reader.counters() != nullptr)
        w.counters = *reader.counters();
    return w;
}

bool extractOne(const Bytes& archive, const std::string& name, Bytes& out, ArchiveStatus* why = nullptr)
{
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ArchiveStatus status;
    const bool ok = extractArchiveEntry({archive.data(), uint32_t(archive.size()), 0}, name.c_str(), &data, &size, &status);
    if (why)
        *why = status;
    out.assign(data, data + size);
    std::free(data);
    return ok;
}

std::vector<PackItem> mixedItems()
{
    std::vector<PackItem> items;
    items.push_back({"text.txt", false, textBytes(200000, 1)});
    items.push_back({"empty.bin", false, {}});
    items.push_back({"one.bin", false, {'x'}});
    items.push_back({"noise.bin", false, randomBytes(40000, 2)});
    items.push_back({"mono8.raw", false, smoothChannels(30000, 1, 3)});
    items.push_back({"mono16.raw", false, pcm16(30000, 1, 4)});
    items.push_back({"rgb.raw", false, smoothChannels(30000, 3, 5)});
    items.push_back({"stereo16.raw", false, pcm16(30000, 2, 6)});
    items.push_back({"more.txt", false, textBytes(70000, 7)});
    return items;
}

TEST(RarCodec, RoundTripsFromZeroBytesToSeveralMegabytes)
{
    const size_t sizes[] = {0, 1, 2, 3, 4, 7, 100, 269, 4095, 65535, 65536, 65537, 300001};
    std::vector<PackItem> items;
    for (size_t n : sizes)
        items.push_back({"t" + std::to_string(n), false, textBytes(n, uint32_t(n))});
    // Past the 1 MiB window, with repeats that reach across its wrap.
    Bytes big = textBytes(3u << 20, 99);
    const Bytes block = randomBytes(50000, 98);
    for (size_t at : {size_t(100000), size_t(1100000), size_t(2150000), size_t(3000000)})
        std::memcpy(big.data() + at, block.data(), block.size());
    items.push_back({"big.txt", false, big});
    items.push_back({"noise", false, randomBytes(70000, 97)});

    for (bool solid : {false, true}) {
        for (bool compress : {false, true}) {
            const Packed p = pack(items, compress, solid);
            const Walk w = walk(p.archive);
            ASSERT_EQ(w.status.size(), items.size());
            for (size_t i = 0; i < items.size(); ++i) {
                EXPECT_EQ(w.status[i], ArchiveStatus::Ok) << items[i].name << " solid " << solid;
                EXPECT_TRUE(w.bytes[i] == items[i].bytes) << items[i].name << " solid " << solid;
            }
            if (compress) {
                EXPECT_GT(w.counters.bytesDecoded, uint64_t(1) << 20);
            }
        }
    }
    // Compression pays on text and is skipped where it does not (noise stays stored).
    const Packed p = pack(items, true, false);
    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({p.archive.data(), uint32_t(p.archive.size()), 0}));
    ArchiveEntry e;
    while (reader.next(e)) {
        if (std::string(e.name) == "big.txt") {
            EXPECT_EQ(e.method, 0x33);
            EXPECT_LT(e.packedSize, e.unpackedSize / 3);
        }
        if (std::string(e.name) == "noise" || e.unpackedSize == 0) {
            EXPECT_EQ(e.method, 0x30);
        }
    }
}

TEST(RarCodec, SolidFolderOfEveryKindRoundTrips)
{
    // A folder as a user packs it, several megabytes, past the window's size: LZ blocks, then
    // multimedia blocks of one table size and another, then LZ again, all in one stream.
    std::vector<PackItem> items;
    items.push_back({"empty", false, {}});
    items.push_back({"lines.txt", false, textBytes(1000000, 41)});
    items.push_back({"noise.bin", false, randomBytes(200000, 42)});
    items.push_back({"samples.f32", false, floatSamples(200000, 43)});
    items.push_back({"stereo.pcm", false, tonePcm(150000, 44)});
    items.push_back({"zeros.bin", false, Bytes(1500000, 0)});
    const Walk w = walk(pack(items, true, true).archive);
    ASSERT_EQ(w.status.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(w.status[i], ArchiveStatus::Ok) << items[i].name;
        EXPECT_TRUE(w.bytes[i] == items[i].bytes) << items[i].name;
    }
}

TEST(RarCodec, ExtractsSingleEntriesOfASolidArchive)
{
    const std::vector<PackItem> items = mixedItems();
    const Packed p = pack(items, true, true);
    // Backwards, so each extraction has to decode every earlier entry again.
    for (size_t i = items.size(); i-- > 0;) {
        Bytes out;
        ASSERT_TRUE(extractOne(p.archive, items[i].name, out)) << items[i].name;
        EXPECT_TRUE(out == items[i].bytes) << items[i].name;
    }
    ArchiveReader reader;
    ASSERT_TRUE(reader.begin({p.archive.data(), uint32_t(p.archive.size()), 0}));
    EXPECT_TRUE(reader.solid());
    ArchiveEntry e;
    int continued = 0;
    while (reader.next(e))
        continued += (e.flags & kEntrySolid) != 0;
    EXPECT_EQ(continued, 7);  // all compressed entries but the first; the empty one is stored
}

TEST(RarCodec, EveryEncoderFeatureIsWrittenAndDecoded)
{
    std::vector<PackItem> items = mixedItems();
    // Repeats 0x3000 and 0x50000 bytes back for the two longer-distance rules.
    Bytes far = randomBytes(0x60000, 11);
    const Bytes chunk = randomBytes(3000, 12);
    std::memcpy(far.data() + 0x1000, chunk.data(), chunk.size());
    std::memcpy(far.data() + 0x4000, chunk.data(), chunk.size());
    std::memcpy(far.data() + 0x54000, chunk.data(), chunk.size());
    items.push_back({"far.bin", false, far});

    const Packed p = pack(items, true, true);
    const RarEncodeStats& s = p.stats;
    EXPECT_GT(s.literals, 0u);
    EXPECT_GT(s.longMatches, 0u);
    EXPECT_GT(s.farMatches, 0u);
    EXPECT_GT(s.veryFarMatches, 0u);
    EXPECT_GT(s.lastMatchRepeats, 0u);
    for (int k = 0; k < 4; ++k)
        EXPECT_GT(s.recentMatches[k], 0u) << k;
    EXPECT_GT(s.shortMatches, 0u);
    EXPECT_GT(s.lzTables, 1u);
    for (int c = 0; c < 4; ++c)
        EXPECT_GT(s.audioTables[c], 0u) << c + 1 << " channels";
    EXPECT_GT(s.deltaTables, 0u);
    EXPECT_GT(s.freshTables, 0u);
    EXPECT_GT(s.lookAheadTables, 0u);
    EXPECT_GT(s.modeSwitches, 1u);

    const Walk w = walk(p.archive);
    for (size_t i = 0; i < items.size(); ++i) {
        ASSERT_EQ(w.status[i], ArchiveStatus::Ok) << items[i].name;
        EXPECT_TRUE(w.bytes[i] == items[i].bytes) << items[i].name;
    }
    // The decoder met exactly what the encoder wrote.
    const UnpackCounters& c = w.counters;
    EXPECT_EQ(c.literals, s.literals);
    EXPECT_EQ(c.longMatches, s.longMatches);
    EXPECT_EQ(c.farMatches, s.farMatches);
    EXPECT_EQ(c.veryFarMatches, s.veryFarMatches);
    EXPECT_EQ(c.lastMatchRepeats, s.lastMatchRepeats);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(c.recentMatches[k], s.recentMatches[k]);
    EXPECT_EQ(c.shortMatches, s.shortMatches);
    EXPECT_EQ(c.lzTableReads, s.lzTables);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(c.audioTableReads[k], s.audioTables[k]);
    EXPECT_EQ(c.deltaTableReads, s.deltaTables);
    EXPECT_EQ(c.freshTableReads, s.freshTables);
    EXPECT_EQ(c.lookAheadTables, s.lookAheadTables);
    EXPECT_EQ(c.audioBytes, s.audioBytes);
}

TEST(RarCodec, MultimediaDataPicksItsChannelCount)
{
    struct Case {
        Bytes data;
        int channels;
    };
    const Case cases[] = {{smoothChannels(40000, 1, 21), 1},
                          {pcm16(40000, 1, 22), 2},
                          {smoothChannels(40000, 3, 23), 3},
                          {pcm16(40000, 2, 24), 4}};
    for (const Case& c : cases) {
        RarEncoder encoder;
        encoder.beginStream();
        encoder.encodeEntry(c.data.data(), c.data.size());
        const Bytes packed = encoder.finishStream()[0];
        const RarEncodeStats& s = encoder.stats();
        uint64_t best = 0;
        int picked = 0;
        for (int k = 0; k < 4; ++k)
            if (s.audioTables[k] > best) {
                best = s.audioTables[k];
                picked = k + 1;
            }
        EXPECT_EQ(picked, c.channels);
        EXPECT_LT(packed.size(), c.data.size() * 3 / 4) << c.channels;
    }
    // Silence predicts perfectly, but a prefix code still spends a bit on each delta: as LZ
    // matches a megabyte of zeros takes a few hundred bytes.
    const Bytes zeros(1 << 20, 0);
    RarEncoder encoder;
    encoder.encodeEntry(zeros.data(), zeros.size());
    EXPECT_LT(encoder.finishStream()[0].size(), 2000u);
    EXPECT_EQ(encoder.stats().audioBytes, 0u);
}

TEST(RarCodec, DamagedCompressedEntriesFailCleanly)
{
    std::vector<PackItem> items;
    items.push_back({"a.txt", false, textBytes(20000, 31)});
    items.push_back({"b.raw", false, pcm16(6000, 2, 32)});
    for (bool solid : {false, true}) {
        const Packed p = pack(items, true, solid);
        const size_t total = p.archive.size();
        // Flip bits throughout the entry data and headers: either a clean failure or the right bytes.
        for (size_t bit = 0; bit < total * 8; bit += 89) {
            Bytes a = p.archive;
            a[bit / 8] ^= uint8_t(1u << (bit % 8));
            for (const PackItem& item : items) {
                Bytes out;
                if (extractOne(a, item.name, out)) {
                    EXPECT_TRUE(out == item.bytes) << bit;
                }
            }
        }
        // Cut short anywhere: never the right answer by accident, never a crash.
        for (size_t cut = 0; cut < total; cut += 23) {
            Bytes a(p.archive.begin(), p.archive.begin() + long(cut));
            Bytes out;
            EXPECT_FALSE(extractOne(a, "b.raw", out)) << cut;
        }
    }
}

TEST(RarCodec, ZeroedOrRandomStreamsEndQuickly)
{
    // Whatever a stream says, the decoder gives up once its bits are spent.
    UnpackStatePtr state = createUnpackState();
    ASSERT_TRUE(state);
    for (uint32_t seed = 0; seed < 300; ++seed) {
        const Bytes stream = seed == 0 ? Bytes(4000, 0) : randomBytes(1 + seed * 13, seed);
        ArchiveSpan span{stream.data(), uint32_t(stream.size()), 0};
        Bytes out(1 << 20);
        uint32_t delivered = 0;
        const auto start = std::chrono::steady_clock::now();
        unpackEntry(*state, span, uint32_t(stream.size()), uint32_t(out.size()), seed % 3 == 0, out.data(), &delivered);
        EXPECT_LE(delivered, out.size());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

}  // namespace
