// Building blocks of the music generator: synth voices, sequencer, mixer and encoder.
#pragma once
#include <cstdint>
#include <vector>

// ---- time grid: 125 BPM at 44100 Hz gives whole samples for every sixteenth
constexpr int SampleRate = 44100;
constexpr int BeatSamples = 21168;            // 0.48 s
constexpr int StepSamples = BeatSamples / 4;  // a sixteenth, 0.12 s
constexpr int BarSamples = BeatSamples * 4;   // 1.92 s

// ---- synth building blocks (music_synth.cpp)
struct Adsr {
    float attack;   // seconds to full level
    float decay;    // seconds to (about) the sustain level
    float sustain;  // 0..1
    float release;  // seconds from release to silence
};

struct AdsrState {
    Adsr shape;
    int stage;  // 0 attack, 1 decay/sustain, 2 release, 3 done
    float level;
    float attackStep;   // level added per sample while attacking
    float decayCoef;    // per-sample approach factor towards sustain
    float releaseStep;  // level taken per sample while releasing
    int releaseLeft;    // samples until silence once released
};

void AdsrStart(AdsrState* env, const Adsr& shape);
void AdsrRelease(AdsrState* env);
float AdsrNext(AdsrState* env);

// Topology-preserving state-variable filter (stable under fast modulation).
struct Svf {
    float ic1, ic2;
    float k, a1, a2, a3;
};
struct SvfOut {
    float low, band, high;
};
void SvfReset(Svf* f);
void SvfSet(Svf* f, float cutoffHz, float q);
inline SvfOut SvfRun(Svf* f, float x) {
    float v3 = x - f->ic2;
    float v1 = f->a1 * f->ic1 + f->a2 * v3;
    float v2 = f->ic2 + f->a2 * f->ic1 + f->a3 * v3;
    f->ic1 = 2.0f * v1 - f->ic1;
    f->ic2 = 2.0f * v2 - f->ic2;
    return {v2, v1, x - f->k * v1 - v2};
}

// Band-limited oscillators; phase in [0, 1), inc = frequency / sample rate.
float SawBlep(float phase, float inc);
float SquareBlep(float phase, float inc);
float NaiveSaw(float phase);

struct Noise {
    uint32_t state;
};
float NoiseNext(Noise* n);  // -1..1, fixed sequence for a fixed seed

float MidiToHz(float note);

// ---- voices and notes
enum Voice : uint8_t {
    VoicePad,
    VoiceBass,
    VoicePluck,
    VoiceLead,
    VoiceBell,
    VoiceStab,
    VoiceKick,
    VoiceSnare,
    VoiceClap,
    VoiceHatClosed,
    VoiceHatOpen,
    VoiceRiser,
    VoiceCrash,
    VoiceCount
};

struct Note {
    int start;       // sample of the note-on
    int length;      // samples until note-off (the release follows)
    float pitch;     // MIDI note number
    float velocity;  // 0..1
    float cutoff;    // filter cutoff in Hz where the voice has one
    float pan;       // 0 left .. 1 right
    uint8_t voice;
};

// One rendered note, tail included, from note.start: voices that carry their own width fill
// both sides, the others only left (right stays empty) and take their place from the pan.
struct VoiceSound {
    std::vector<float> left, right;
};
void RenderVoice(const Note& note, VoiceSound* out);

// Per voice: mix routing.
struct VoiceRoute {
    float delaySend;
    float reverbSend;
    bool ducked;  // pumped by the kick
};
const VoiceRoute& RouteOf(uint8_t voice);

// ---- sequencer (music_sequencer.cpp)
inline int StepSample(int bar, int step) {
    return bar * BarSamples + step * StepSamples;
}

struct Chord {
    int bass;      // MIDI root for the bass line
    int tones[4];  // MIDI notes of the voicing, low to high
};

struct Phrase {  // one note of a written melody, in sixteenths from the phrase start
    int step;
    int length;
    int pitch;
};

struct Score {
    int frames;                 // total length in samples
    std::vector<Note> notes;    // in no particular order
    std::vector<float> gainAt;  // master gain points: time (s), gain pairs
    std::vector<float> duckAt;  // duck depth per bar
};

// What plays in a section; several flags may be set.
enum Part : uint32_t {
    PartPad = 1u << 0,
    PartBassLong = 1u << 1,   // one long root per chord
    PartBassPulse = 1u << 2,  // roots on the beats
    PartBassOff = 1u << 3,    // roots on the off-beat eighths
    PartBassRoll = 1u << 4,   // rolling sixteenths between the kicks
    PartArp8 = 1u << 5,
    PartArp16 = 1u << 6,
    PartStab = 1u << 7,  // chord hits on every other beat
    PartMelody = 1u << 8,
    PartKick = 1u << 9,        // four on the floor
    PartClap = 1u << 10,       // beats 2 and 4
    PartSnareHalf = 1u << 11,  // beat 3: the half-time feel
    PartHats8 = 1u << 12,      // off-beat eighths
    PartHats16 = 1u << 13,
    PartOpenHat = 1u << 14,
    PartSparkle = 1u << 15,   // scattered bells
    PartRiser = 1u << 16,     // noise sweep over the last bar
    PartCutTails = 1u << 17,  // notes end with the section (before a fade)
    PartCrash = 1u << 18,     // a cymbal on the section's first downbeat
    PartFill = 1u << 19,      // a clap roll closes the section's last bar
    PartBreak = 1u << 20,     // the last bar drops kick and bass for a snare roll
    PartRiserGap = 1u << 21,  // the riser stops a beat early: a breath before the hit
};

struct Section {
    int firstBar, bars;
    const Chord* chords;
    int chordCount, barsPerChord;
    uint32_t parts;
    float padCutoff0, padCutoff1;  // Hz at the first and after the last bar
    float level0, level1;          // velocity scale at the first and after the last bar
    const Phrase* melody;
    int melodyCount, melodyBars;
    uint8_t melodyVoice;
    float duck;           // depth of the kick's pumping on ducked voices, 0..1
    int sparkle;          // bells per bar
    int melodyShift = 0;  // semitones added to the written melody
    int riserBars = 1;    // the riser sweeps over this many last bars
    int phraseBar = 0;    // bar of the chords and the tune where the section starts
};

void AddNote(Score* score, int start, int length, float pitch, float velocity, uint8_t voice,
             float cutoff, float pan);
// 16 characters, one a sixteenth: 'x' full, 'o' soft, anything else rests.
void AddDrumBar(Score* score, int bar, const char* pattern, uint8_t voice, float velocity,
                float cutoff);
void ScoreSection(Score* score, const Section& section, uint32_t seed);

// The soundtrack's sections in order of their first bar.
extern const Section* const SoundtrackSectionTable;
extern const int SoundtrackSectionCount;
void ScoreSoundtrack(Score* score);
void ScoreJingle(Score* score);

// ---- mixer (music_mixer.cpp)
struct StereoBuffer {
    std::vector<float> left, right;
};

// Renders every note, runs delay and reverb, the master gain and the mastering.
void MixScore(const Score& score, StereoBuffer* out);
float MasterGainAt(const Score& score, float seconds);

// ---- mastering (music_master.cpp)
constexpr float TargetLoudness = -14.0f;  // LUFS, integrated: where streaming players sit
constexpr float PeakCeiling = -2.3f;      // dBTP before encoding; the encoder adds a little

float IntegratedLoudness(const StereoBuffer& pcm, float rate);  // LUFS
float TruePeak(const StereoBuffer& pcm);                        // linear, 8x oversampled
// Brings the mix to TargetLoudness with no true peak above PeakCeiling.
void Master(StereoBuffer* mix);

// ---- encoder (music_mp3.cpp)
bool EncodeMp3(const StereoBuffer& pcm, const char* path);
