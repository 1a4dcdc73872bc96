// Synth building blocks (envelope, filter, oscillators, noise) and the voices built on them.
#include "music_internal.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr float InvRate = 1.0f / SampleRate;

int Seconds(float s) {
    return static_cast<int>(s * SampleRate + 0.5f);
}

float Cents(float c) {
    return std::pow(2.0f, c / 1200.0f);
}

// Per-sample factor that shrinks a value to 1/e after `seconds`.
float DecayFactor(float seconds) {
    return std::exp(-1.0f / (seconds * SampleRate));
}

// The two sides of a PolyBLEP step correction.
float Blep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

float Wrap(float phase) {
    return phase >= 1.0f ? phase - 1.0f : phase;
}

}  // namespace

// ---- envelope

void AdsrStart(AdsrState* env, const Adsr& shape) {
    env->shape = shape;
    env->stage = 0;
    env->level = 0.0f;
    int attack = Seconds(shape.attack);
    env->attackStep = attack > 0 ? 1.0f / attack : 1.0f;
    // Within 1 % of the sustain level after the decay time.
    env->decayCoef = std::exp(-4.6f / (std::max(shape.decay, 1e-3f) * SampleRate));
    env->releaseStep = 1.0f;
    env->releaseLeft = 0;
}

void AdsrRelease(AdsrState* env) {
    if (env->stage >= 2) {
        return;
    }
    env->stage = 2;
    env->releaseLeft = std::max(Seconds(env->shape.release), 1);
    env->releaseStep = env->level / env->releaseLeft;
}

float AdsrNext(AdsrState* env) {
    switch (env->stage) {
        case 0:
            env->level += env->attackStep;
            if (env->level >= 0.99999f) {
                env->level = 1.0f;
                env->stage = 1;
            }
            break;
        case 1:
            env->level = env->shape.sustain + (env->level - env->shape.sustain) * env->decayCoef;
            break;
        case 2:
            env->level -= env->releaseStep;
            if (--env->releaseLeft <= 0 || env->level <= 0.0f) {
                env->level = 0.0f;
                env->stage = 3;
            }
            break;
        default:
            env->level = 0.0f;
    }
    return env->level;
}

// ---- state-variable filter

void SvfReset(Svf* f) {
    f->ic1 = 0.0f;
    f->ic2 = 0.0f;
    SvfSet(f, 1000.0f, 0.707f);
}

void SvfSet(Svf* f, float cutoffHz, float q) {
    float fc = std::min(std::max(cutoffHz, 20.0f), 0.45f * SampleRate);
    float g = std::tan(Pi * fc * InvRate);
    f->k = 1.0f / q;
    f->a1 = 1.0f / (1.0f + g * (g + f->k));
    f->a2 = g * f->a1;
    f->a3 = g * f->a2;
}

// ---- oscillators and noise

float NaiveSaw(float phase) {
    return 2.0f * phase - 1.0f;
}

float SawBlep(float phase, float inc) {
    return 2.0f * phase - 1.0f - Blep(phase, inc);
}

float SquareBlep(float phase, float inc) {
    float naive = phase < 0.5f ? 1.0f : -1.0f;
    return naive + Blep(phase, inc) - Blep(Wrap(phase + 0.5f), inc);
}

float NoiseNext(Noise* n) {
    uint32_t x = n->state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    n->state = x;
    return static_cast<float>(static_cast<int32_t>(x)) * (1.0f / 2147483648.0f);
}

float MidiToHz(float note) {
    return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f);
}

// ---- voices

namespace {

// A fixed seed per note: the same hit sounds the same in every run.
Noise NoiseFor(const Note& n) {
    uint32_t seed = static_cast<uint32_t>(n.start) * 2654435761u;
    seed ^= (n.voice + 1u) * 40503u;
    return {seed | 1u};
}

int VoiceLength(const Note& n, float tail) {
    return n.length + Seconds(tail);
}

// Detuned saw stack through a slowly breathing low-pass. The centre saw sounds on both sides,
// each outer one on its own side: the beating differs left and right, which makes the width.
void RenderPad(const Note& n, VoiceSound* out) {
    const Adsr shape = {0.7f, 1.5f, 0.8f, 1.6f};
    out->left.assign(VoiceLength(n, shape.release), 0.0f);
    out->right.assign(out->left.size(), 0.0f);
    float f = MidiToHz(n.pitch) * InvRate;
    float inc[3] = {f * Cents(-9.0f), f, f * Cents(8.0f)};
    float phase[3] = {0.0f, 0.37f, 0.71f};
    Svf filterL, filterR;
    SvfReset(&filterL);
    SvfReset(&filterR);
    AdsrState env;
    AdsrStart(&env, shape);
    float amp = 0.16f * n.velocity;
    for (int i = 0; i < static_cast<int>(out->left.size()); i++) {
        if ((i & 31) == 0) {
            float lfo = std::sin(2.0f * Pi * 0.23f * (n.start + i) * InvRate + n.pitch);
            SvfSet(&filterL, n.cutoff * (1.0f + 0.2f * lfo), 0.9f);
            SvfSet(&filterR, n.cutoff * (1.0f - 0.2f * lfo), 0.9f);
        }
        if (i == n.length) {
            AdsrRelease(&env);
        }
        float s[3];
        for (int k = 0; k < 3; k++) {
            s[k] = SawBlep(phase[k], inc[k]);
            phase[k] = Wrap(phase[k] + inc[k]);
        }
        float level = AdsrNext(&env) * amp;
        out->left[i] = SvfRun(&filterL, (s[0] + 0.5f * s[1]) * 0.55f).low * level;
        out->right[i] = SvfRun(&filterR, (s[2] + 0.5f * s[1]) * 0.55f).low * level;
    }
}

// A low-pass whose cutoff starts at (1 + bright) x the note's and decays to it, and the
// note's envelope: the shared front of the bass and the plucks.
struct SweptFilter {
    Svf filter;
    AdsrState env;
    float sweep;
    float sweepFactor;
};

void SweptStart(SweptFilter* v, const Adsr& shape, float sweepSeconds) {
    v->sweep = 1.0f;
    v->sweepFactor = DecayFactor(sweepSeconds);
    SvfReset(&v->filter);
    AdsrStart(&v->env, shape);
}

// Per sample; the filter is re-tuned every 16 samples, which the ear cannot tell apart.
void SweptStep(SweptFilter* v, const Note& n, int i, float bright, float q) {
    if ((i & 15) == 0) {
        SvfSet(&v->filter, n.cutoff * (1.0f + bright * v->sweep), q);
    }
    v->sweep *= v->sweepFactor;
    if (i == n.length) {
        AdsrRelease(&v->env);
    }
}

// Saw plus a sine at the root, with a short filter sweep on each note, driven a little: the
// overtones carry the line on speakers that cannot play its root.
void RenderBass(const Note& n, std::vector<float>* out) {
    const Adsr shape = {0.008f, 0.3f, 0.65f, 0.07f};
    out->assign(VoiceLength(n, shape.release), 0.0f);
    float inc = MidiToHz(n.pitch) * InvRate;
    float phase = 0.0f, sinePhase = 0.0f;
    SweptFilter v;
    SweptStart(&v, shape, 0.09f);
    // A long note opens less: alone under a quiet pad, the wide sweep's first edges sound
    // as clicks across the band.
    float bright = n.length > BarSamples ? 1.0f : 3.0f;
    for (int i = 0; i < static_cast<int>(out->size()); i++) {
        SweptStep(&v, n, i, bright, 1.1f);
        float saw = SvfRun(&v.filter, SawBlep(phase, inc)).low;
        float sine = std::sin(2.0f * Pi * sinePhase);
        phase = Wrap(phase + inc);
        sinePhase = Wrap(sinePhase + inc);
        (*out)[i] = std::tanh(1.6f * saw + 0.5f * sine) * 0.42f * AdsrNext(&v.env) * n.velocity;
    }
}

// Short bright notes: arpeggios (pluck) and chord stabs (wider, brighter).
void RenderPluckLike(const Note& n, float decay, float bright, float amp, std::vector<float>* out) {
    const Adsr shape = {0.002f, decay, 0.0f, 0.05f};
    out->assign(VoiceLength(n, decay + 0.1f), 0.0f);
    float inc = MidiToHz(n.pitch) * InvRate;
    float inc2 = inc * Cents(11.0f);
    float phase = 0.0f, phase2 = 0.5f;
    SweptFilter v;
    SweptStart(&v, shape, decay * 0.3f);
    for (int i = 0; i < static_cast<int>(out->size()); i++) {
        SweptStep(&v, n, i, bright, 1.6f);
        float s = SawBlep(phase, inc) + 0.6f * SquareBlep(phase2, inc2);
        phase = Wrap(phase + inc);
        phase2 = Wrap(phase2 + inc2);
        (*out)[i] = SvfRun(&v.filter, s * 0.5f).low * AdsrNext(&v.env) * amp * n.velocity;
    }
}

// Two detuned saws with delayed vibrato: the singing lead.
void RenderLead(const Note& n, std::vector<float>* out) {
    const Adsr shape = {0.03f, 0.5f, 0.75f, 0.45f};
    out->assign(VoiceLength(n, shape.release), 0.0f);
    float f = MidiToHz(n.pitch) * InvRate;
    float phase[2] = {0.0f, 0.5f};
    Svf filter;
    SvfReset(&filter);
    SvfSet(&filter, n.cutoff, 1.2f);
    AdsrState env;
    AdsrStart(&env, shape);
    for (int i = 0; i < static_cast<int>(out->size()); i++) {
        float t = i * InvRate;
        float depth = std::min(std::max(t - 0.25f, 0.0f) * 2.0f, 1.0f) * 0.004f;
        float vib = 1.0f + depth * std::sin(2.0f * Pi * 5.2f * t);
        if (i == n.length) {
            AdsrRelease(&env);
        }
        float s = 0.0f;
        for (int k = 0; k < 2; k++) {
            float inc = f * vib * (k == 0 ? Cents(-6.0f) : Cents(6.0f));
            s += SawBlep(phase[k], inc);
            phase[k] = Wrap(phase[k] + inc);
        }
        (*out)[i] = SvfRun(&filter, s * 0.5f).low * AdsrNext(&env) * 0.2f * n.velocity;
    }
}

// Two-operator FM bell: the sparkle.
void RenderBell(const Note& n, std::vector<float>* out) {
    out->assign(VoiceLength(n, 2.2f), 0.0f);
    float f = MidiToHz(n.pitch) * InvRate;
    float amp = 0.14f * n.velocity, index = 2.5f;
    float ampFactor = DecayFactor(0.6f), indexFactor = DecayFactor(0.25f);
    float carrier = 0.0f, mod = 0.0f;
    for (int i = 0; i < static_cast<int>(out->size()); i++) {
        float attack = std::min(i / 90.0f, 1.0f);
        float m = std::sin(2.0f * Pi * mod) * (index + 0.3f);
        (*out)[i] = std::sin(2.0f * Pi * carrier + m) * amp * attack;
        carrier = Wrap(carrier + f);
        mod = Wrap(mod + f * 3.0f);
        amp *= ampFactor;
        index *= indexFactor;
    }
}

// Sine with a falling pitch and a soft click: lands exactly on its first sample. The click
// is noise through two low-pass stages at 5 kHz, so it gives the attack without a tick on
// top of every beat. The body holds for a moment and is gone within a quarter second,
// leaving the beat's rest to the bass.
void RenderKick(const Note& n, std::vector<float>* out) {
    out->assign(Seconds(0.3f), 0.0f);
    Noise noise = NoiseFor(n);
    Svf clickA, clickB;
    SvfReset(&clickA);
    SvfSet(&clickA, 5000.0f, 0.7f);
    clickB = clickA;
    float phase = 0.0f, sweep = 1.0f, amp = 1.0f, click = 0.1f;
    float sweepFactor = DecayFactor(0.02f), ampFactor = DecayFactor(0.07f);
    float clickFactor = DecayFactor(0.003f);
    const int hold = Seconds(0.03f);
    for (int i = 0; i < static_cast<int>(out->size()); i++) {
        float soft = SvfRun(&clickB, SvfRun(&clickA, NoiseNext(&noise)).low).low;
        float s = std::sin(2.0f * Pi * phase) * amp + soft * click;
        phase = Wrap(phase + (50.0f + 70.0f * sweep) * InvRate);
        sweep *= sweepFactor;
        amp *= i < hold ? 1.0f : ampFactor;
        click *= clickFactor;
        float fadeOut = std::min((out->size() - i) / 400.0f, 1.0f);
        (*out)[i] = std::tanh(1.8f * s) * 0.7f * n.velocity * fadeOut;
    }
}

// A four-pole roll-off from TopCutoff up, behind every noise voice: bright without hiss at
// the top of the band, where the encoder smears and small speakers fizz.
constexpr float TopCutoff = 9000.0f;

struct TopRollOff {
    Svf a, b;
};

TopRollOff MakeTopRollOff(float hz = TopCutoff) {
    TopRollOff t;
    SvfReset(&t.a);
    SvfSet(&t.a, hz, 0.6f);
    t.b = t.a;
    return t;
}

float RunTopRollOff(TopRollOff* t, float x) {
    return SvfRun(&t->b, SvfRun(&t->a, x).low).low;
}

// Noise above the note's cutoff, rolled off above topHz. The cymbals reach higher than
// the other noise voices: they are the mix's air, and they carry no attack to tick.
constexpr float CymbalTop = 12000.0f;
struct NoiseBand {
    Svf high;
    TopRollOff top;
};

NoiseBand MakeNoiseBand(float lowHz, float q, float topHz) {
    NoiseBand b;
    SvfReset(&b.high);
    SvfSet(&b.high, lowHz, q);
    b.top = MakeTopRollOff(topHz);
    return b;
}

float RunNoiseBand(NoiseBand* b, float x) {
    return RunTopRollOff(&b->top, SvfRun(&b->high, x).high);
}

// Noise through a band/high-pass with an exponential tail, plus an optional body tone.
void RenderNoiseHit(const Note& n, float cutoff, float q, float tail, float tone, float amp,
                    std::vector<float>* out) {
    out->assign(Seconds(tail * 6.0f), 0.0f);
    Noise noise = NoiseFor(n);
    Svf filter;
    SvfReset(&filter);
    SvfSet(&filter, cutoff, q);
    TopRollOff top = MakeTopRollOff();
    float env = 1.0f, toneEnv = tone, factor = DecayFactor(tail), toneFactor = DecayFactor(0.05f);
    for (int i = 0; i < static_cast<int>(out->size()); i++) {
        SvfOut o = SvfRun(&filter, NoiseNext(&noise));
        float body = std::sin(2.0f * Pi * 185.0f * i * InvRate) * toneEnv;
        float attack = std::min(i / 30.0f, 1.0f);
        float hiss = RunTopRollOff(&top, o.band + o.high * 0.5f);
        (*out)[i] = (hiss * env + body) * amp * attack * n.velocity;
        env *= factor;
        toneEnv *= toneFactor;
    }
}

// A hand clap: three quick bursts, then a short room tail, rolled off at the top like the
// other noise voices. Part of the noise is shared by both
// sides and part differs, so the clap stands in the middle of a wide room.
void RenderClap(const Note& n, VoiceSound* out) {
    out->left.assign(Seconds(0.45f), 0.0f);
    out->right.assign(out->left.size(), 0.0f);
    Noise shared = NoiseFor(n), apart = {shared.state ^ 0x9e3779b9u};
    Svf filterL, filterR;
    SvfReset(&filterL);
    SvfSet(&filterL, 1300.0f, 1.3f);
    filterR = filterL;
    TopRollOff topL = MakeTopRollOff(), topR = topL;
    for (int i = 0; i < static_cast<int>(out->left.size()); i++) {
        float t = i * InvRate;
        float env =
            t < 0.03f ? std::exp(-std::fmod(t, 0.01f) / 0.0035f) : std::exp(-(t - 0.03f) / 0.09f);
        float middle = 0.8f * NoiseNext(&shared), side = 0.6f * NoiseNext(&apart);
        float level = env * 0.6f * n.velocity;
        out->left[i] = RunTopRollOff(&topL, SvfRun(&filterL, middle + side).band) * level;
        out->right[i] = RunTopRollOff(&topR, SvfRun(&filterR, middle - side).band) * level;
    }
}

// Band-passed noise, a different sequence on each side: every hit is as wide as the mix.
void RenderHat(const Note& n, float tail, float amp, VoiceSound* out) {
    out->left.assign(Seconds(tail * 5.0f), 0.0f);
    out->right.assign(out->left.size(), 0.0f);
    Noise noiseL = NoiseFor(n), noiseR = {noiseL.state ^ 0x9e3779b9u};
    NoiseBand bandL = MakeNoiseBand(n.cutoff, 0.8f, CymbalTop), bandR = bandL;
    float env = amp * n.velocity, factor = DecayFactor(tail);
    for (int i = 0; i < static_cast<int>(out->left.size()); i++) {
        out->left[i] = RunNoiseBand(&bandL, NoiseNext(&noiseL)) * env;
        out->right[i] = RunNoiseBand(&bandR, NoiseNext(&noiseR)) * env;
        env *= factor;
    }
}

// A crash: six detuned square partials (the metal) and noise, mostly the same on both sides so
// it lands in the middle, over a low thump; the wash rings for about three seconds.
void RenderCrash(const Note& n, VoiceSound* out) {
    static const float Partials[6] = {1.0f, 1.342f, 1.726f, 2.11f, 2.537f, 3.01f};
    out->left.assign(Seconds(3.6f), 0.0f);
    out->right.assign(out->left.size(), 0.0f);
    Noise shared = NoiseFor(n), apart = {shared.state ^ 0x9e3779b9u};
    float phase[6] = {0.0f, 0.21f, 0.43f, 0.57f, 0.78f, 0.9f};
    NoiseBand bandL = MakeNoiseBand(n.cutoff, 0.7f, CymbalTop), bandR = bandL;
    float env = 0.3f * n.velocity, factor = DecayFactor(1.1f);
    float thump = 0.5f * n.velocity, thumpFactor = DecayFactor(0.18f), thumpPhase = 0.0f;
    const int count = static_cast<int>(out->left.size());
    for (int i = 0; i < count; i++) {
        float metal = 0.0f;
        for (int k = 0; k < 6; k++) {
            metal += phase[k] < 0.5f ? 1.0f : -1.0f;
            phase[k] = Wrap(phase[k] + 420.0f * Partials[k] * InvRate);
        }
        float middle = NoiseNext(&shared) + 0.25f * metal, side = 0.35f * NoiseNext(&apart);
        float level = std::min(i / 200.0f, 1.0f) * std::min((count - i) / 4410.0f, 1.0f) * env;
        float low = std::sin(2.0f * Pi * thumpPhase) * thump;
        thumpPhase = Wrap(thumpPhase + (55.0f + 40.0f * thump) * InvRate);
        out->left[i] = RunNoiseBand(&bandL, middle + side) * level + low;
        out->right[i] = RunNoiseBand(&bandR, middle - side) * level + low;
        env *= factor;
        thump *= thumpFactor;
    }
}

// Noise sweeping up over the note: the build before a drop.
void RenderRiser(const Note& n, std::vector<float>* out) {
    out->assign(VoiceLength(n, 0.1f), 0.0f);
    Noise noise = NoiseFor(n);
    Svf filter;
    SvfReset(&filter);
    TopRollOff top = MakeTopRollOff();
    float ratio = std::log(n.cutoff / 300.0f);
    for (int i = 0; i < static_cast<int>(out->size()); i++) {
        float x = std::min(static_cast<float>(i) / n.length, 1.0f);
        if ((i & 15) == 0) {
            SvfSet(&filter, 300.0f * std::exp(ratio * x), 2.0f);
        }
        float fade = i < n.length ? 1.0f : 1.0f - (i - n.length) / (0.1f * SampleRate);
        float swept = RunTopRollOff(&top, SvfRun(&filter, NoiseNext(&noise)).band);
        (*out)[i] = swept * x * x * fade * 0.3f * n.velocity;
    }
}

const VoiceRoute Routes[VoiceCount] = {
    {0.00f, 0.40f, true},   // pad
    {0.00f, 0.02f, false},  // bass: pumping it would smear the kick
    {0.35f, 0.25f, true},   // pluck
    {0.30f, 0.35f, false},  // lead
    {0.45f, 0.55f, false},  // bell
    {0.25f, 0.30f, false},  // stab
    {0.00f, 0.03f, false},  // kick
    {0.05f, 0.20f, false},  // snare
    {0.10f, 0.25f, false},  // clap
    {0.00f, 0.04f, false},  // closed hat
    {0.05f, 0.10f, false},  // open hat
    {0.20f, 0.45f, false},  // riser
    {0.00f, 0.30f, false},  // crash
};

void RenderPluck(const Note& n, std::vector<float>* out) {
    RenderPluckLike(n, 0.28f, 5.0f, 0.22f, out);
}

// The filter opens to five times the cutoff, not more: brighter, the stabs on the beat
// would tick like an unfiltered kick click.
void RenderStab(const Note& n, std::vector<float>* out) {
    RenderPluckLike(n, 0.2f, 4.0f, 0.2f, out);
}

void RenderSnare(const Note& n, std::vector<float>* out) {
    RenderNoiseHit(n, 1900.0f, 0.7f, 0.11f, 0.6f, 0.55f, out);
}

void RenderHatClosed(const Note& n, VoiceSound* out) {
    RenderHat(n, 0.028f, 0.22f, out);
}

void RenderHatOpen(const Note& n, VoiceSound* out) {
    RenderHat(n, 0.16f, 0.2f, out);
}

// A mono voice fills the left side only; the mixer places it.
template <void (*Render)(const Note&, std::vector<float>*)>
void Mono(const Note& n, VoiceSound* out) {
    out->right.clear();
    Render(n, &out->left);
}

using VoiceRender = void (*)(const Note&, VoiceSound*);

const VoiceRender Renders[VoiceCount] = {
    RenderPad,        Mono<RenderBass>,  Mono<RenderPluck>, Mono<RenderLead>, Mono<RenderBell>,
    Mono<RenderStab>, Mono<RenderKick>,  Mono<RenderSnare>, RenderClap,       RenderHatClosed,
    RenderHatOpen,    Mono<RenderRiser>, RenderCrash,
};

}  // namespace

const VoiceRoute& RouteOf(uint8_t voice) {
    return Routes[voice < VoiceCount ? voice : 0];
}

void RenderVoice(const Note& n, VoiceSound* out) {
    if (n.voice < VoiceCount)
        return Renders[n.voice](n, out);
    out->left.clear();
    out->right.clear();
}
