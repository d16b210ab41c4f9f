#include "music.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <vorbis/vorbisenc.h>

namespace assetgen {

namespace {

double midiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// A band-limited soft saw: harmonics falling off a little faster than 1/k, fixed phases.
struct Wavetable {
    static constexpr int kSize = 4096;
    std::array<float, kSize + 1> table{};
    explicit Wavetable(int harmonics, double tilt, uint64_t seed)
    {
        Rng rng(seed);
        std::vector<double> phase(harmonics + 1);
        for (double& p : phase) p = rng.unit() * 2 * kPi;
        double peak = 0;
        std::vector<double> v(kSize);
        for (int i = 0; i < kSize; ++i) {
            double x = 2 * kPi * i / kSize, s = 0;
            for (int k = 1; k <= harmonics; ++k) s += std::sin(k * x + phase[k]) / std::pow(k, tilt);
            v[i] = s;
            peak = std::max(peak, std::fabs(s));
        }
        for (int i = 0; i < kSize; ++i) table[i] = static_cast<float>(v[i] / peak);
        table[kSize] = table[0];
    }
    float at(double phase) const  // phase in cycles, 0..1
    {
        double p = phase * kSize;
        int i = static_cast<int>(p);
        float f = static_cast<float>(p - i);
        return table[i] + (table[i + 1] - table[i]) * f;
    }
};

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t n) : left(n, 0.0f), right(n, 0.0f) {}
};

// Freeverb-style reverb: eight damped combs and four allpasses per channel, the right channel's
// delays a little longer for width.
class Reverb {
public:
    Reverb(double room, double damp)
    {
        const int combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        const int allpasses[4] = {556, 441, 341, 225};
        for (int ch = 0; ch < 2; ++ch) {
            for (int i = 0; i < 8; ++i) comb_[ch][i].buffer.assign(static_cast<size_t>((combs[i] + ch * 23) * 1.25), 0.0f);
            for (int i = 0; i < 4; ++i) all_[ch][i].buffer.assign(static_cast<size_t>(allpasses[i] + ch * 23), 0.0f);
        }
        feedback_ = static_cast<float>(room);
        damp_ = static_cast<float>(damp);
    }
    void process(float inL, float inR, float& outL, float& outR)
    {
        float in = (inL + inR) * 0.015f;
        for (int ch = 0; ch < 2; ++ch) {
            float acc = 0;
            for (Comb& c : comb_[ch]) {
                float y = c.buffer[c.pos];
                c.store = y * (1 - damp_) + c.store * damp_;
                c.buffer[c.pos] = in + c.store * feedback_;
                if (++c.pos == c.buffer.size()) c.pos = 0;
                acc += y;
            }
            for (Allpass& a : all_[ch]) {
                float b = a.buffer[a.pos];
                a.buffer[a.pos] = acc + b * 0.5f;
                acc = b - acc;
                if (++a.pos == a.buffer.size()) a.pos = 0;
            }
            (ch == 0 ? outL : outR) = acc;
        }
    }

private:
    struct Comb { std::vector<float> buffer; size_t pos = 0; float store = 0; };
    struct Allpass { std::vector<float> buffer; size_t pos = 0; };
    std::array<std::array<Comb, 8>, 2> comb_;
    std::array<std::array<Allpass, 4>, 2> all_;
    float feedback_, damp_;
};

// Adds a mono source into the buffer at a sample offset, wrapping round the loop so a note that
// rings past the end carries on at the start.
inline void addWrapped(Stereo& out, size_t index, float l, float r)
{
    size_t n = out.left.size();
    index %= n;
    out.left[index] += l;
    out.right[index] += r;
}

void renderPadNote(Stereo& out, const Wavetable& wave, double note, double start, double hold, double attack,
                   double release, float level, Rng& rng)
{
    const double rate = kMusicRate;
    const size_t n = out.left.size();
    const int voices = 3;
    // A louder centre voice keeps the chorus beating shallow; low notes detune less.
    const double spread = note < 55 ? 0.045 : 0.07;
    double detune[voices] = {-spread, 0.0, spread * 1.07};
    const double gain[voices] = {0.42, 1.0, 0.42};
    double phase[voices], pan[voices], step[voices];
    const double freq = midiToHz(note);
    for (int v = 0; v < voices; ++v) {
        step[v] = freq * std::pow(2.0, detune[v] / 12.0) / kMusicRate;
        phase[v] = rng.unit();
        pan[v] = 0.5 + 0.38 * (v - 1) + rng.range(-0.1, 0.1);
    }
    const double total = attack + hold + release;
    const size_t first = static_cast<size_t>(start * rate);
    const size_t count = static_cast<size_t>(total * rate);
    double lp1 = 0, lp2 = 0, lp1r = 0, lp2r = 0;
    double coefficient = 0, env = 0, envStep = 0;
    auto envelopeAt = [&](double t) {
        if (t < attack) return 0.5 - 0.5 * std::cos(kPi * t / attack);
        if (t < attack + hold) return 1.0;
        if (t < total) return 0.5 + 0.5 * std::cos(kPi * (t - attack - hold) / release);
        return 0.0;
    };
    const double lfoRate = rng.range(0.05, 0.11), lfoPhase = rng.unit() * 2 * kPi;
    for (size_t i = 0; i < count; ++i) {
        if ((i & 63) == 0) {
            // Envelope and filter move slowly: update them every 64 samples, ramping the gain.
            double t = i / rate, tn = (i + 64) / rate;
            env = envelopeAt(t);
            envStep = (envelopeAt(tn) - env) / 64.0;
            // The filter opens as the note swells and breathes slowly while it holds.
            double bright = 0.35 + 0.65 * env;
            double cutoff = freq * (1.6 + 2.6 * bright * (0.75 + 0.25 * std::sin(2 * kPi * lfoRate * t + lfoPhase)));
            (void)tn;
            cutoff = std::min(cutoff, 6000.0);
            coefficient = 1 - std::exp(-2 * kPi * cutoff / rate);
        } else {
            env += envStep;
        }
        double l = 0, r = 0;
        for (int v = 0; v < voices; ++v) {
            phase[v] += step[v];
            if (phase[v] >= 1.0) phase[v] -= 1.0;
            double s = wave.at(phase[v]) * gain[v];
            l += s * (1 - pan[v]);
            r += s * pan[v];
        }
        lp1 += coefficient * (l - lp1);
        lp2 += coefficient * (lp1 - lp2);
        lp1r += coefficient * (r - lp1r);
        lp2r += coefficient * (lp1r - lp2r);
        float g = static_cast<float>(env * level);
        addWrapped(out, first + i, static_cast<float>(lp2) * g, static_cast<float>(lp2r) * g);
    }
    (void)n;
}

void renderBell(Stereo& out, double note, double start, float level, double pan, Rng& rng)
{
    const double rate = kMusicRate;
    // Inharmonic partials of a small struck bar, higher ones dying sooner.
    const double ratios[5] = {1.0, 2.01, 2.76, 4.07, 5.43};
    const double gains[5] = {1.0, 0.32, 0.42, 0.16, 0.09};
    const double decays[5] = {3.2, 2.2, 1.6, 0.9, 0.6};
    const double freq = midiToHz(note);
    const size_t first = static_cast<size_t>(start * rate);
    const size_t count = static_cast<size_t>(7.0 * rate);
    double re[5], im[5], cr[5], ci[5], amp[5], fall[5];
    for (int k = 0; k < 5; ++k) {
        double w = 2 * kPi * freq * ratios[k] * (1 + rng.range(-0.002, 0.002)) / rate;
        re[k] = 0;
        im[k] = 1;
        cr[k] = std::cos(w);
        ci[k] = std::sin(w);
        amp[k] = gains[k];
        fall[k] = std::exp(-1.0 / (decays[k] * rate));
    }
    for (size_t i = 0; i < count; ++i) {
        double attack = std::min(1.0, i / (0.004 * rate));
        double s = 0;
        for (int k = 0; k < 5; ++k) {
            double nr = re[k] * cr[k] - im[k] * ci[k];
            double ni = re[k] * ci[k] + im[k] * cr[k];
            re[k] = nr;
            im[k] = ni;
            s += re[k] * amp[k];
            amp[k] *= fall[k];
        }
        float v = static_cast<float>(s * attack * level);
        addWrapped(out, first + i, v * static_cast<float>(1 - pan), v * static_cast<float>(pan));
    }
}

// A slow swell of filtered noise, like breath or distant flow, panned across as it rises.
void renderBreath(Stereo& out, double start, double length, double centre, float level, Rng& rng)
{
    const double rate = kMusicRate;
    const size_t first = static_cast<size_t>(start * rate), count = static_cast<size_t>(length * rate);
    double low1 = 0, low2 = 0, high = 0, lowR1 = 0, lowR2 = 0, highR = 0;
    const double a = 1 - std::exp(-2 * kPi * centre * 1.6 / rate), b = 1 - std::exp(-2 * kPi * centre * 0.6 / rate);
    const double panFrom = rng.range(0.2, 0.8), panTo = 1 - panFrom;
    uint32_t noise = rng.next() | 1;
    auto white = [&]() {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return (noise / 4294967296.0) * 2 - 1;
    };
    for (size_t i = 0; i < count; ++i) {
        double t = static_cast<double>(i) / count;
        double env = std::pow(std::sin(kPi * t), 2.0);
        double l = white(), r = white();
        low1 += a * (l - low1);
        low2 += a * (low1 - low2);
        high += b * (low2 - high);
        lowR1 += a * (r - lowR1);
        lowR2 += a * (lowR1 - lowR2);
        highR += b * (lowR2 - highR);
        double pan = panFrom + (panTo - panFrom) * t;
        float g = static_cast<float>(env * level);
        addWrapped(out, first + i, static_cast<float>((low2 - high) * (1 - pan)) * g,
                   static_cast<float>((lowR2 - highR) * pan) * g);
    }
}

}  // namespace

MusicLoop synthesiseMusic(double seconds)
{
    const size_t frames = static_cast<size_t>(seconds * kMusicRate);
    const double loop = static_cast<double>(frames) / kMusicRate;
    Stereo dry(frames);
    Rng rng(0x50D5ull);
    Wavetable pad(18, 1.35, 1), warm(8, 1.8, 2);

    // Six slow chords in D: Dmaj9, Bm11, Gmaj7#11, A6sus2, Em9, F#m7; each crossfades into the
    // next, and the last leads back to the first.
    const std::vector<std::vector<int>> chords = {{50, 57, 61, 64, 66}, {47, 54, 57, 62, 64}, {43, 50, 54, 59, 61},
                                                  {45, 52, 57, 59, 64}, {52, 59, 62, 66, 67}, {54, 57, 61, 64, 69}};
    const double chordLength = loop / chords.size();
    for (size_t c = 0; c < chords.size(); ++c) {
        double start = c * chordLength - 3.0;
        if (start < 0) start += loop;
        for (size_t k = 0; k < chords[c].size(); ++k) {
            double stagger = k * 0.9 + rng.range(0, 0.6);
            float level = 0.055f * (k == 0 ? 1.2f : 1.0f);
            renderPadNote(dry, k < 2 ? warm : pad, chords[c][k], start + stagger, chordLength - 6.0 - stagger, 7.0, 9.0,
                          level, rng);
        }
        // A high, thin voice an octave over the top note, entering late in the chord.
        renderPadNote(dry, warm, chords[c].back() + 12, start + chordLength * 0.4, chordLength * 0.25, 5.0, 7.0, 0.022f,
                      rng);
    }

    // The drone: D1, D2 and a faint A2, each a whole number of cycles per loop, swelling three
    // times round; rotating phasors instead of a sine per sample.
    {
        struct Phasor {
            double re = 0, im = 1, c, s;
            explicit Phasor(double cyclesPerLoop, double loopFrames)
                : c(std::cos(2 * kPi * cyclesPerLoop / loopFrames)), s(std::sin(2 * kPi * cyclesPerLoop / loopFrames))
            {
                re = 0;
                im = 1;
            }
            double next()
            {
                double r = re * c - im * s;
                im = re * s + im * c;
                re = r;
                return r;
            }
        };
        const double n = static_cast<double>(frames);
        Phasor d1(std::round(midiToHz(26) * loop), n), d2(std::round(midiToHz(38) * loop), n);
        Phasor a2(std::round(midiToHz(45) * loop), n), swell(3, n), shimmer(5, n);
        for (size_t i = 0; i < frames; ++i) {
            double sw = 0.75 + 0.25 * swell.next();
            double s = 0.55 * d1.next() + 0.35 * d2.next() + 0.08 * a2.next() * (0.5 + 0.5 * shimmer.next());
            float v = static_cast<float>(s * sw * 0.085);
            dry.left[i] += v;
            dry.right[i] += v;
        }
    }

    // Breath: long swells of band-limited noise, one across each chord change.
    for (size_t c = 0; c < chords.size(); ++c)
        renderBreath(dry, c * chordLength + chordLength * 0.55, chordLength * 0.9, rng.range(500, 1400), 0.05f, rng);

    // Sparse bells from the chord's notes, two or three octaves up, a few seconds apart.
    for (double t = 2.5; t < loop - 0.5;) {
        size_t c = static_cast<size_t>(t / chordLength) % chords.size();
        const std::vector<int>& chord = chords[c];
        int note = chord[1 + rng.below(static_cast<int>(chord.size()) - 1)] + (rng.unit() < 0.55 ? 24 : 12);
        float level = static_cast<float>(rng.range(0.030, 0.055));
        renderBell(dry, note, t, level, rng.range(0.15, 0.85), rng);
        if (rng.unit() < 0.3) {
            // An answering note a moment later.
            int answer = chord[1 + rng.below(static_cast<int>(chord.size()) - 1)] + 24;
            renderBell(dry, answer, t + rng.range(0.35, 0.8), level * 0.7f, rng.range(0.15, 0.85), rng);
        }
        t += rng.range(3.0, 7.5);
    }

    // Reverb round the loop twice: the second pass starts with the tail of the first, so the
    // reverberated loop is as periodic as the dry one.
    MusicLoop music;
    music.samples.resize(frames * 2);
    Reverb reverb(0.89, 0.35);
    const float wet = 0.55f, dryLevel = 0.75f;
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < frames; ++i) {
            float l = 0, r = 0;
            reverb.process(dry.left[i], dry.right[i], l, r);
            if (pass == 1) {
                music.samples[2 * i] = dry.left[i] * dryLevel + l * wet;
                music.samples[2 * i + 1] = dry.right[i] * dryLevel + r * wet;
            }
        }
    // DC and rumble out, again twice round so the filter state matches at the seam.
    for (int ch = 0; ch < 2; ++ch) {
        double x1 = 0, y1 = 0;
        const double a = std::exp(-2 * kPi * 18.0 / kMusicRate);
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = 0; i < frames; ++i) {
                double x = music.samples[2 * i + ch];
                double y = a * (y1 + x - x1);
                x1 = x;
                y1 = y;
                if (pass == 1) music.samples[2 * i + ch] = static_cast<float>(y);
            }
    }
    float peak = 0;
    for (float s : music.samples) peak = std::max(peak, std::fabs(s));
    const float target = 0.5f;  // about -6 dBFS, headroom for the encoder
    if (peak > 0)
        for (float& s : music.samples) s *= target / peak;
    return music;
}

Bytes encodeOggVorbis(const MusicLoop& music, float quality)
{
    Bytes out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, kMusicRate, quality) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "Vesiclar");
    vorbis_comment_add_tag(&vc, "ARTIST", "Vesiclar");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x56455349);
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    auto emit = [&](const ogg_page& p) {
        out.insert(out.end(), p.header, p.header + p.header_len);
        out.insert(out.end(), p.body, p.body + p.body_len);
    };
    while (ogg_stream_flush(&os, &page)) emit(page);
    const size_t frames = music.frames();
    const size_t chunk = 4096;
    bool finished = false;
    for (size_t pos = 0; !finished;) {
        if (pos < frames) {
            size_t n = std::min(chunk, frames - pos);
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (size_t i = 0; i < n; ++i) {
                buffer[0][i] = music.samples[2 * (pos + i)];
                buffer[1][i] = music.samples[2 * (pos + i) + 1];
            }
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            pos += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
            finished = true;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) emit(page);
            }
        }
    }
    while (ogg_stream_flush(&os, &page)) emit(page);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

}  // namespace assetgen
