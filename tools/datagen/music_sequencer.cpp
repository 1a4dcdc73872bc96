// Pattern sequencer: turns a section (chords, parts, melody) into notes on the sample grid.
#include "music_internal.h"

#include <algorithm>
#include <cmath>

namespace {

// Everything a part needs to place its notes in one bar of a section.
struct BarContext {
    int bar;     // absolute bar
    int index;   // bar within the section
    int phrase;  // bar within the chords and the tune
    const Chord* chord;
    bool chordStarts;  // the chord changes on this bar
    bool lastBar;      // of the section
    int chordBars;     // bars left of this chord inside the section
    float level;
    float padCutoff;
    int cutEnd;  // no note may sound past this sample (tails included)
    uint32_t* rng;
};

// Seconds of sound a voice keeps after its note-off.
int TailOf(uint8_t voice) {
    switch (voice) {
        case VoicePad:
            return 70560;  // 1.6 s
        case VoiceLead:
            return 19845;
        case VoiceBell:
            return 44100;
        default:
            return 4410;
    }
}

void Put(Score* score, const BarContext& c, int start, int length, float pitch, float velocity,
         uint8_t voice, float cutoff, float pan) {
    length = std::min(length, c.cutEnd - TailOf(voice) - start);
    if (length >= StepSamples / 2) {
        AddNote(score, start, length, pitch, velocity, voice, cutoff, pan);
    }
}

uint32_t NextRand(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

void EmitPad(Score* score, const BarContext& c) {
    if (!c.chordStarts) {
        return;
    }
    for (int k = 0; k < 4; k++) {
        Put(score, c, StepSample(c.bar, 0), c.chordBars * BarSamples, c.chord->tones[k],
            c.level * 0.9f, VoicePad, c.padCutoff, 0.1f + 0.8f / 3.0f * k);
    }
}

void EmitBass(Score* score, const BarContext& c, uint32_t parts) {
    // Moving lines sit an octave up: the kick owns the lowest octave. Below G the line
    // takes the fifth instead, which keeps it out of the kick's band without a big leap.
    float root = static_cast<float>(c.chord->bass);
    float up = root + (root < 31.0f ? 19.0f : 12.0f);
    // The off-beat line falls between the kicks, so it can sit low (49 to 87 Hz) and
    // carry the low end that the octave-up lines leave to the 250 Hz band.
    float low = root + (root < 31.0f ? 12.0f : 0.0f);
    float v = c.level;
    if ((parts & PartBassLong) && c.chordStarts) {
        Put(score, c, StepSample(c.bar, 0), c.chordBars * BarSamples - StepSamples, root, v * 0.9f,
            VoiceBass, 300.0f, 0.5f);
    }
    for (int step = 0; step < 16; step++) {
        int start = StepSample(c.bar, step);
        if ((parts & PartBassPulse) && step % 4 == 0) {
            Put(score, c, start, 3 * StepSamples, up, v * 0.85f, VoiceBass, 600.0f, 0.5f);
        }
        if ((parts & PartBassOff) && step % 4 == 2) {
            float pitch = low + (step == 14 ? 12.0f : 0.0f);
            Put(score, c, start, 2 * StepSamples - 600, pitch, v * 0.8f, VoiceBass, 380.0f, 0.5f);
        }
        if ((parts & PartBassRoll) && step % 4 != 0) {
            float pitch = up + (step % 4 == 3 ? 12.0f : 0.0f);
            Put(score, c, start, StepSamples, pitch, v * 0.9f, VoiceBass, 600.0f, 0.5f);
        }
    }
}

void EmitArp(Score* score, const BarContext& c, uint32_t parts) {
    static const int ArpOrder[8] = {0, 2, 1, 3, 2, 4, 3, 1};
    int every = (parts & PartArp16) ? 1 : 2;
    for (int step = 0; step < 16; step += every) {
        int k = ArpOrder[(step / every) % 8];
        float pitch = c.chord->tones[k % 4] + 12.0f * (1 + k / 4);
        float accent = step % 4 == 0 ? 1.0f : 0.75f;
        Put(score, c, StepSample(c.bar, step), every * StepSamples, pitch, c.level * accent * 0.8f,
            VoicePluck, std::min(c.padCutoff * 0.6f, 2400.0f), step % 8 < 4 ? 0.15f : 0.85f);
    }
}

// A chord hit on every counter unit (two beats): what the picture pulses to.
void EmitStab(Score* score, const BarContext& c) {
    for (int step = 0; step < 16; step += 8) {
        for (int k = 0; k < 4; k++) {
            Put(score, c, StepSample(c.bar, step), 2 * StepSamples, c.chord->tones[k] + 12.0f,
                c.level * 0.6f, VoiceStab, 1300.0f, 0.1f + 0.27f * k);
        }
    }
}

void EmitMelody(Score* score, const BarContext& c, const Section& s) {
    int phraseStep = (c.phrase % s.melody.bars) * 16;
    for (int i = 0; i < s.melody.count; i++) {
        const Phrase& p = s.melody.notes[i];
        if (p.step < phraseStep || p.step >= phraseStep + 16) {
            continue;
        }
        float cutoff = std::max(1400.0f, c.padCutoff * 1.2f);
        Put(score, c, StepSample(c.bar, p.step - phraseStep), p.length * StepSamples - 800,
            static_cast<float>(p.pitch + s.melodyShift), c.level * 0.85f, s.melody.voice, cutoff,
            0.45f);
    }
}

// Snare hits on every sixteenth rising from a whisper: the bar before a turn, kick and bass
// left out; with a gap the roll stops a beat early and leaves a breath before the hit.
void EmitSnareRoll(Score* score, const BarContext& c, bool gap) {
    int steps = gap ? 12 : 16;
    for (int step = 0; step < steps; step++) {
        float rise = 0.25f + 0.75f * step / (steps - 1);
        AddNote(score, StepSample(c.bar, step), StepSamples, 60.0f, c.level * rise, VoiceSnare,
                0.0f, step % 2 ? 0.4f : 0.6f);
    }
}

void EmitDrums(Score* score, const BarContext& c, uint32_t parts) {
    float v = c.level;
    if (parts & PartKick) {
        AddDrumBar(score, c.bar, "x...x...x...x...", VoiceKick, v, 0.0f);
    }
    if (parts & PartClap) {
        bool fill = (parts & PartFill) && c.lastBar;
        const char* roll = c.bar % 2 ? "....x...o...xxxx" : "....x.......xoxx";
        AddDrumBar(score, c.bar, fill ? roll : "....x.......x...", VoiceClap, v * 0.8f, 0.0f);
    }
    if (parts & PartSnareHalf) {
        bool fill = (parts & PartFill) && c.lastBar;
        AddDrumBar(score, c.bar, fill ? "........x...xoxx" : "........x.......", VoiceSnare,
                   v * 0.8f, 0.0f);
    }
    // The hats change their figure every four bars, so no stretch repeats for long.
    static const char* const Sixteenths[3] = {"ooxoooxoooxoooxo", "o.xoo.xoo.xoo.xo",
                                              "oox.oox.oox.ooxo"};
    static const char* const Eighths[2] = {"..x...x...x...x.", "..x.o.x...x.o.x."};
    int phrase = c.bar / 4;
    const char* closed = (parts & PartHats16) ? Sixteenths[phrase % 3] : Eighths[phrase % 2];
    if (parts & PartOpenHat) {
        closed = "oo.ooo.ooo.ooo.o";
        AddDrumBar(score, c.bar, "..x...x...x...x.", VoiceHatOpen, v * 0.7f, 7000.0f);
    }
    if (parts & (PartHats8 | PartHats16)) {
        AddDrumBar(score, c.bar, closed, VoiceHatClosed, v, 8000.0f);
    }
}

void EmitSparkle(Score* score, const BarContext& c, int count) {
    for (int i = 0; i < count; i++) {
        int step = NextRand(c.rng) % 16;
        int tone = NextRand(c.rng) % 4;
        float pitch = c.chord->tones[tone] + 12.0f * (1 + NextRand(c.rng) % 2);
        float velocity = c.level * (0.35f + (NextRand(c.rng) % 100) * 0.004f);
        float pan = 0.15f + (NextRand(c.rng) % 100) * 0.007f;
        Put(score, c, StepSample(c.bar, step), StepSamples, pitch, velocity, VoiceBell, 0.0f, pan);
    }
}

BarContext MakeBarContext(const Score& score, const Section& s, int i, uint32_t* rng) {
    BarContext c;
    c.bar = s.firstBar + i;
    c.index = i;
    c.phrase = i + s.phraseBar;
    c.chord = &s.chords.chords[(c.phrase / s.barsPerChord) % s.chords.count];
    c.chordStarts = c.phrase % s.barsPerChord == 0;
    c.lastBar = i == s.bars - 1;
    c.chordBars = std::min(s.barsPerChord - c.phrase % s.barsPerChord, s.bars - i);
    float x = static_cast<float>(i) / s.bars;
    c.level = s.level0 + (s.level1 - s.level0) * x;
    c.padCutoff = s.padCutoff0 * std::pow(s.padCutoff1 / s.padCutoff0, x);
    bool cut = s.parts & PartCutTails;
    c.cutEnd = cut ? StepSample(s.firstBar + s.bars, 0) : score.frames + BarSamples * 8;
    c.rng = rng;
    return c;
}

void EmitBar(Score* score, const BarContext& c, const Section& s) {
    uint32_t parts = s.parts;
    if ((parts & PartBreak) && c.lastBar) {
        parts &= ~(PartKick | PartClap | PartBassLong | PartBassPulse | PartBassOff | PartBassRoll |
                   PartOpenHat | PartStab);
        EmitSnareRoll(score, c, parts & PartRiserGap);
    }
    if (parts & PartPad) {
        EmitPad(score, c);
    }
    EmitBass(score, c, parts);
    if (parts & (PartArp8 | PartArp16)) {
        EmitArp(score, c, parts);
    }
    if (parts & PartStab) {
        EmitStab(score, c);
    }
    if ((s.parts & PartMelody) && s.melody.count > 0) {
        EmitMelody(score, c, s);
    }
    EmitDrums(score, c, parts);
    if (s.parts & PartSparkle) {
        EmitSparkle(score, c, s.sparkle);
    }
    if ((s.parts & PartCrash) && c.index == 0) {
        AddNote(score, StepSample(c.bar, 0), StepSamples, 60.0f, c.level, VoiceCrash, 3000.0f,
                0.5f);
    }
    if ((s.parts & PartRiser) && c.index == s.bars - s.riserBars) {
        int length = s.riserBars * BarSamples - (s.parts & PartRiserGap ? BeatSamples : 0);
        AddNote(score, StepSample(c.bar, 0), length, 60.0f, c.level, VoiceRiser, 9000.0f, 0.5f);
    }
}

}  // namespace

void AddNote(Score* score, int start, int length, float pitch, float velocity, uint8_t voice,
             float cutoff, float pan) {
    if (length <= 0 || velocity <= 0.0f || start < 0 || start >= score->frames) {
        return;
    }
    score->notes.push_back({start, length, pitch, velocity, cutoff, pan, voice});
}

void AddDrumBar(Score* score, int bar, const char* pattern, uint8_t voice, float velocity,
                float cutoff) {
    for (int step = 0; step < 16 && pattern[step]; step++) {
        // The closed hats swing from side to side by the beat, the open ones answer them.
        float pan = voice == VoiceHatClosed ? (step % 8 < 4 ? 0.3f : 0.7f)
                    : voice == VoiceHatOpen ? (step % 8 < 4 ? 0.75f : 0.25f)
                                            : 0.5f;
        char ch = pattern[step];
        if (ch == 'x' || ch == 'o') {
            float v = ch == 'x' ? velocity : velocity * 0.55f;
            AddNote(score, StepSample(bar, step), StepSamples, 60.0f, v, voice, cutoff, pan);
        }
    }
}

void ScoreSection(Score* score, const Section& s, uint32_t seed) {
    int endBar = s.firstBar + s.bars;
    if (static_cast<int>(score->duckAt.size()) < endBar) {
        score->duckAt.resize(endBar, 0.0f);
    }
    for (int i = 0; i < s.bars; i++) {
        BarContext c = MakeBarContext(*score, s, i, &seed);
        score->duckAt[c.bar] = s.duck;
        EmitBar(score, c, s);
    }
}
