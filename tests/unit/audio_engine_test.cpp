#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>
#include <type_traits>

#include "audio/engine/audio_engine.h"
#include "audio/engine/gain_ramp.h"
#include "audio/engine/sample_converter.h"
#include "audio/engine/vorbis_stream.h"
#include "ogg_samples.h"
#include "test_support.h"

namespace {

// ---- The decoder ------------------------------------------------------------------------------

std::vector<int16_t> renderAll(VorbisStream& stream, size_t maxFrames, int chunk, bool looping)
{
    std::vector<int16_t> out;
    std::vector<int16_t> buffer(static_cast<size_t>(chunk) * 2);
    while (out.size() / 2 < maxFrames) {
        const int got = stream.render(buffer.data(), chunk, looping);
        out.insert(out.end(), buffer.begin(), buffer.begin() + got * 2);
        if (got < chunk)
            break;
    }
    out.resize(std::min(out.size(), maxFrames * 2));
    return out;
}

TEST(VorbisStream, GivesExactlyWhatLibvorbisfileDecodesThenEnds)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 1.3), 2, 44100);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    ASSERT_GT(reference.size(), 100000u);

    VorbisStream stream;
    uint32_t error = 99;
    ASSERT_TRUE(stream.open(ogg.data(), ogg.size(), 44100, error));
    EXPECT_EQ(error, kAudioOk);
    // An odd request size crosses every packet boundary at a different place.
    const std::vector<int16_t> out = renderAll(stream, reference.size(), 733, false);
    EXPECT_TRUE(stream.ended());
    ASSERT_EQ(out.size(), reference.size());
    EXPECT_TRUE(out == reference);

    // Once ended it stays silent; a rewind plays it again from the first sample.
    int16_t more[64];
    EXPECT_EQ(stream.render(more, 32, false), 0);
    ASSERT_TRUE(stream.rewind());
    const std::vector<int16_t> again = renderAll(stream, 4096, 1024, false);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), reference.begin()));
}

TEST(VorbisStream, LoopsWithoutGapOrRepeatAtTheSeam)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 0.6), 2, 44100);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    const size_t frames = reference.size() / 2;

    VorbisStream stream;
    uint32_t error = 0;
    ASSERT_TRUE(stream.open(ogg.data(), ogg.size(), 44100, error));
    const std::vector<int16_t> out = renderAll(stream, frames * 3 + 500, 1000, true);
    ASSERT_EQ(out.size(), (frames * 3 + 500) * 2);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], reference[i % reference.size()]) << "sample " << i << " of pass " << i / reference.size();
    EXPECT_FALSE(stream.ended());
}

TEST(VorbisStream, ConvertedMusicLoopsAsIfTheTrackWereRepeatedEndToEnd)
{
    // Whole periods, so the track's end runs smoothly into its start: any step at the seam is
    // the player's.
    constexpr int kRate = 22050;
    std::vector<float> tone(kRate / 2);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 500.0 * static_cast<double>(i) / kRate));
    const std::vector<uint8_t> ogg = encodeOgg(tone, 1, kRate);
    const std::vector<int16_t> pass = decodeOgg(ogg);
    std::vector<int16_t> threePasses;
    for (int i = 0; i < 3; ++i)
        threePasses.insert(threePasses.end(), pass.begin(), pass.end());
    SampleConverter converter;
    ASSERT_TRUE(converter.setup(1, kRate, 44100));
    std::vector<int16_t> straight(threePasses.size() * 4 + 16);  // twice the frames, two sides
    converter.put(threePasses.data(), static_cast<int>(threePasses.size()));
    straight.resize(static_cast<size_t>(converter.get(straight.data(), static_cast<int>(straight.size() / 2))) * 2);
    ASSERT_GT(straight.size(), pass.size() * 4 * 2);  // past the second seam

    VorbisStream stream;
    uint32_t error = 0;
    ASSERT_TRUE(stream.open(ogg.data(), ogg.size(), 44100, error));
    const std::vector<int16_t> looped = renderAll(stream, straight.size() / 2, 1000, true);
    ASSERT_EQ(looped.size(), straight.size());
    for (size_t i = 0; i < looped.size(); ++i)
        ASSERT_NEAR(looped[i], straight[i], 1) << "frame " << i / 2 << ", the seam is at frame " << pass.size() * 2;
}

TEST(VorbisStream, RefusesWhatIsNotVorbisAndSurvivesDamage)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 3.0), 2, 44100);
    uint32_t error = 0;
    VorbisStream stream;

    std::vector<uint8_t> noise(20000);
    std::mt19937 random(7);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random());
    EXPECT_FALSE(stream.open(noise.data(), noise.size(), 44100, error));
    EXPECT_EQ(error, kAudioErrorFormat);
    EXPECT_FALSE(stream.open(ogg.data(), 200, 44100, error));  // cut inside the headers
    EXPECT_EQ(error, kAudioErrorFormat);
    EXPECT_FALSE(stream.open(ogg.data(), 0, 44100, error));
    int16_t out[64];
    EXPECT_EQ(stream.render(out, 32, true), 0);  // a failed open plays nothing

    // A few bytes broken in one audio page: that page is lost (its checksum fails), the rest plays.
    const std::vector<int16_t> reference = decodeOgg(ogg);
    std::vector<uint8_t> damaged = ogg;
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 40; ++i)
        damaged[i] ^= 0x5A;
    ASSERT_TRUE(stream.open(damaged.data(), damaged.size(), 44100, error));
    const std::vector<int16_t> played = renderAll(stream, reference.size(), 1024, false);
    EXPECT_TRUE(stream.ended());
    EXPECT_GT(played.size(), reference.size() / 2);
    EXPECT_LT(played.size(), reference.size());
    EXPECT_TRUE(played == decodeOgg(damaged));

    // Half the audio overwritten with noise: whatever the decoder makes of it, a looping stream
    // must neither hang the audio thread nor hand out more than was asked for.
    damaged = ogg;
    for (size_t i = damaged.size() / 2; i < damaged.size() * 3 / 4; ++i)
        damaged[i] = static_cast<uint8_t>(random());
    if (stream.open(damaged.data(), damaged.size(), 44100, error)) {
        const auto begin = std::chrono::steady_clock::now();
        const std::vector<int16_t> looped = renderAll(stream, 44100 * 3, 1024, true);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
        EXPECT_LE(looped.size(), 44100u * 3 * 2);
    }
}

TEST(VorbisStream, ConvertsMonoAndOtherRatesToStereoAtTheOutputRate)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(1, 22050, 1.0), 1, 22050);
    const size_t sourceFrames = decodeOgg(ogg).size();
    VorbisStream stream;
    uint32_t error = 0;
    ASSERT_TRUE(stream.open(ogg.data(), ogg.size(), 44100, error));
    EXPECT_EQ(stream.channels(), 1);
    EXPECT_EQ(stream.rate(), 22050);
    const std::vector<int16_t> out = renderAll(stream, 1000000, 1024, false);
    EXPECT_TRUE(stream.ended());
    const double frames = static_cast<double>(out.size() / 2);
    EXPECT_NEAR(frames, 2.0 * static_cast<double>(sourceFrames), 0.01 * frames);
    double energy = 0;
    for (size_t i = 0; i + 1 < out.size(); i += 2) {
        ASSERT_EQ(out[i], out[i + 1]) << "frame " << i / 2;
        energy += std::abs(out[i]);
    }
    EXPECT_GT(energy / frames, 1000.0);  // real sound came through, not silence
}

// ---- The converter ----------------------------------------------------------------------------

std::vector<int16_t> convert(SampleConverter& converter, const std::vector<int16_t>& in, int channels, int putChunk,
                             int getChunk)
{
    std::vector<int16_t> out, part(static_cast<size_t>(getChunk) * 2);
    const int frames = static_cast<int>(in.size()) / channels;
    for (int at = 0; at < frames; at += putChunk) {
        converter.put(in.data() + static_cast<size_t>(at) * channels, std::min(putChunk, frames - at));
        for (int got; (got = converter.get(part.data(), getChunk)) > 0;)
            out.insert(out.end(), part.begin(), part.begin() + got * 2);
    }
    converter.flush();
    for (int got; (got = converter.get(part.data(), getChunk)) > 0;)
        out.insert(out.end(), part.begin(), part.begin() + got * 2);
    return out;
}

TEST(SampleConverter, ChangesTheRateSmoothlyWhateverTheChunksAre)
{
    // One second of a 1 kHz tone at 48 kHz, to 44.1 kHz.
    auto toneAt = [](size_t frame, double rate) {
        return 12000.0 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(frame) / rate);
    };
    std::vector<int16_t> tone(48000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lrint(toneAt(i, 48000.0)));
    SampleConverter converter;
    ASSERT_TRUE(converter.setup(1, 48000, 44100));
    const std::vector<int16_t> whole = convert(converter, tone, 1, 48000, 100000);
    ASSERT_EQ(whole.size() / 2, 44100u);
    for (size_t f = 0; f < whole.size() / 2; ++f) {
        ASSERT_NEAR(whole[f * 2], toneAt(f, 44100.0), 60.0) << "frame " << f;
        ASSERT_EQ(whole[f * 2], whole[f * 2 + 1]) << "frame " << f;
    }
    // Fed and drained in odd pieces, the result is the same to the last sample.
    ASSERT_TRUE(converter.setup(1, 48000, 44100));
    EXPECT_TRUE(convert(converter, tone, 1, 333, 71) == whole);
    // Cleared halfway, it starts afresh.
    converter.put(tone.data(), 1000);
    converter.clear();
    EXPECT_TRUE(convert(converter, tone, 1, 4096, 4096) == whole);
}

TEST(SampleConverter, FoldsSurroundChannelsIntoStereo)
{
    SampleConverter converter;
    EXPECT_FALSE(converter.setup(0, 44100, 44100));
    EXPECT_FALSE(converter.setup(9, 44100, 44100));
    // Vorbis order: front left, centre, front right, rear left, rear right, LFE.
    ASSERT_TRUE(converter.setup(6, 44100, 44100));
    auto fold = [&](const std::vector<int16_t>& channels) {
        converter.clear();
        std::vector<int16_t> in;
        for (int i = 0; i < 4; ++i)
            in.insert(in.end(), channels.begin(), channels.end());
        const std::vector<int16_t> out = convert(converter, in, 6, 4, 4);
        return std::pair<int, int>(out.at(2), out.at(3));
    };
    const auto [frontLeft, frontLeftOnRight] = fold({10000, 0, 0, 0, 0, 0});
    EXPECT_GT(frontLeft, 3000);
    EXPECT_EQ(frontLeftOnRight, 0);
    EXPECT_EQ(fold({0, 0, 0, 0, 10000, 0}), std::make_pair(0, frontLeft));
    const auto [centreLeft, centreRight] = fold({0, 10000, 0, 0, 0, 0});
    EXPECT_EQ(centreLeft, centreRight);
    EXPECT_GT(centreLeft, 2000);
    EXPECT_EQ(fold({0, 0, 0, 0, 0, 30000}), std::make_pair(0, 0));  // the LFE is left out
    // Every channel at once comes out as loud as one, not clipped.
    const auto [allLeft, allRight] = fold({16000, 16000, 16000, 16000, 16000, 16000});
    EXPECT_NEAR(allLeft, 16000, 1);
    EXPECT_NEAR(allRight, 16000, 1);
}

// ---- The gain ---------------------------------------------------------------------------------

TEST(GainRamp, FullVolumePassesSamplesAndHalfVolumeHalvesThem)
{
    const std::vector<int32_t> mixed = {1000, -1000, 32767, -32768, 40000, -40000, 7, -7};
    std::vector<int16_t> out(mixed.size());
    GainRamp ramp(44100);
    ramp.apply(mixed.data(), out.data(), 4);
    EXPECT_EQ(out, (std::vector<int16_t>{1000, -1000, 32767, -32768, 32767, -32768, 7, -7}));

    ramp.setVolume(50);
    ramp.jumpToTarget();
    ramp.apply(mixed.data(), out.data(), 4);
    EXPECT_EQ(out, (std::vector<int16_t>{500, -500, 16384, -16384, 20000, -20000, 4, -4}));

    ramp.setVolume(0);
    ramp.jumpToTarget();
    ramp.apply(mixed.data(), out.data(), 4);
    EXPECT_EQ(out, std::vector<int16_t>(8, 0));

    ramp.setVolume(250);  // clamped to full
    ramp.jumpToTarget();
    EXPECT_EQ(ramp.gain(), 1.0f);
    ramp.setVolume(-3);
    ramp.jumpToTarget();
    EXPECT_EQ(ramp.gain(), 0.0f);
}

TEST(GainRamp, AVolumeChangeGlidesInsteadOfJumping)
{
    GainRamp ramp(44100);
    const int frames = 2000;
    const std::vector<int32_t> mixed(frames * 2, 20000);
    std::vector<int16_t> out(mixed.size());
    ramp.setVolume(0);
    ramp.apply(mixed.data(), out.data(), frames);
    // Falls steadily, by no more than a 20 ms full swing allows per frame, and arrives.
    const int maxStep = 20000 / 882 + 2;
    for (int i = 1; i < frames; ++i) {
        ASSERT_LE(out[i * 2], out[(i - 1) * 2]) << i;
        ASSERT_LE(out[(i - 1) * 2] - out[i * 2], maxStep) << i;
    }
    EXPECT_GT(out[200 * 2], 10000);
    EXPECT_EQ(out[900 * 2], 0);
    EXPECT_EQ(ramp.gain(), 0.0f);

    ramp.setVolume(100);
    ramp.apply(mixed.data(), out.data(), frames);
    EXPECT_LT(out[0], 100);
    EXPECT_EQ(out[(frames - 1) * 2], 20000);
}

// ---- The library through its entry points, writing to SDL's disk driver -----------------------

struct EngineLibrary : AudioEntryPoints {
    EngineLibrary()
    {
        handle = dlopen(VESICLAR_AUDIO_ENGINE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle)
            resolveAudioEntryPoints(*this, [this](const char* name, auto& slot) {
                slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
            });
    }
    ~EngineLibrary()
    {
        if (handle)
            dlclose(handle);
    }

    void* handle = nullptr;
};

// Output goes to a file, as fast as the machine can make it.
void useDiskOutput(const std::string& file)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
}

size_t fileSize(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

bool waitForBytes(const std::string& path, size_t bytes)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fileSize(path) < bytes) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<int16_t> readSamples(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Where the music starts in a recording that begins with the silence before it was played.
size_t musicStart(const std::vector<int16_t>& recording, const std::vector<int16_t>& reference)
{
    size_t firstRef = 0;
    while (firstRef < reference.size() && reference[firstRef] == 0)
        ++firstRef;
    size_t first = 0;
    while (first < recording.size() && recording[first] == 0)
        ++first;
    return first >= firstRef ? first - firstRef : recording.size();
}

// Plays `ogg` at `volume` until `frames` frames have been written; returns the recording.
std::vector<int16_t> record(EngineLibrary& engine, const std::string& file, const std::vector<uint8_t>& ogg,
                            uint32_t volume, uint32_t playFlags, size_t frames)
{
    useDiskOutput(file);
    std::vector<int16_t> none;
    if (!engine.init(1, 44100, 0, nullptr, nullptr))
        return none;
    engine.setVolume(volume);
    const uint32_t stream = engine.streamCreateFile(1, ogg.data(), 0, static_cast<uint32_t>(ogg.size()), 0);
    const bool playing = stream != 0 && engine.streamPlay(stream, 0, playFlags) != 0;
    // The silence before play can be long on a busy machine: the music starts at most a few
    // buffers beyond what is on disk once play has returned.
    const size_t silence = fileSize(file) + 65536;
    const bool written = playing && waitForBytes(file, silence + frames * 4);
    engine.stop();
    engine.free();
    if (!written)
        return none;
    return readSamples(file);
}

class AudioEngine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.complete()) << dlerror(); }
    void TearDown() override { engine.free(); }

    EngineLibrary engine;
    ScratchFolder folder;
};

TEST_F(AudioEngine, ReportsEachFailureWithItsCode)
{
    useDiskOutput(folder.file("out.raw"));
    const uint8_t bytes[16] = {};
    EXPECT_EQ(engine.streamCreateFile(1, bytes, 0, sizeof bytes, 0), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorNotInit);
    EXPECT_EQ(engine.streamPlay(1, 0, 4), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorNotInit);
    EXPECT_EQ(engine.free(), 0u);
    EXPECT_EQ(engine.init(5, 44100, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorDevice);
    EXPECT_EQ(engine.init(1, 1000000, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorParameter);

    ASSERT_NE(engine.init(1, 44100, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioOk);
    EXPECT_EQ(engine.init(1, 44100, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorAlreadyInit);
    EXPECT_EQ(engine.streamCreateFile(1, bytes, 0, sizeof bytes, 0), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorFormat);
    EXPECT_EQ(engine.streamCreateFile(1, nullptr, 0, 100, 0), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorParameter);
    EXPECT_EQ(engine.streamCreateFile(0, "music.ogg", 0, 0, 0), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorParameter);
    EXPECT_EQ(engine.streamPlay(4242, 0, 4), 0u);
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorHandle);

    // Streams live until the library is freed; there are only so many.
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 0.2), 2, 44100);
    std::vector<uint32_t> handles;
    for (;;) {
        const uint32_t handle = engine.streamCreateFile(1, ogg.data(), 0, static_cast<uint32_t>(ogg.size()), 0);
        if (!handle)
            break;
        handles.push_back(handle);
        ASSERT_LT(handles.size(), 100u);
    }
    EXPECT_EQ(engine.errorGetCode(), kAudioErrorNoFreeStream);
    EXPECT_GE(handles.size(), 2u);
    EXPECT_NE(handles[0], handles[1]);
    EXPECT_NE(engine.free(), 0u);
    EXPECT_EQ(engine.streamPlay(handles[0], 0, 4), 0u);  // gone with the library's state
}

TEST_F(AudioEngine, VolumeIsClampedAndReadBack)
{
    EXPECT_EQ(engine.getVolume(), 100u);  // a fresh library plays at full volume
    engine.setVolume(37);
    EXPECT_EQ(engine.getVolume(), 37u);
    engine.setVolume(1000);
    EXPECT_EQ(engine.getVolume(), 100u);
    engine.setVolume(static_cast<uint32_t>(-4));
    EXPECT_EQ(engine.getVolume(), 0u);
    engine.setVolume(100);
}

TEST_F(AudioEngine, WritesTheDecodedMusicAndLoopsPastItsEnd)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 0.7), 2, 44100);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    const size_t trackFrames = reference.size() / 2;
    const std::string file = folder.file("loop.raw");
    const std::vector<int16_t> recording = record(engine, file, ogg, 100, kAudioStreamLoop, trackFrames * 4);
    ASSERT_FALSE(recording.empty());
    const size_t start = musicStart(recording, reference);
    ASSERT_EQ(start % 2, 0u);
    ASSERT_GE(recording.size(), start + reference.size() * 2 + 1000);
    // Past the seam twice; the recording is cut wherever output was stopped.
    const size_t checked = std::min(recording.size() - start, reference.size() * 3);
    for (size_t i = 0; i < checked; ++i)
        ASSERT_EQ(recording[start + i], reference[i % reference.size()]) << "sample " << i;
}

TEST_F(AudioEngine, StoppingFadesOutInsteadOfCuttingTheWave)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 0.5), 2, 44100);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    const std::vector<int16_t> recording =
        record(engine, folder.file("fade.raw"), ogg, 100, kAudioStreamLoop, reference.size() / 2 * 2);
    ASSERT_FALSE(recording.empty());
    size_t last = recording.size();
    while (last > 0 && recording[last - 1] == 0)
        --last;
    ASSERT_GT(last, 44100u);
    // The chord never drops near zero for long, so only a fade makes the last frames quiet.
    int peak = 0, tail = 0;
    for (size_t i = last - 40000; i < last; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(recording[i])));
    for (size_t i = last - 200; i < last; ++i)
        tail = std::max(tail, std::abs(static_cast<int>(recording[i])));
    EXPECT_GT(peak, 10000);
    EXPECT_LT(tail, peak / 5) << "output was halted at full level";
}

TEST_F(AudioEngine, AStreamWithoutLoopPlaysOnceThenSilence)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 0.4), 2, 44100);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    const std::string file = folder.file("once.raw");
    const std::vector<int16_t> recording = record(engine, file, ogg, 100, 0, reference.size() / 2 * 3);
    ASSERT_FALSE(recording.empty());
    const size_t start = musicStart(recording, reference);
    ASSERT_LE(start + reference.size(), recording.size());
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), recording.begin() + start));
    EXPECT_TRUE(std::all_of(recording.begin() + start + reference.size(), recording.end(),
                            [](int16_t s) { return s == 0; }));
}

TEST_F(AudioEngine, VolumeZeroIsSilentAndHalfVolumeHalves)
{
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 0.5), 2, 44100);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    const size_t frames = reference.size() / 2 * 2;

    const std::vector<int16_t> silent = record(engine, folder.file("zero.raw"), ogg, 0, kAudioStreamLoop, frames);
    ASSERT_GE(silent.size(), frames * 2);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t s) { return s == 0; }));

    const std::vector<int16_t> half = record(engine, folder.file("half.raw"), ogg, 50, kAudioStreamLoop, frames);
    ASSERT_FALSE(half.empty());
    size_t first = 0;
    while (first < half.size() && half[first] == 0)
        ++first;
    size_t firstRef = 0;
    while (firstRef < reference.size() && std::abs(reference[firstRef]) < 2)
        ++firstRef;
    ASSERT_GE(first, firstRef);
    const size_t start = first - firstRef;
    ASSERT_LE(start + reference.size(), half.size());
    int peak = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        ASSERT_NEAR(half[start + i], reference[i] / 2.0, 1.0) << "sample " << i;
        peak = std::max(peak, std::abs(static_cast<int>(half[start + i])));
    }
    EXPECT_GT(peak, 5000);
}

// A device that stops taking samples (a sound server that no longer answers, a sink whose clock
// stopped) must not hold up the end of the run: stop and free come before the screen is given back.
TEST_F(AudioEngine, StopAndFreeReturnWhenTheDeviceNoLongerTakesSamples)
{
    const std::string fifo = folder.file("stalled.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Open but never read: once the pipe is full, the device's thread waits in its write for good.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::vector<uint8_t> ogg = encodeOgg(testChord(2, 44100, 0.5), 2, 44100);
    // In a child process, so that a free that never returns cannot hang the test itself.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        useDiskOutput(fifo);
        bool played = engine.init(1, 44100, 0, nullptr, nullptr) != 0;
        const uint32_t size = static_cast<uint32_t>(ogg.size());
        const uint32_t stream = played ? engine.streamCreateFile(1, ogg.data(), 0, size, 0) : 0;
        played = stream != 0 && engine.streamPlay(stream, 0, kAudioStreamLoop) != 0;
        std::this_thread::sleep_for(std::chrono::seconds(2));
        engine.stop();
        engine.free();
        _exit(played ? 0 : 2);
    }
    int status = 0;
    pid_t ended = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    close(reader);
    ASSERT_EQ(ended, child) << "stop and free were still waiting for the device 13 s after it stalled";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// Reads from a pipe's non-blocking end until `bytes` have come or `seconds` have passed.
std::vector<int16_t> readPipe(int reader, size_t bytes, int seconds)
{
    std::vector<char> got;
    char chunk[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (got.size() < bytes && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = read(reader, chunk, std::min(sizeof chunk, bytes - got.size()));
        if (n > 0)
            got.insert(got.end(), chunk, chunk + n);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::vector<int16_t> samples(got.size() / 2);
    std::memcpy(samples.data(), got.data(), samples.size() * 2);
    return samples;
}

// A device that goes away during a run (the sound server restarted, a headset unplugged) is
// replaced once the default output opens again, and the music goes on from where it was. The
// disk driver writes into a pipe: with nobody reading, its write fails and SDL drops the device.
TEST_F(AudioEngine, MusicGoesOnWhereItWasOnceALostDeviceOpensAgain)
{
    // A rising tone: no two stretches of it are alike, so where the music is can be found.
    constexpr int kRate = 44100;
    std::vector<float> sweep(kRate * 3 * 2);
    for (size_t i = 0; i < sweep.size() / 2; ++i) {
        const double t = static_cast<double>(i) / kRate;
        sweep[i * 2] = static_cast<float>(0.4 * std::sin(2 * M_PI * (200.0 * t + 100.0 * t * t)));
        sweep[i * 2 + 1] = static_cast<float>(0.4 * std::cos(2 * M_PI * (300.0 * t + 60.0 * t * t)));
    }
    const std::vector<uint8_t> ogg = encodeOgg(sweep, 2, kRate);
    const std::vector<int16_t> reference = decodeOgg(ogg);
    ASSERT_GT(reference.size(), size_t{kRate} * 5);

    const std::string fifo = folder.file("device.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    struct sigaction ignore{}, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);  // a write nobody reads fails instead of ending the test

    useDiskOutput(fifo);
    ASSERT_NE(engine.init(1, kRate, 0, nullptr, nullptr), 0u);
    const uint32_t stream = engine.streamCreateFile(1, ogg.data(), 0, static_cast<uint32_t>(ogg.size()), 0);
    ASSERT_NE(engine.streamPlay(stream, 0, kAudioStreamLoop), 0u);
    const std::vector<int16_t> before = readPipe(reader, 65536 + kRate * 4, 30);
    close(reader);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the device is lost meanwhile
    reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::vector<int16_t> after = readPipe(reader, kRate * 4 * 2, 20);
    // Read on while the library closes, so that it meets a device that plays and not one that stalled.
    std::atomic<bool> closed{false};
    std::thread drain([&] {
        char sink[65536];
        while (!closed.load())
            if (read(reader, sink, sizeof sink) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    engine.stop();
    engine.free();
    closed.store(true);
    drain.join();
    close(reader);
    sigaction(SIGPIPE, &previous, nullptr);

    ASSERT_EQ(before.size(), size_t{65536 + kRate * 4} / 2);
    const size_t start = musicStart(before, reference);
    ASSERT_LT(start, before.size());
    for (size_t i = start; i < before.size(); ++i)
        ASSERT_EQ(before[i], reference[(i - start) % reference.size()]) << "sample " << i;
    ASSERT_EQ(after.size(), size_t{kRate * 4 * 2} / 2) << "the music did not come back once the device could be opened again";

    // Where the second half of what came after is in the track: right behind what came before,
    // but for the one block the lost device was given (1024 frames) and what it took with it.
    const size_t window = 4096, from = after.size() / 2;
    size_t found = reference.size();
    for (size_t at = 0; at < reference.size() && found == reference.size(); at += 2) {
        size_t i = 0;
        while (i < window && after[from + i] == reference[(at + i) % reference.size()])
            ++i;
        if (i == window)
            found = at;
    }
    ASSERT_LT(found, reference.size()) << "what came after the loss is not the music";
    for (size_t i = from; i < after.size(); ++i)
        ASSERT_EQ(after[i], reference[(found + i - from) % reference.size()]) << "sample " << i;
    const size_t expected = (before.size() - start + from) % reference.size();
    const size_t skipped = (found + reference.size() - expected) % reference.size();
    EXPECT_LE(skipped, size_t{2 * 2048}) << "the music went on " << skipped / 2 << " frames ahead of where it was";
}

}  // namespace
