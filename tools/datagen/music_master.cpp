// Mastering: the loudness meter (ITU-R BS.1770: K-weighting, 400 ms blocks, absolute and
// relative gates), the true-peak meter (8x oversampled), and the look-ahead limiter that
// brings a mix to its loudness target under a true-peak ceiling.
#include "music_internal.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PiD = 3.141592653589793;
constexpr double LowShelfDb = -3.0, HighShelfDb = 4.0;

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

// The two K-weighting stages (a high shelf for the head, a high-pass for the ear's low end),
// derived for any sample rate from their analogue prototypes.
void KWeighting(double rate, Biquad* shelf, Biquad* highPass) {
    double k = std::tan(PiD * 1681.974450955533 / rate), q = 0.7071752369554196;
    double vh = std::pow(10.0, 3.999843853973347 / 20.0), vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    *shelf = {(vh + vb * k / q + k * k) / a0,
              2.0 * (k * k - vh) / a0,
              (vh - vb * k / q + k * k) / a0,
              2.0 * (k * k - 1.0) / a0,
              (1.0 - k / q + k * k) / a0,
              0.0,
              0.0};
    k = std::tan(PiD * 38.13547087602444 / rate);
    q = 0.5003270373238773;
    a0 = 1.0 + k / q + k * k;
    *highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0, 0.0, 0.0};
}

double BlockLoudness(double meanSquare) {
    return -0.691 + 10.0 * std::log10(meanSquare);
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

// The master's tone: less below 120 Hz and more above 2.5 kHz, so that the low end leaves the
// mids and highs room; and nothing above 18 kHz (a fourth-order Butterworth low-pass): the
// encoder drops it anyway, and without it the peaks between samples are what the meter sees.
void Tone(StereoBuffer* pcm) {
    Biquad stages[4] = {Shelf(120.0, LowShelfDb, false), Shelf(2500.0, HighShelfDb, true)};
    const double qs[2] = {0.5411961, 1.3065630};
    double k = std::tan(PiD * 18000.0 / SampleRate);
    for (int s = 0; s < 2; s++) {
        double a0 = 1.0 + k / qs[s] + k * k;
        double b0 = k * k / a0;
        stages[2 + s] = {
            b0, 2.0 * b0, b0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / qs[s] + k * k) / a0, 0.0, 0.0};
    }
    Biquad left[4], right[4];
    std::copy(stages, stages + 4, left);
    std::copy(stages, stages + 4, right);
    for (size_t i = 0; i < pcm->left.size(); i++) {  // both sides in step: twice the pace
        double l = pcm->left[i], r = pcm->right[i];
        for (int s = 0; s < 4; s++) {
            l = RunBiquad(&left[s], l);
            r = RunBiquad(&right[s], r);
        }
        pcm->left[i] = static_cast<float>(l);
        pcm->right[i] = static_cast<float>(r);
    }
}

float DbToGain(float db) {
    return std::pow(10.0f, db / 20.0f);
}

// The K-weighted signal, both sides.
StereoBuffer KWeighted(const StereoBuffer& pcm, float rate) {
    StereoBuffer out;
    out.left.resize(pcm.left.size());
    out.right.resize(pcm.right.size());
    Biquad shelf[2], highPass[2];
    KWeighting(rate, &shelf[0], &highPass[0]);
    shelf[1] = shelf[0];
    highPass[1] = highPass[0];
    for (size_t i = 0; i < pcm.left.size(); i++) {  // both sides in step: twice the pace
        out.left[i] =
            static_cast<float>(RunBiquad(&highPass[0], RunBiquad(&shelf[0], pcm.left[i])));
        out.right[i] =
            static_cast<float>(RunBiquad(&highPass[1], RunBiquad(&shelf[1], pcm.right[i])));
    }
    return out;
}

// Gated loudness of a K-weighted signal, each sample times gain[i] when a gain is given (the
// gain moves slowly, so weighting and gain may be swapped).
float GatedLoudness(const StereoBuffer& weighted, float rate, const std::vector<float>* gain) {
    // Squares summed over 100 ms quarters; a block is four quarters in a row.
    const size_t quarter = static_cast<size_t>(rate * 0.1f + 0.5f);
    std::vector<double> quarters(weighted.left.size() / quarter, 0.0);
    for (size_t q = 0; q < quarters.size(); q++) {
        double sum = 0.0;
        for (size_t i = q * quarter; i < (q + 1) * quarter; i++) {
            double g = gain ? (*gain)[i] : 1.0;
            double l = weighted.left[i] * g, r = weighted.right[i] * g;
            sum += l * l + r * r;
        }
        quarters[q] = sum;
    }
    std::vector<double> blocks;
    for (size_t q = 3; q < quarters.size(); q++) {
        double meanSquare =
            (quarters[q - 3] + quarters[q - 2] + quarters[q - 1] + quarters[q]) / (4.0 * quarter);
        if (meanSquare > 0.0 && BlockLoudness(meanSquare) > -70.0) {
            blocks.push_back(meanSquare);
        }
    }
    if (blocks.empty()) {
        return -70.0f;
    }
    double sum = 0.0;
    for (double b : blocks) {
        sum += b;
    }
    double gate = BlockLoudness(sum / blocks.size()) - 10.0;
    double gated = 0.0;
    int count = 0;
    for (double b : blocks) {
        if (BlockLoudness(b) > gate) {
            gated += b;
            count++;
        }
    }
    return static_cast<float>(BlockLoudness(gated / count));
}

}  // namespace

float IntegratedLoudness(const StereoBuffer& pcm, float rate) {
    return GatedLoudness(KWeighted(pcm, rate), rate, nullptr);
}

float TruePeak(const StereoBuffer& pcm) {
    float sample = 0.0f;
    for (size_t i = 0; i < pcm.left.size(); i++) {
        sample = std::max({sample, std::fabs(pcm.left[i]), std::fabs(pcm.right[i])});
    }
    std::vector<float> peaks = PeakEnvelope(pcm, sample);
    return peaks.empty() ? 0.0f : *std::max_element(peaks.begin(), peaks.end());
}

// Gain to the loudness target, limited under the ceiling. The limiter takes a little loudness
// away, so the gain is corrected until the result sits on the target; weighting and peaks are
// worked out once, since the gain only scales them.
void Master(StereoBuffer* mix) {
    Tone(mix);
    StereoBuffer weighted = KWeighted(*mix, SampleRate);
    float loudness = GatedLoudness(weighted, SampleRate, nullptr);
    if (loudness <= -70.0f) {
        return;
    }
    float gain = DbToGain(TargetLoudness - loudness), ceiling = DbToGain(PeakCeiling);
    // The gain ends within a dB or two of its first guess: look closely where that could matter.
    std::vector<float> peaks = PeakEnvelope(*mix, ceiling / (1.25f * gain));
    std::vector<float> curve;
    for (int pass = 0; pass < 6; pass++) {
        curve = LimiterGain(peaks, gain, ceiling);
        loudness = GatedLoudness(weighted, SampleRate, &curve);
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
