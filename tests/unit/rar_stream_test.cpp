// Hand-made compressed streams, written bit by bit from the format's rules, checked against a
// plain model of what the decoder must produce.
#include "data/rar_format.h"
#include "data/rar_unpack.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class Bits {
public:
    void put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = acc_ << 1 | ((value >> i) & 1);
            if (++fill_ == 8) {
                bytes_.push_back(uint8_t(acc_));
                acc_ = fill_ = 0;
            }
        }
    }
    Bytes finish()
    {
        if (fill_ > 0)
            put(0, 8 - fill_);
        return bytes_;
    }

private:
    Bytes bytes_;
    uint32_t acc_ = 0;
    int fill_ = 0;
};

// Every bit-length code symbol gets 5 bits, so the code of symbol s is s itself.
void putLengthCode(Bits& b)
{
    for (int i = 0; i < 19; ++i)
        b.put(5, 4);
}

// Fresh LZ tables: main symbols 9 bits, distance symbols 6, repeat symbols 5; with all of an
// alphabet at one length, symbol s is coded as s.
void putLzTables(Bits& b, bool delta = false, int lengthSymbol = -1)
{
    b.put(delta ? 1 : 0, 2);
    putLengthCode(b);
    for (int i = 0; i < 374; ++i) {
        const int length = i < 298 ? 9 : i < 346 ? 6 : 5;
        b.put(lengthSymbol >= 0 ? uint32_t(lengthSymbol) : uint32_t(length), 5);
    }
}

void literal(Bits& b, uint8_t c, int bits = 9) { b.put(c, bits); }

void longMatch(Bits& b, int lengthSlot, uint32_t lengthExtra, int distanceSlot, uint32_t distanceExtra)
{
    b.put(270 + lengthSlot, 9);
    b.put(lengthExtra, rar20::kLengthBits[lengthSlot]);
    b.put(distanceSlot, 6);
    b.put(distanceExtra, rar20::kDistanceBits[distanceSlot]);
}

struct Decoded {
    bool ok = false;
    Bytes bytes;
};

Decoded decode(const Bytes& stream, uint32_t unpackedSize)
{
    UnpackStatePtr state = createUnpackState();
    Decoded d;
    // Guard bytes behind the output catch any write past its end.
    Bytes out(unpackedSize + 16, 0xEE);
    ArchiveSpan span{stream.data(), uint32_t(stream.size()), 0};
    uint32_t delivered = 0;
    d.ok = unpackEntry(*state, span, uint32_t(stream.size()), unpackedSize, false, out.data(), &delivered);
    for (size_t i = unpackedSize; i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xEE) << "written past the end at " << i;
    EXPECT_LE(delivered, unpackedSize);
    d.bytes.assign(out.begin(), out.begin() + delivered);
    return d;
}

void copy(Bytes& model, uint32_t length, uint32_t distance)
{
    for (uint32_t i = 0; i < length; ++i)
        model.push_back(model[model.size() - distance]);
}

TEST(RarStream, LiteralsAndAShortMatch)
{
    Bits b;
    putLzTables(b);
    for (char c : std::string("abcdef"))
        literal(b, uint8_t(c));
    longMatch(b, 1, 0, 2, 0);  // length 1 + 3, distance 2 + 1
    Bytes model = {'a', 'b', 'c', 'd', 'e', 'f'};
    copy(model, 4, 3);
    const Decoded d = decode(b.finish(), uint32_t(model.size()));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.bytes, model);
}

#ifndef _WIN32
// Runs in a process of its own, whose heap holds no freed megabyte that could stand in for the
// window: address space for the small state but not for the window, then room again.
void decodeAfterAllocationFailure(const Bytes& stream)
{
    // A state kept from an earlier extraction is taken out of the way first.
    const UnpackStatePtr held = createUnpackState();
    long sizeKb = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            sizeKb = std::stol(line.substr(7));
    const rlimit tight{rlim_t(sizeKb + 256) * 1024, RLIM_INFINITY};
    if (sizeKb == 0 || setrlimit(RLIMIT_AS, &tight) != 0)
        std::_Exit(3);
    const bool failed = createUnpackState() == nullptr;
    const rlimit open{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &open);
    if (!failed)
        std::_Exit(4);  // the limit did not bite: nothing was tried
    const Decoded d = decode(stream, 6);
    std::_Exit(d.ok && d.bytes == Bytes{'a', 'b', 'c', 'd', 'e', 'f'} ? 0 : 1);
}

// A window that could not be allocated once (memory short for a moment) must not be handed out
// later: the next extraction has to get a window of its own, not write through a null one.
TEST(RarStream, DecodesAfterAnAllocationFailure)
{
    Bits b;
    putLzTables(b);
    for (char c : std::string("abcdef"))
        literal(b, uint8_t(c));
    const Bytes stream = b.finish();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(decodeAfterAllocationFailure(stream), testing::ExitedWithCode(0), "");
}
#endif  // an address-space limit is a POSIX resource limit

TEST(RarStream, FarMatchesAreOneOrTwoBytesLonger)
{
    struct Case {
        uint32_t distance;
        int slot;
        uint32_t extra;
        uint32_t expectedLength;
    };
    // distance - 1 = base + extra: 0x1FFF just below the first mark, 0x2000 on it, 0x40000 on the second.
    const Case cases[] = {{0x1FFF, 25, 2046, 3}, {0x2000, 25, 2047, 4}, {0x40000, 35, 65535, 5}};
    for (const Case& c : cases) {
        Bits b;
        putLzTables(b);
        Bytes model;
        for (uint32_t i = 0; i < c.distance; ++i) {
            const uint8_t v = uint8_t((i * 31 + (i >> 8)) & 0xFF);
            literal(b, v);
            model.push_back(v);
        }
        longMatch(b, 0, 0, c.slot, c.extra);
        copy(model, c.expectedLength, c.distance);
        const Decoded d = decode(b.finish(), uint32_t(model.size()));
        EXPECT_TRUE(d.ok) << c.distance;
        EXPECT_TRUE(d.bytes == model) << c.distance;
    }
}

TEST(RarStream, RepeatLastRecentAndShortDistances)
{
    Bits b;
    putLzTables(b);
    Bytes model;
    for (char c : std::string("0123456789abcdefghijklmnopqrstuvwxyz")) {
        literal(b, uint8_t(c));
        model.push_back(uint8_t(c));
    }
    longMatch(b, 2, 0, 6, 1);  // length 5, distance 8 + 1 + 1 = 10
    copy(model, 5, 10);
    b.put(256, 9);             // the same again: length 5, distance 10
    copy(model, 5, 10);
    longMatch(b, 0, 0, 9, 3);  // length 3, distance 24 + 3 + 1 = 28
    copy(model, 3, 28);
    longMatch(b, 0, 0, 4, 1);  // length 3, distance 4 + 1 + 1 = 6
    copy(model, 3, 6);
    // History is now 10, 10, 28, 6 (newest last). 257 is the newest, 260 the oldest.
    b.put(257, 9);
    b.put(1, 5);  // repeat length slot 1: 1 + 2 = 3
    copy(model, 3, 6);
    b.put(259, 9);  // two before the newest: history 10, 28, 6, 6 -> 28
    b.put(0, 5);
    copy(model, 2, 28);
    b.put(260, 9);  // history 28, 6, 6, 28 -> oldest is 28
    b.put(8, 5);    // slot 8 = 8 + 1 extra bit
    b.put(1, 1);
    copy(model, 8 + 1 + 2, 28);
    b.put(261 + 3, 9);  // short distance slot 3: 16 + 1 + 4 bits
    b.put(5, 4);
    copy(model, 2, 22);
    const Decoded d = decode(b.finish(), uint32_t(model.size()));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.bytes, model);
}

TEST(RarStream, RecentDistancesOfAtLeast257AddOne)
{
    Bits b;
    putLzTables(b);
    Bytes model;
    for (uint32_t i = 0; i < 400; ++i) {
        literal(b, uint8_t(i * 7));
        model.push_back(uint8_t(i * 7));
    }
    longMatch(b, 0, 0, 16, 43);  // distance 256 + 43 + 1 = 300
    copy(model, 3, 300);
    b.put(257, 9);
    b.put(0, 5);  // coded 2, plus one for distance >= 257
    copy(model, 3, 300);
    const Decoded d = decode(b.finish(), uint32_t(model.size()));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.bytes, model);
}

TEST(RarStream, NewTablesWithAndWithoutDelta)
{
    for (bool delta : {false, true}) {
        Bits b;
        putLzTables(b);
        literal(b, 'x');
        b.put(269, 9);
        // Lengths become 10, 7 and 6: either stated outright or as +1 on each previous length.
        b.put(delta ? 1 : 0, 2);
        putLengthCode(b);
        for (int i = 0; i < 374; ++i)
            b.put(delta ? 1 : (i < 298 ? 10 : i < 346 ? 7 : 6), 5);
        literal(b, 'y', 10);
        b.put(270, 10);  // length 3
        b.put(0, 7);     // distance 1
        const Decoded d = decode(b.finish(), 5);
        EXPECT_TRUE(d.ok) << delta;
        EXPECT_EQ(d.bytes, (Bytes{'x', 'y', 'y', 'y', 'y'})) << delta;
    }
    // Without the delta bit the same +1 symbols make every length 1: the literal no longer decodes.
    Bits b;
    putLzTables(b);
    literal(b, 'x');
    b.put(269, 9);
    b.put(0, 2);
    putLengthCode(b);
    for (int i = 0; i < 374; ++i)
        b.put(1, 5);
    literal(b, 'y', 10);
    const Decoded d = decode(b.finish(), 2);
    EXPECT_FALSE(d.ok && d.bytes == (Bytes{'x', 'y'}));
}

TEST(RarStream, RunSymbolsInTables)
{
    // Main: 'a' at length 2, 'b' to 'd' by a repeat of the previous length, the rest zero via runs.
    Bits b;
    b.put(0, 2);
    putLengthCode(b);
    int written = 0;
    for (; written < 'a'; written += 0) {
        const int run = std::min(138, 'a' - written);
        if (run >= 11) {
            b.put(18, 5);
            b.put(run - 11, 7);
        } else {
            b.put(17, 5);
            b.put(run - 3, 3);
        }
        written += run;
    }
    b.put(2, 5);   // 'a'
    b.put(16, 5);  // 'b', 'c', 'd' repeat it: three copies
    b.put(0, 2);
    written += 4;
    while (written < 374) {
        const int run = std::min(138, 374 - written);
        b.put(18, 5);
        b.put(run - 11, 7);
        written += run;
    }
    // Four codes of length 2: a=00 b=01 c=10 d=11.
    for (int s : {0, 1, 2, 3, 3, 0})
        b.put(uint32_t(s), 2);
    const Decoded d = decode(b.finish(), 6);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.bytes, (Bytes{'a', 'b', 'c', 'd', 'd', 'a'}));
}

TEST(RarStream, MultimediaChannelsTakeTurns)
{
    // Three channels; channel k has only one delta, 5, 7 or 9, coded with the single bit 0.
    Bits b;
    b.put(2, 2);  // multimedia, fresh
    b.put(2, 2);  // three channels
    putLengthCode(b);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 257; ++i)
            b.put(i == 5 + 2 * k ? 1 : 0, 5);
    for (int i = 0; i < 6; ++i)
        b.put(0, 1);
    const Decoded d = decode(b.finish(), 6);
    EXPECT_TRUE(d.ok);
    // With all weights zero the prediction is the channel's last byte: 0 - delta, then again - delta.
    EXPECT_EQ(d.bytes, (Bytes{251, 249, 247, 246, 242, 238}));
}

TEST(RarStream, OutputNeverPassesTheEntrySize)
{
    Bits b;
    putLzTables(b);
    for (char c : std::string("abc"))
        literal(b, uint8_t(c));
    longMatch(b, 0, 0, 2, 0);  // 3 bytes, one more than the entry holds
    const Decoded d = decode(b.finish(), 5);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.bytes, (Bytes{'a', 'b', 'c', 'a', 'b'}));
}

TEST(RarStream, EndlessTableSwitchesRunOutOfInput)
{
    // Main table holds only symbol 269, so every bit 0 asks for new tables and nothing is output.
    Bits b;
    auto tables = [&b] {
        b.put(0, 2);
        putLengthCode(b);
        for (int i = 0; i < 374; ++i)
            b.put(i == 269 ? 1 : 0, 5);
    };
    tables();
    for (int i = 0; i < 200; ++i) {
        b.put(0, 1);
        tables();
    }
    const Decoded d = decode(b.finish(), 0xFFFFFF);
    EXPECT_FALSE(d.ok);
    EXPECT_TRUE(d.bytes.empty());
}

TEST(RarStream, TruncatedStreamsFail)
{
    Bits b;
    putLzTables(b);
    Bytes model;
    for (int i = 0; i < 3000; ++i) {
        literal(b, uint8_t(i));
        model.push_back(uint8_t(i));
    }
    const Bytes stream = b.finish();
    ASSERT_TRUE(decode(stream, uint32_t(model.size())).ok);
    for (size_t cut : {size_t(0), size_t(1), size_t(200), stream.size() / 2, stream.size() - 1}) {
        const Bytes shorter(stream.begin(), stream.begin() + long(cut));
        EXPECT_FALSE(decode(shorter, uint32_t(model.size())).ok) << cut;
    }
}

}  // namespace

namespace {

TEST(RarStream, LiteralsAloneCarryOnPastTheWindowSize)
{
    // Single bytes fill the window exactly up to the flush margin: the flush must still happen.
    Bits b;
    putLzTables(b);
    Bytes model;
    const uint32_t n = rar20::kWindowSize + 5000;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t v = uint8_t((i * 13) ^ (i >> 9));
        literal(b, v);
        model.push_back(v);
    }
    longMatch(b, 10, 1, 40, 7);  // across the wrap: length 12 + 1 + 3 + 2, distance 524288 + 7 + 1
    copy(model, 18, 524296);
    const Decoded d = decode(b.finish(), uint32_t(model.size()));
    EXPECT_TRUE(d.ok);
    EXPECT_TRUE(d.bytes == model);
}

}  // namespace

namespace {

TEST(RarStream, TablesBehindAnEntrysEndServeTheNextSolidEntry)
{
    // Entry 1: two literals, then a table switch its decoder reads after the last byte.
    Bits first;
    putLzTables(first);
    literal(first, 'a');
    literal(first, 'b');
    first.put(269, 9);
    first.put(1, 2);  // delta: every length one longer, so literals take 10 bits
    putLengthCode(first);
    for (int i = 0; i < 374; ++i)
        first.put(1, 5);
    const Bytes one = first.finish();
    // Entry 2, solid: no tables of its own, a literal in the new 10-bit code and a match into entry 1.
    Bits second;
    literal(second, 'c', 10);
    second.put(270, 10);  // length 3
    second.put(2, 7);     // distance 3
    const Bytes two = second.finish();

    UnpackStatePtr state = createUnpackState();
    ASSERT_TRUE(state);
    uint8_t out1[2] = {};
    uint8_t out2[4] = {};
    uint32_t delivered = 0;
    ArchiveSpan span1{one.data(), uint32_t(one.size()), 0};
    ASSERT_TRUE(unpackEntry(*state, span1, uint32_t(one.size()), 2, false, out1, &delivered));
    EXPECT_EQ(unpackCounters(*state).lookAheadTables, 1u);
    ArchiveSpan span2{two.data(), uint32_t(two.size()), 0};
    ASSERT_TRUE(unpackEntry(*state, span2, uint32_t(two.size()), 4, true, out2, &delivered));
    EXPECT_EQ(Bytes(out1, out1 + 2), (Bytes{'a', 'b'}));
    EXPECT_EQ(Bytes(out2, out2 + 4), (Bytes{'c', 'a', 'b', 'c'}));

    // Not solid, the second entry starts over and reads its first bits as tables: it cannot decode.
    ArchiveSpan again{two.data(), uint32_t(two.size()), 0};
    EXPECT_FALSE(unpackEntry(*state, again, uint32_t(two.size()), 4, false, out2, &delivered));
}

TEST(RarStream, RepeatingThePreviousLengthFirstRepeatsZero)
{
    // A table that opens with "repeat the previous length" has nothing before it: those are zeros.
    Bits b;
    b.put(0, 2);
    putLengthCode(b);
    b.put(16, 5);
    b.put(3, 2);  // six entries
    for (int i = 6; i < 374; ++i)
        b.put(i < 298 ? 9 : 0, 5);
    // With symbols 0..5 absent, 6..297 share the 9-bit codes from 0 upwards.
    b.put(uint32_t('x' - 6), 9);
    const Decoded d = decode(b.finish(), 1);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.bytes, (Bytes{'x'}));
}

}  // namespace
