// Music generator: envelope, filter, oscillator and sequencer timing, the soundtrack's beat
// grid, the loudness and true-peak meters and the mastering, and the encoded files (length,
// format, silent end, loudness, true peak, width, onsets on the beat, determinism).
#include "music.h"
#include "music_internal.h"
#include "../support/test_mp3.h"
#include "frame/timeline.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr double TwoPi = 6.283185307179586;

// Seconds of music where the drums play (the opening's glide 2 and orbit, scenes 1 and 2,
// the last three parts of scene 3, the greetings); scene 1's and scene 2's last bars are
// breaks without kicks, and the beat drops out for the first four bars of the nightfall.
const double DrumRegions[][2] = {{7.68, 30.72},    {32.64, 61.44},   {63.36, 78.72}, {86.4, 92.16},
                                 {109.44, 122.88}, {124.80, 151.68}, {176.64, 192.0}};

// Where the picture cuts, in seconds of music: every scene start, scene 1's changes of form
// every 8 counter units and every section start.
std::vector<double> ListPictureCuts() {
    std::vector<double> units;
    for (int scene = 1; scene < SceneCount; scene++) units.push_back(SceneStartOffsets[scene]);
    for (int change = 8; change < SceneSections[1].lengths[0]; change += 8)
        units.push_back(SceneStartOffsets[1] + change);
    for (int scene = 0; scene < SceneCount; scene++)
        for (int k = 1, at = SceneStartOffsets[scene]; k < SceneSections[scene].count; k++)
            units.push_back(at += SceneSections[scene].lengths[k - 1]);
    std::vector<double> seconds;
    for (double u : units) seconds.push_back(u * CounterUnitSeconds);
    return seconds;
}

float DbToGain(float db) {
    return std::pow(10.0f, db / 20.0f);
}

// Both sides the same sine, `seconds` long.
StereoBuffer Sine(double hz, float amplitude, double seconds, double phase = 0.0) {
    StereoBuffer b;
    for (int i = 0; i < static_cast<int>(seconds * SampleRate); i++) {
        b.left.push_back(amplitude *
                         static_cast<float>(std::sin(TwoPi * hz * i / SampleRate + phase)));
    }
    b.right = b.left;
    return b;
}

void Append(StereoBuffer* to, const StereoBuffer& more) {
    to->left.insert(to->left.end(), more.left.begin(), more.left.end());
    to->right.insert(to->right.end(), more.right.begin(), more.right.end());
}

double Goertzel(const std::vector<float>& x, double hz) {
    double w = TwoPi * hz / SampleRate, c = 2.0 * std::cos(w), s1 = 0.0, s2 = 0.0;
    for (float v : x) {
        double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2);
}

double SineGain(float cutoff, double hz, bool high) {
    Svf f;
    SvfReset(&f);
    SvfSet(&f, cutoff, 0.707f);
    double peak = 0.0;
    for (int i = 0; i < SampleRate / 2; i++) {
        SvfOut o = SvfRun(&f, static_cast<float>(std::sin(TwoPi * hz * i / SampleRate)));
        if (i > SampleRate / 4) {
            peak = std::max(peak, std::fabs(static_cast<double>(high ? o.high : o.low)));
        }
    }
    return 20.0 * std::log10(peak);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempPath(const char* name) {
    return std::string(NORVALE_BINARY_DIR) + "/music_test_" + name;
}

float MaxAbs(const Decoded& d, double from, double to) {
    size_t a = static_cast<size_t>(from * d.rate) * d.channels;
    size_t b = std::min(static_cast<size_t>(to * d.rate) * d.channels, d.samples.size());
    float peak = 0.0f;
    for (size_t i = a; i < b; i++) {
        peak = std::max(peak, std::fabs(d.samples[i]));
    }
    return peak;
}

// Power of the low band (below about 150 Hz) of both sides' sum, sample by sample.
std::vector<double> LowPower(const Decoded& d, double from, double to) {
    const double a = 1.0 - std::exp(-TwoPi * 150.0 / d.rate);
    double y1 = 0.0, y2 = 0.0;
    std::vector<double> low;
    for (size_t i = static_cast<size_t>(from * d.rate); i < static_cast<size_t>(to * d.rate); i++) {
        double x = (d.samples[2 * i] + d.samples[2 * i + 1]) * 0.5;
        y1 += a * (x - y1);
        y2 += a * (y1 - y2);
        low.push_back(y2 * y2);
    }
    return low;
}

double Sum(const std::vector<double>& x) {
    double sum = 0.0;
    for (double v : x) {
        sum += v;
    }
    return sum;
}

StereoBuffer Sides(const Decoded& d) {
    StereoBuffer b;
    for (size_t i = 0; i + 1 < d.samples.size(); i += 2) {
        b.left.push_back(d.samples[i]);
        b.right.push_back(d.samples[i + 1]);
    }
    return b;
}

double Correlation(const StereoBuffer& b, double from, double to) {
    double lr = 0.0, ll = 0.0, rr = 0.0;
    for (size_t i = static_cast<size_t>(from * SampleRate); i < to * SampleRate; i++) {
        lr += b.left[i] * b.right[i];
        ll += b.left[i] * b.left[i];
        rr += b.right[i] * b.right[i];
    }
    return lr / std::sqrt(ll * rr);
}

// Onsets of the low band: peaks of the rise of short-window energy, at least 0.1 s apart.
// Each is reported at the end of its window, so a little late.
std::vector<double> LowOnsets(const Decoded& d, double from, double to) {
    const int Hop = 64, Window = 512, Apart = 70;
    std::vector<double> low = LowPower(d, from, to);
    std::vector<double> flux;
    double previous = 0.0;
    for (size_t s = 0; s + Window <= low.size(); s += Hop) {
        double e = 0.0;
        for (int i = 0; i < Window; i++) {
            e += low[s + i];
        }
        // The first window has nothing before it: its whole energy is no rise.
        flux.push_back(s == 0 ? 0.0 : std::max(0.0, e - previous));
        previous = e;
    }
    // Strong against the loudest rise within a bar either side: dynamics change by section.
    const int BarHops = static_cast<int>(1.92 * d.rate / Hop);
    std::vector<double> onsets;
    for (int k = 1; k < static_cast<int>(flux.size()); k++) {
        auto near = flux.begin() + std::max(0, k - BarHops);
        auto far = flux.begin() + std::min<int>(flux.size(), k + BarHops);
        bool peak = flux[k] > 0.35 * *std::max_element(near, far);
        int last = std::min<int>(flux.size(), k + Apart);
        for (int j = std::max(0, k - Apart); peak && j < last; j++) {
            peak = flux[j] < flux[k] || (flux[j] == flux[k] && j >= k);
        }
        if (peak) {
            onsets.push_back(from + static_cast<double>(k * Hop + Window) / d.rate);
        }
    }
    return onsets;
}

// Level in dB of the middle channel ((left + right) / 2) from `from` to `to` seconds, through
// a band of two four-pole Butterworth-like edges (0 Hz for no low edge).
double MeasureBandLevel(const Decoded& d, double from, double to, double lowHz, double highHz) {
    struct Biquad {
        double b0, b1, b2, a1, a2, z1 = 0.0, z2 = 0.0;
        double Run(double x) {
            double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    auto make = [&](double hz, bool high) {  // the audio cookbook's second-order sections
        double w = TwoPi * hz / d.rate, alpha = std::sin(w) / (2.0 * 0.7071), c = std::cos(w);
        double a0 = 1.0 + alpha, k = high ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
        return Biquad{k / a0, (high ? -2.0 : 2.0) * k / a0, k / a0, -2.0 * c / a0,
                      (1.0 - alpha) / a0};
    };
    std::vector<Biquad> chain;
    for (int i = 0; i < 2; i++) {
        if (lowHz > 0.0)
            chain.push_back(make(lowHz, true));
        chain.push_back(make(highHz, false));
    }
    double sum = 0.0;
    size_t a = static_cast<size_t>(from * d.rate), b = static_cast<size_t>(to * d.rate);
    for (size_t i = a; i < b && 2 * i + 1 < d.samples.size(); i++) {
        double x = 0.5 * (d.samples[2 * i] + d.samples[2 * i + 1]);
        for (Biquad& f : chain) x = f.Run(x);
        sum += x * x;
    }
    return 10.0 * std::log10(sum / std::max<size_t>(b - a, 1) + 1e-20);
}

// Whether a listener hears the cut at t: the lows, mids or highs change by 6 dB from the
// 350 ms before to the 350 ms after (a hit, a drop, or a breath before a hit).
bool CheckCutIsMarked(const Decoded& d, double t, std::string* why) {
    const double Window = 0.35;
    const double bands[3][2] = {{0.0, 250.0}, {250.0, 4000.0}, {4000.0, 16000.0}};
    double change = 0.0;
    for (const auto& band : bands)
        change = std::max(change, std::fabs(MeasureBandLevel(d, t, t + Window, band[0], band[1]) -
                                            MeasureBandLevel(d, t - Window, t, band[0], band[1])));
    *why = "largest band change " + std::to_string(change) + " dB";
    return change >= 6.0;
}

// Within the detector's lateness of a beat (its window, and a kick whose low band builds over
// its first 50 ms under a bass note starting with it): a sixteenth (0.12 s) off would fail.
bool OnBeat(double t) {
    double offset = t - std::round(t / 0.48) * 0.48;
    return offset > -0.015 && offset < 0.07;
}

}  // namespace

TEST(MusicSynth, EnvelopeStagesTakeTheirTimes) {
    AdsrState env;
    AdsrStart(&env, {0.01f, 0.1f, 0.5f, 0.2f});
    const int attack = 441;
    for (int i = 1; i < attack; i++) {
        float level = AdsrNext(&env);
        ASSERT_LT(level, 1.0f) << "attack finished early at sample " << i;
        ASSERT_NEAR(level, static_cast<float>(i) / attack, 1e-3f);
    }
    EXPECT_FLOAT_EQ(AdsrNext(&env), 1.0f);
    for (int i = 0; i < 4410; i++) {
        AdsrNext(&env);
    }
    EXPECT_NEAR(env.level, 0.5f, 0.01f) << "decay should reach the sustain level in 0.1 s";
    AdsrRelease(&env);
    for (int i = 0; i < 8820 - 1; i++) {
        ASSERT_GT(AdsrNext(&env), 0.0f) << "released too fast at sample " << i;
    }
    EXPECT_EQ(AdsrNext(&env), 0.0f);
    EXPECT_EQ(AdsrNext(&env), 0.0f);

    AdsrStart(&env, {0.5f, 0.1f, 0.8f, 0.01f});  // released while still rising
    for (int i = 0; i < 100; i++) {
        AdsrNext(&env);
    }
    float before = env.level;
    AdsrRelease(&env);
    EXPECT_LT(AdsrNext(&env), before);
}

TEST(MusicSynth, FilterPassesAndStops) {
    EXPECT_NEAR(SineGain(1000.0f, 100.0, false), 0.0, 1.0);
    EXPECT_LT(SineGain(1000.0f, 8000.0, false), -30.0);
    EXPECT_NEAR(SineGain(1000.0f, 8000.0, true), 0.0, 1.0);
    EXPECT_LT(SineGain(1000.0f, 100.0, true), -30.0);
    // Modulating to the top of the range must not blow up.
    Svf f;
    SvfReset(&f);
    float peak = 0.0f;
    for (int i = 0; i < 20000; i++) {
        SvfSet(&f, (i % 200) * 120.0f, 4.0f);
        peak = std::max(peak, std::fabs(SvfRun(&f, (i / 50) % 2 ? 1.0f : -1.0f).low));
    }
    EXPECT_LT(peak, 10.0f);
}

TEST(MusicSynth, BandLimitedSawAliasesLessThanNaive) {
    // 3 kHz: the 15th harmonic (45 kHz) folds back to 900 Hz.
    const float inc = 3000.0f / SampleRate;
    std::vector<float> blep, naive;
    float phase = 0.0f, sum = 0.0f;
    for (int i = 0; i < 8820; i++) {
        blep.push_back(SawBlep(phase, inc));
        naive.push_back(NaiveSaw(phase));
        sum += blep.back();
        phase += inc;
        phase -= phase >= 1.0f ? 1.0f : 0.0f;
    }
    EXPECT_LT(Goertzel(blep, 900.0), 0.3 * Goertzel(naive, 900.0));
    EXPECT_GT(Goertzel(blep, 3000.0), 0.8 * Goertzel(naive, 3000.0));
    EXPECT_NEAR(sum / blep.size(), 0.0f, 0.02f);
    EXPECT_LE(*std::max_element(blep.begin(), blep.end()), 1.2f);
}

TEST(MusicSequencer, NotesLandOnTheExactSampleOfTheirStep) {
    EXPECT_EQ(StepSample(1, 4), 105840);    // 2.40 s: bar 1, beat 2
    EXPECT_EQ(StepSample(17, 0), 1439424);  // 32.64 s: scene 1
    Score score;
    score.frames = BarSamples * 4;
    AddDrumBar(&score, 2, "x..o....x.......", VoiceKick, 1.0f, 0.0f);
    ASSERT_EQ(score.notes.size(), 3u);
    EXPECT_EQ(score.notes[0].start, 2 * 84672);
    EXPECT_EQ(score.notes[1].start, 2 * 84672 + 3 * 5292);
    EXPECT_LT(score.notes[1].velocity, score.notes[0].velocity);
    EXPECT_EQ(score.notes[2].start, 2 * 84672 + 2 * 21168);
    // Through the whole mix: nothing before the kick's sample, sound right on it.
    Score one;
    one.frames = BarSamples * 2;
    one.duckAt.assign(2, 0.0f);
    AddNote(&one, StepSample(1, 5), StepSamples, 60.0f, 1.0f, VoiceKick, 0.0f, 0.5f);
    StereoBuffer pcm;
    MixScore(one, &pcm);
    auto first = std::find_if(pcm.left.begin(), pcm.left.end(), [](float x) { return x != 0.0f; });
    EXPECT_EQ(first - pcm.left.begin(), StepSample(1, 5));
    EXPECT_GT(*std::max_element(first, first + 220), 0.3f);
    EXPECT_GT(Correlation(pcm, 0.0, 3.84), 0.99) << "the kick stands in the middle";
    EXPECT_LE(TruePeak(pcm), DbToGain(PeakCeiling) * 1.001f);
    // A short kick: a quarter second on, the bass has the beat to itself.
    VoiceSound kick;
    RenderVoice(one.notes[0], &kick);
    auto energy = [&](double from, double to) {
        double e = 0.0;
        for (int i = static_cast<int>(from * SampleRate); i < to * SampleRate; i++) {
            e += i < static_cast<int>(kick.left.size()) ? kick.left[i] * kick.left[i] : 0.0;
        }
        return e;
    };
    EXPECT_LT(energy(0.25, 0.45), energy(0.0, 0.05) * 0.003) << "the kick's tail masks the bass";
}

TEST(MusicSequencer, SoundtrackKicksFollowTheBeatGrid) {
    Score score;
    ScoreSoundtrack(&score);
    std::vector<int> kicks;
    for (const Note& n : score.notes) {
        if (n.voice == VoiceKick) {
            ASSERT_EQ(n.start % BeatSamples, 0) << "kick off the beat at " << n.start;
            kicks.push_back(n.start / BeatSamples);
        }
        if (n.voice == VoicePad) {
            EXPECT_EQ(n.start % BarSamples, 0) << "chord change off the bar line";
        }
        // The opening's fading bar must be silent when scene 1 starts at full gain.
        const int fadeFrom = StepSample(16, 0), sceneOne = StepSample(17, 0);
        if (n.voice == VoicePad && n.start >= fadeFrom && n.start < sceneOne) {
            EXPECT_LE(n.start + n.length + static_cast<int>(1.6 * SampleRate), sceneOne);
        }
        EXPECT_LE(n.start, static_cast<int>(207.36 * SampleRate) + BeatSamples);  // last chord
    }
    std::sort(kicks.begin(), kicks.end());
    for (const auto& region : DrumRegions) {
        int first = static_cast<int>(std::lround(region[0] / 0.48));
        int last = static_cast<int>(std::lround(region[1] / 0.48));
        for (int beat = first; beat < last; beat++) {
            EXPECT_TRUE(std::binary_search(kicks.begin(), kicks.end(), beat))
                << "no kick on beat " << beat << " (" << beat * 0.48 << " s)";
        }
    }
}

// A counter unit is half a bar: every scene starts on a section of the music, and the
// sections run without gap or overlap to the end step.
TEST(MusicSequencer, SoundtrackSectionsFollowTheTimeline) {
    ASSERT_GT(SoundtrackSectionCount, 0);
    std::vector<int> starts;
    int bar = 0;
    for (int i = 0; i < SoundtrackSectionCount; i++) {
        const Section& s = SoundtrackSectionTable[i];
        EXPECT_EQ(s.firstBar, bar) << "section " << i << " leaves a gap or overlaps";
        starts.push_back(s.firstBar);
        bar = s.firstBar + s.bars;
    }
    EXPECT_EQ(bar * 2, TimelineEnd) << "the music's sections end elsewhere than the scenes";
    for (int scene = 0; scene < SceneCount; scene++) {
        EXPECT_EQ(SceneStartOffsets[scene] % 2, 0);
        EXPECT_TRUE(std::count(starts.begin(), starts.end(), SceneStartOffsets[scene] / 2))
            << "scene " << scene << " starts inside a section of the music";
    }
}

TEST(MusicMixer, MasterGainFadesAndJumps) {
    Score score;
    ScoreSoundtrack(&score);
    EXPECT_LT(MasterGainAt(score, 10.0f), MasterGainAt(score, 150.0f)) << "a plateau, no arc";
    EXPECT_NEAR(MasterGainAt(score, 31.68f), 0.5f * MasterGainAt(score, 30.72f), 0.01f);
    EXPECT_LT(MasterGainAt(score, 32.6f), 0.03f);
    EXPECT_FLOAT_EQ(MasterGainAt(score, 32.64f), 1.0f);
    EXPECT_FLOAT_EQ(MasterGainAt(score, 150.0f), 1.0f);
    EXPECT_GT(MasterGainAt(score, 200.0f), MasterGainAt(score, 205.0f));
    EXPECT_GT(MasterGainAt(score, 207.36f), 0.0f);
    EXPECT_EQ(MasterGainAt(score, 217.0f), 0.0f);
}

TEST(MusicMaster, MetersReadKnownSignals) {
    // 1 kHz at -20 dBFS on both sides reads -20 LUFS; a quiet tail falls under the relative
    // gate and silence under the absolute one, so neither pulls the reading down.
    StereoBuffer tone = Sine(997.0, 0.1f, 4.0);
    EXPECT_NEAR(IntegratedLoudness(tone, SampleRate), -20.0f, 0.1f);
    Append(&tone, Sine(997.0, 0.001f, 4.0));
    Append(&tone, Sine(997.0, 0.0f, 4.0));
    EXPECT_NEAR(IntegratedLoudness(tone, SampleRate), -20.0f, 0.25f) << "not gated";
    // The ear's weighting: highs count about 3 dB more, the deep lows much less.
    float high = IntegratedLoudness(Sine(8000.0, 0.1f, 2.0), SampleRate);
    float low = IntegratedLoudness(Sine(30.0, 0.1f, 2.0), SampleRate);
    EXPECT_NEAR(high, -20.0f + 3.3f, 0.2f);
    EXPECT_LT(low, -20.0f - 3.0f);
    // A quarter of the sample rate, sampled 45 degrees off its crests: every sample at 0.707
    // of the true peak. libebur128's 4x oversampling reads it about 0.1 dB high.
    EXPECT_NEAR(TruePeak(Sine(SampleRate / 4.0, 0.5f, 0.5, TwoPi / 8.0)), 0.5f, 0.01f);
}

TEST(MusicMaster, MasterReachesTheTargetUnderTheCeiling) {
    // Loud clicks over a quiet hum: the gain the target asks for drives the clicks far over
    // the ceiling, so the limiter has to catch every one.
    StereoBuffer mix = Sine(220.0, 0.05f, 6.0);
    for (size_t i = 1000; i < mix.left.size(); i += 11025) {
        for (int k = 0; k < 40; k++) {
            mix.left[i + k] += (k % 2 ? -0.9f : 0.9f);
            mix.right[i + k] -= 0.5f;
        }
    }
    Master(&mix);
    EXPECT_NEAR(IntegratedLoudness(mix, SampleRate), TargetLoudness, 0.05f);
    EXPECT_LE(TruePeak(mix), DbToGain(PeakCeiling) * 1.001f);
}

TEST(MusicFiles, JingleLengthAndRepeatability) {
    std::string a = TempPath("jingle_a.mp3"), b = TempPath("jingle_b.mp3");
    ASSERT_TRUE(WriteJingle(a.c_str()));
    ASSERT_TRUE(WriteJingle(b.c_str()));
    EXPECT_EQ(ReadFile(a), ReadFile(b)) << "two renders differ";
    Decoded d;
    ASSERT_TRUE(Decode(a, &d));
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    double seconds = static_cast<double>(d.Frames()) / d.rate;
    EXPECT_GE(seconds, 20.0) << "the logo fades out 14 to 18 s after the jingle starts";
    EXPECT_LE(seconds, 24.0);
    // It swells: the second half of the fade-in is louder than its start, and it ends softly.
    EXPECT_GT(MaxAbs(d, 7.0, 10.0), 2.0f * MaxAbs(d, 0.0, 2.0));
    EXPECT_LT(MaxAbs(d, seconds - 0.5, seconds), 0.05f);
    StereoBuffer sides = Sides(d);
    EXPECT_NEAR(IntegratedLoudness(sides, SampleRate), -14.0f, 0.5f);
    EXPECT_LE(TruePeak(sides), DbToGain(-1.0f)) << "true peak over -1 dBTP";
    std::remove(a.c_str());
    std::remove(b.c_str());
    EXPECT_FALSE(WriteJingle("/nonexistent-folder/jingle.mp3")) << "failure reported as success";
}

TEST(MusicFiles, SoundtrackDecodesOnTheBeatAndEndsInSilence) {
    std::string path = TempPath("soundtrack.mp3");
    ASSERT_TRUE(WriteSoundtrack(path.c_str()));
    std::string generated = std::string(NORVALE_SOURCE_DIR) + "/data/preview_kovi.mp3";
    std::string other = ReadFile(generated);
    if (other.empty()) {  // no generated data yet: render a second time instead
        std::string again = TempPath("soundtrack_again.mp3");
        ASSERT_TRUE(WriteSoundtrack(again.c_str()));
        other = ReadFile(again);
        std::remove(again.c_str());
    }
    EXPECT_EQ(ReadFile(path), other) << "two renders differ";
    Decoded d;
    ASSERT_TRUE(Decode(path, &d));
    std::remove(path.c_str());
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    double seconds = static_cast<double>(d.Frames()) / d.rate;
    ASSERT_GE(seconds, 216.0);
    // The last chord rings into the end step (207.36 to 215.04 s) and is gone before it ends.
    EXPECT_GT(MaxAbs(d, 207.6, 208.6), 0.01f) << "the music stops dead at the end step";
    EXPECT_LT(MaxAbs(d, 214.0, seconds), 1e-3f) << "still sounding when the end step ends";
    // Measured as a player would: at streaming loudness, peaks between samples included.
    StereoBuffer sides = Sides(d);
    EXPECT_NEAR(IntegratedLoudness(sides, SampleRate), -14.0f, 0.5f);
    EXPECT_LE(TruePeak(sides), DbToGain(-1.0f)) << "true peak over -1 dBTP";
    EXPECT_LT(Correlation(sides, 32.64, 61.44), 0.9) << "scene 1 sounds nearly mono";
    // No hiss on top: the middle's 16 kHz octave well under its 4 kHz one.
    double top = MeasureBandLevel(d, 0.0, seconds, 11314.0, 20000.0);
    EXPECT_LE(top, MeasureBandLevel(d, 0.0, seconds, 2828.0, 5657.0) - 6.0)
        << "16 kHz octave too loud";
    for (double cut : ListPictureCuts()) {
        std::string why;
        EXPECT_TRUE(CheckCutIsMarked(d, cut, &why))
            << "the music ignores the cut at " << cut << " s: " << why;
    }
    // No tick: the top band in a beat's first 4 ms stays under the off-beat hat's.
    double onBeat = 0.0, offBeat = 0.0;
    for (double t = 32.64; t < 61.44; t += 0.48) {
        onBeat += std::pow(10.0, MeasureBandLevel(d, t, t + 0.004, 10000.0, 18500.0) / 10.0);
        offBeat +=
            std::pow(10.0, MeasureBandLevel(d, t + 0.24, t + 0.244, 10000.0, 18500.0) / 10.0);
    }
    EXPECT_LE(onBeat, offBeat) << "the kick's click ticks on every beat";
    // The picture goes black from the cube's fly-in to the credits: so does the music.
    double night = MeasureBandLevel(d, 146.0, 150.0, 0.0, 16000.0);
    double black = MeasureBandLevel(d, 156.0, 160.8, 0.0, 16000.0);
    EXPECT_LE(black, night - 6.0) << "the music holds on through the blackout";
    EXPECT_GE(MeasureBandLevel(d, 162.0, 166.0, 0.0, 16000.0), black + 6.0) << "no credits";
    // Scene 2 opens out of a break: the bar before it has no kick and no bass.
    EXPECT_LT(Sum(LowPower(d, 61.44, 63.36)), 0.1 * Sum(LowPower(d, 63.36, 65.28)));
    for (const auto& region : DrumRegions) {
        std::vector<double> onsets = LowOnsets(d, region[0], region[1]);
        int beats = static_cast<int>(std::lround((region[1] - region[0]) / 0.48));
        int onGrid = 0;
        std::string off;
        for (double t : onsets) {
            onGrid += OnBeat(t);
            off += OnBeat(t) ? "" : " " + std::to_string(t);
        }
        EXPECT_GE(onGrid, beats * 9 / 10)
            << "kicks missing from " << region[0] << " s: " << onGrid << " of " << beats;
        EXPECT_GE(onGrid, static_cast<int>(onsets.size()) * 19 / 20)
            << "low-band onsets off the beat grid at" << off;
    }
}
