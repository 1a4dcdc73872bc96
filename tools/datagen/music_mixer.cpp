// Mixer: renders every note onto the buses, pumps the ducked voices with the kick, runs the
// ping-pong delay and the reverb, then the master gain and the mastering.
#include "music_internal.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

constexpr float HalfPi = 1.57079632679f;
constexpr int DelaySamples = StepSamples * 3;  // a dotted eighth

struct Buses {
    StereoBuffer dry;
    std::vector<float> delaySend, reverbSend;
    std::vector<float> duck;  // gain the kick leaves to ducked voices, 0..1
};

void BuildDuck(const Score& score, std::vector<float>* duck) {
    duck->assign(score.frames, 1.0f);
    for (const Note& n : score.notes) {
        int bar = n.start / BarSamples;
        float depth = bar < static_cast<int>(score.duckAt.size()) ? score.duckAt[bar] : 0.0f;
        if (n.voice != VoiceKick || depth <= 0.0f) {
            continue;
        }
        int end = std::min(n.start + BeatSamples, score.frames);
        float env = 1.0f, factor = std::exp(-1.0f / (0.11f * SampleRate));
        for (int i = n.start; i < end; i++) {
            int d = i - n.start;
            float shape = d < 200 ? d / 200.0f : (env *= factor);
            (*duck)[i] = std::min((*duck)[i], 1.0f - depth * shape);
        }
    }
}

void AddToBuses(const Note& n, const VoiceSound& sound, Buses* b) {
    const VoiceRoute& route = RouteOf(n.voice);
    float gl = std::cos(n.pan * HalfPi) * 1.41421f;
    float gr = std::sin(n.pan * HalfPi) * 1.41421f;
    int count =
        std::min(static_cast<int>(sound.left.size()), static_cast<int>(b->duck.size()) - n.start);
    const float* soundL = sound.left.data();
    const float* soundR = sound.right.empty() ? soundL : sound.right.data();
    float* left = b->dry.left.data() + n.start;
    float* right = b->dry.right.data() + n.start;
    float* delay = b->delaySend.data() + n.start;
    float* reverb = b->reverbSend.data() + n.start;
    const float* duck = b->duck.data() + n.start;
    for (int i = 0; i < count; i++) {
        float d = route.ducked ? duck[i] : 1.0f;
        float l = soundL[i] * d, r = soundR[i] * d, mid = 0.5f * (l + r);
        left[i] += l * gl;
        right[i] += r * gr;
        delay[i] += mid * route.delaySend;
        reverb[i] += mid * route.reverbSend;
    }
}

// Ping-pong: the left line repeats into the right one, which feeds back into the left.
void RunDelay(Buses* b) {
    std::vector<float> lineL(DelaySamples, 0.0f), lineR(DelaySamples, 0.0f);
    float damp = 0.0f;
    int pos = 0;
    for (size_t i = 0; i < b->delaySend.size(); i++) {
        float outL = lineL[pos], outR = lineR[pos];
        damp += 0.45f * (outR - damp);
        lineL[pos] = b->delaySend[i] + 0.42f * damp;
        lineR[pos] = outL;
        if (++pos == DelaySamples) {
            pos = 0;
        }
        b->dry.left[i] += outL * 0.7f;
        b->dry.right[i] += outR * 0.7f;
        b->reverbSend[i] += (outL + outR) * 0.15f;
    }
}

struct Comb {
    std::vector<float> buf;
    int pos;
    float store;
};
struct Allpass {
    std::vector<float> buf;
    int pos;
};

float RunComb(Comb* c, float x) {
    float y = c->buf[c->pos];
    c->store = y * 0.72f + c->store * 0.28f;  // damping
    c->buf[c->pos] = x + c->store * 0.85f;    // room size
    if (++c->pos == static_cast<int>(c->buf.size())) {
        c->pos = 0;
    }
    return y;
}

float RunAllpass(Allpass* a, float x) {
    float b = a->buf[a->pos];
    a->buf[a->pos] = x + b * 0.5f;
    if (++a->pos == static_cast<int>(a->buf.size())) {
        a->pos = 0;
    }
    return b - x;
}

// Eight parallel combs into four allpasses per side; the right side is slightly longer.
struct ReverbSide {
    Comb combs[8];
    Allpass allpasses[4];
};

void InitSide(ReverbSide* side, int spread) {
    static const int CombLengths[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int AllpassLengths[4] = {556, 441, 341, 225};
    for (int i = 0; i < 8; i++) {
        side->combs[i] = {std::vector<float>(CombLengths[i] + spread, 0.0f), 0, 0.0f};
    }
    for (int i = 0; i < 4; i++) {
        side->allpasses[i] = {std::vector<float>(AllpassLengths[i] + spread, 0.0f), 0};
    }
}

float RunSide(ReverbSide* side, float x) {
    float sum = 0.0f;
    for (Comb& c : side->combs) {
        sum += RunComb(&c, x);
    }
    for (Allpass& a : side->allpasses) {
        sum = RunAllpass(&a, sum);
    }
    return sum;
}

void RunReverb(Buses* b) {
    ReverbSide left, right;
    InitSide(&left, 0);
    InitSide(&right, 23);
    for (size_t i = 0; i < b->reverbSend.size(); i++) {
        float x = b->reverbSend[i] * 0.02f;
        b->dry.left[i] += RunSide(&left, x) * 1.6f;
        b->dry.right[i] += RunSide(&right, x) * 1.6f;
    }
}

std::vector<float> BuildGain(const Score& score) {
    std::vector<float> gain(score.frames);
    for (int i = 0; i < score.frames; i++) {
        gain[i] = MasterGainAt(score, static_cast<float>(i) / SampleRate);
    }
    return gain;
}

void ApplyGain(const std::vector<float>& gain, std::vector<float>* x) {
    for (size_t i = 0; i < x->size(); i++) {
        (*x)[i] *= gain[i];
    }
}

void RenderNotes(const Score& score, Buses* b) {
    b->dry.left.assign(score.frames, 0.0f);
    b->dry.right.assign(score.frames, 0.0f);
    b->delaySend.assign(score.frames, 0.0f);
    b->reverbSend.assign(score.frames, 0.0f);
    BuildDuck(score, &b->duck);
    VoiceSound sound;
    for (const Note& n : score.notes) {
        RenderVoice(n, &sound);
        AddToBuses(n, sound, b);
    }
}

}  // namespace

float MasterGainAt(const Score& score, float seconds) {
    const std::vector<float>& p = score.gainAt;
    int count = static_cast<int>(p.size()) / 2;
    if (count == 0) {
        return 1.0f;
    }
    // The last point at or before the time: two points at one time make a jump.
    int j = -1;
    while (j + 1 < count && p[2 * (j + 1)] <= seconds) {
        j++;
    }
    if (j < 0) {
        return p[1];
    }
    if (j == count - 1) {
        return p[2 * j + 1];
    }
    float x = (seconds - p[2 * j]) / (p[2 * j + 2] - p[2 * j]);
    return p[2 * j + 1] + (p[2 * j + 3] - p[2 * j + 1]) * x;
}

void MixScore(const Score& score, StereoBuffer* out) {
#if defined(__SSE__)
    unsigned int csr = _mm_getcsr();
    _mm_setcsr(csr | 0x8040);  // flush denormals: reverb tails would crawl otherwise
#endif
    Buses b;
    RenderNotes(score, &b);
    // The fades act before the effects too, so no echo of a faded part comes back.
    std::vector<float> gain = BuildGain(score);
    ApplyGain(gain, &b.delaySend);
    ApplyGain(gain, &b.reverbSend);
    RunDelay(&b);
    RunReverb(&b);
    ApplyGain(gain, &b.dry.left);
    ApplyGain(gain, &b.dry.right);
    Master(&b.dry);
    *out = std::move(b.dry);
#if defined(__SSE__)
    _mm_setcsr(csr);
#endif
}
