// Mastering: loudness and true peak measured with libebur128, and the look-ahead limiter
// (with its own 8x oversampled peak detector) that brings a mix to its loudness target
// under a true-peak ceiling.
#include "music_internal.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double PiD = 3.141592653589793;
constexpr double LowShelfDb = -3.0, HighShelfDb = 4.0, BoxDipDb = -2.5, AirShelfDb = 2.0;
constexpr float SideLift = 1.75f;

struct Biquad {
    double b0, b1, b2, a1, a2;
    double z1, z2;
};

double RunBiquad(Biquad* f, double x) {
    double y = f->b0 * x + f->z1;
    f->z1 = f->b1 * x - f->a1 * y + f->z2;
    f->z2 = f->b2 * x - f->a2 * y;
    return y;
}

// Weights for the seven points at eighths of the way from sample i to sample i + 1, over the
// samples i - 31 .. i + 32: a Blackman-windowed sinc (8x oversampling) that passes the mix's
// whole band (below 18 kHz) within 0.1 dB.
constexpr int Points = 7, Taps = 64;
struct Interpolator {
    float w[Points][Taps];
};

const Interpolator& EighthPoints() {
    static const Interpolator table = [] {
        Interpolator t;
        for (int p = 0; p < Points; p++) {
            for (int k = 0; k < Taps; k++) {
                double x = (k - Taps / 2 + 1) - (p + 1) / 8.0;  // from the point to the tap
                double sinc = std::sin(PiD * x) / (PiD * x);
                double y = PiD * x / (Taps / 2 + 1);
                double window = 0.42 + 0.5 * std::cos(y) + 0.08 * std::cos(2.0 * y);
                t.w[p][k] = static_cast<float>(sinc * window);
            }
        }
        return t;
    }();
    return table;
}

// The loudest of the points between samples i and i + 1.
float BetweenPeak(const std::vector<float>& x, size_t i) {
    if (i + 1 < Taps / 2 || i + Taps / 2 >= x.size()) {
        return 0.0f;
    }
    const Interpolator& t = EighthPoints();
    const float* s = x.data() + i + 1 - Taps / 2;
    float peak = 0.0f;
    for (int p = 0; p < Points; p++) {
        float y = 0.0f;
        for (int k = 0; k < Taps; k++) {
            y += t.w[p][k] * s[k];
        }
        peak = std::max(peak, std::fabs(y));
    }
    return peak;
}

// Per sample, the loudest of either side and of the points up to the next sample. Between
// samples music rises only a few dB above its neighbours, so the points are worked out only
// where a sample comes within 3 dB of `near`.
std::vector<float> PeakEnvelope(const StereoBuffer& pcm, float near) {
    std::vector<float> peaks(pcm.left.size(), 0.0f);
    for (const std::vector<float>* x : {&pcm.left, &pcm.right}) {
        for (size_t i = 0; i < x->size(); i++) {
            float a = std::fabs((*x)[i]);
            if (a >= 0.7f * near) {
                a = std::max(a, BetweenPeak(*x, i));
            }
            peaks[i] = std::max(peaks[i], a);
        }
    }
    return peaks;
}

// Look-ahead limiter gain for a mix whose peaks, times `gain`, must stay under the ceiling.
// Each sample's need is held for Ahead samples, the held curve recovers over about 80 ms, and
// the gain at a sample is the average of that curve over the next Ahead samples: every value
// averaged is at most the need of the sample (and of the one before, for the points between
// them), so no peak gets through, and the gain moves too smoothly to add peaks of its own.
std::vector<float> LimiterGain(const std::vector<float>& peaks, float gain, float ceiling) {
    const int Ahead = 64;
    const int n = static_cast<int>(peaks.size());
    std::vector<float> held(n, 1.0f);
    for (int i = 0; i < n; i++) {
        float level = gain * std::max(peaks[i], i > 0 ? peaks[i - 1] : 0.0f);
        if (level > ceiling) {
            for (int j = i; j < std::min(i + Ahead, n); j++) {
                held[j] = std::min(held[j], ceiling / level);
            }
        }
    }
    const float recover = 1.0f - std::exp(-1.0f / (0.08f * SampleRate));
    for (int i = 1; i < n; i++) {
        if (held[i - 1] < 1.0f) {  // once within a hair of 1, it is 1: long runs stay untouched
            float up = held[i - 1] + (1.0f - held[i - 1]) * recover;
            held[i] = std::min(held[i], up > 0.99999f ? 1.0f : up);
        }
    }
    std::vector<float> curve(n);
    double sum = 0.0;  // of held[i .. i + Ahead - 1], past the end counted as 1
    for (int j = 0; j < Ahead; j++) {
        sum += j < n ? held[j] : 1.0f;
    }
    for (int i = 0; i < n; i++) {
        curve[i] = gain * static_cast<float>(sum / Ahead);
        sum += (i + Ahead < n ? held[i + Ahead] : 1.0f) - held[i];
    }
    return curve;
}

// A shelf of the cookbook kind: the gain in dB below (low) or above (high) the corner.
Biquad Shelf(double hz, double db, bool high) {
    double a = std::pow(10.0, db / 40.0), w = 2.0 * PiD * hz / SampleRate;
    double c = std::cos(w), sa = std::sqrt(a) * std::sin(w) * std::sqrt(2.0);
    double m = high ? -1.0 : 1.0;  // the high shelf mirrors the low one
    double a0 = (a + 1.0) + m * (a - 1.0) * c + sa;
    return {a * ((a + 1.0) - m * (a - 1.0) * c + sa) / a0,
            2.0 * m * a * ((a - 1.0) - m * (a + 1.0) * c) / a0,
            a * ((a + 1.0) - m * (a - 1.0) * c - sa) / a0,
            -2.0 * m * ((a - 1.0) + m * (a + 1.0) * c) / a0,
            ((a + 1.0) + m * (a - 1.0) * c - sa) / a0,
            0.0,
            0.0};
}

// A bell of the cookbook kind: db at hz, q wide.
Biquad Bell(double hz, double db, double q) {
    double a = std::pow(10.0, db / 40.0), w = 2.0 * PiD * hz / SampleRate;
    double alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
    double a0 = 1.0 + alpha / a;
    return {(1.0 + alpha * a) / a0,
            -2.0 * c / a0,
            (1.0 - alpha * a) / a0,
            -2.0 * c / a0,
            (1.0 - alpha / a) / a0,
            0.0,
            0.0};
}

// The master's tone: less below 120 Hz and more above 2.5 kHz, so that the low end leaves the
// mids and highs room; a dip around 300 Hz, where the bass's and the pads' overtones pile up
// and box the mix in; a lift above 10 kHz for air; and nothing above 18 kHz (a fourth-order
// Butterworth low-pass): the encoder drops it anyway, and without it the peaks between
// samples are what the meter sees.
void Tone(StereoBuffer* pcm) {
    constexpr int Stages = 6;
    Biquad stages[Stages] = {Shelf(120.0, LowShelfDb, false), Shelf(2500.0, HighShelfDb, true),
                             Bell(300.0, BoxDipDb, 0.8), Shelf(10000.0, AirShelfDb, true)};
    const double qs[2] = {0.5411961, 1.3065630};
    double k = std::tan(PiD * 18000.0 / SampleRate);
    for (int s = 0; s < 2; s++) {
        double a0 = 1.0 + k / qs[s] + k * k;
        double b0 = k * k / a0;
        stages[Stages - 2 + s] = {
            b0, 2.0 * b0, b0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / qs[s] + k * k) / a0, 0.0, 0.0};
    }
    Biquad left[Stages], right[Stages];
    std::copy(stages, stages + Stages, left);
    std::copy(stages, stages + Stages, right);
    for (size_t i = 0; i < pcm->left.size(); i++) {  // both sides in step: twice the pace
        double l = pcm->left[i], r = pcm->right[i];
        for (int s = 0; s < Stages; s++) {
            l = RunBiquad(&left[s], l);
            r = RunBiquad(&right[s], r);
        }
        pcm->left[i] = static_cast<float>(l);
        pcm->right[i] = static_cast<float>(r);
    }
}

// Widens the mix: the difference of the sides above about 150 Hz raised by SideLift, so the
// pads, echoes and room open out while the kick and the bass stay in the middle.
void Widen(StereoBuffer* pcm) {
    const float a = std::exp(-2.0f * static_cast<float>(PiD) * 150.0f / SampleRate);
    float lowSide = 0.0f;
    for (size_t i = 0; i < pcm->left.size(); i++) {
        float mid = 0.5f * (pcm->left[i] + pcm->right[i]);
        float side = 0.5f * (pcm->left[i] - pcm->right[i]);
        lowSide = side + a * (lowSide - side);
        side += (SideLift - 1.0f) * (side - lowSide);
        pcm->left[i] = mid + side;
        pcm->right[i] = mid - side;
    }
}

float DbToGain(float db) {
    return std::pow(10.0f, db / 20.0f);
}

// Integrated loudness of the mix by libebur128 (ITU-R BS.1770: K-weighting, 400 ms blocks,
// absolute and relative gates), each sample times gain[i] when a gain is given; -70 when silent.
float GatedLoudness(const StereoBuffer& pcm, float rate, const std::vector<float>* gain) {
    ebur128_state* meter = ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_I);
    std::vector<float> frames;
    const size_t chunk = 65536;  // frames handed over at a time
    for (size_t start = 0; meter && start < pcm.left.size(); start += chunk) {
        size_t n = std::min(chunk, pcm.left.size() - start);
        frames.resize(2 * n);
        for (size_t i = 0; i < n; i++) {
            float g = gain ? (*gain)[start + i] : 1.0f;
            frames[2 * i] = pcm.left[start + i] * g;
            frames[2 * i + 1] = pcm.right[start + i] * g;
        }
        ebur128_add_frames_float(meter, frames.data(), n);
    }
    double loudness = -HUGE_VAL;
    if (meter) {
        ebur128_loudness_global(meter, &loudness);
        ebur128_destroy(&meter);
    }
    return loudness > -70.0 ? static_cast<float>(loudness) : -70.0f;
}

}  // namespace

float IntegratedLoudness(const StereoBuffer& pcm, float rate) {
    return GatedLoudness(pcm, rate, nullptr);
}

float TruePeak(const StereoBuffer& pcm) {
    ebur128_state* meter = ebur128_init(2, SampleRate, EBUR128_MODE_TRUE_PEAK);
    std::vector<float> frames(2 * pcm.left.size());
    for (size_t i = 0; i < pcm.left.size(); i++) {
        frames[2 * i] = pcm.left[i];
        frames[2 * i + 1] = pcm.right[i];
    }
    double peak[2] = {0.0, 0.0};
    if (meter) {
        ebur128_add_frames_float(meter, frames.data(), pcm.left.size());
        ebur128_true_peak(meter, 0, &peak[0]);
        ebur128_true_peak(meter, 1, &peak[1]);
        ebur128_destroy(&meter);
    }
    return static_cast<float>(std::max(peak[0], peak[1]));
}

// Gain to the loudness target, limited under the ceiling. The limiter takes a little loudness
// away, so the gain is corrected until the result sits on the target; the peaks are worked
// out once, since the gain only scales them.
void Master(StereoBuffer* mix) {
    Tone(mix);
    Widen(mix);
    float loudness = GatedLoudness(*mix, SampleRate, nullptr);
    if (loudness <= -70.0f) {
        return;
    }
    float gain = DbToGain(TargetLoudness - loudness), ceiling = DbToGain(PeakCeiling);
    // The gain ends within a dB or two of its first guess: look closely where that could matter.
    std::vector<float> peaks = PeakEnvelope(*mix, ceiling / (1.25f * gain));
    std::vector<float> curve;
    for (int pass = 0; pass < 6; pass++) {
        curve = LimiterGain(peaks, gain, ceiling);
        loudness = GatedLoudness(*mix, SampleRate, &curve);
        if (std::fabs(loudness - TargetLoudness) < 0.02f) {
            break;
        }
        gain *= DbToGain(TargetLoudness - loudness);
    }
    for (size_t i = 0; i < curve.size(); i++) {
        mix->left[i] *= curve[i];
        mix->right[i] *= curve[i];
    }
}
