// The two pieces as written: the soundtrack's sections (bars at 125 BPM) and the jingle.
#include "music_internal.h"
#include "frame/timeline.h"

#include <iterator>

namespace {

// Voicings in A minor and its neighbours: bass root, four pad tones.
const Chord ChordAm = {33, {57, 60, 64, 67}};
const Chord ChordAm9 = {33, {55, 59, 60, 64}};
const Chord ChordF = {29, {53, 57, 60, 64}};
const Chord ChordC = {36, {55, 60, 64, 67}};
const Chord ChordG = {31, {55, 59, 62, 67}};
const Chord ChordGsus = {31, {55, 60, 62, 67}};
const Chord ChordE = {28, {56, 59, 64, 68}};
const Chord ChordEm7 = {28, {55, 59, 62, 64}};
const Chord ChordDm = {38, {57, 62, 65, 69}};
const Chord ChordDm7 = {38, {57, 60, 62, 65}};
const Chord ChordBb = {34, {58, 62, 65, 69}};
const Chord ChordGm = {31, {55, 58, 62, 67}};
const Chord ChordA = {33, {57, 61, 64, 69}};
const Chord ChordCmaj7 = {36, {55, 59, 60, 64}};

const Chord OpeningChords[] = {ChordAm, ChordF, ChordC, ChordG};
const Chord DriveChords[] = {ChordAm, ChordG, ChordF, ChordE};
const Chord DayChords[] = {ChordF, ChordC, ChordG, ChordAm};
const Chord DuskChords[] = {ChordDm7, ChordAm, ChordBb, ChordE};
const Chord NightChords[] = {ChordDm, ChordBb, ChordGm, ChordA};
const Chord CloseChords[] = {ChordF, ChordEm7, ChordDm7, ChordCmaj7};
const Chord LastChords[] = {ChordF, ChordGsus, ChordAm9, ChordAm9};
const Chord FadeChords[] = {ChordAm};

// Melodies: sixteenth of the phrase, length in sixteenths, MIDI note.
const Phrase OrbitTune[] = {{0, 12, 76},  {12, 4, 74}, {16, 16, 72},
                            {32, 12, 67}, {44, 4, 72}, {48, 16, 71}};
const Phrase DriveRiff[] = {{0, 2, 69},  {3, 2, 69},  {6, 2, 72},  {8, 2, 76},  {10, 2, 74},
                            {12, 4, 72}, {16, 2, 67}, {19, 2, 67}, {22, 2, 71}, {24, 2, 74},
                            {26, 2, 72}, {28, 4, 71}, {32, 2, 65}, {35, 2, 65}, {38, 2, 69},
                            {40, 2, 72}, {42, 2, 71}, {44, 4, 69}, {48, 2, 68}, {51, 2, 68},
                            {54, 2, 71}, {56, 2, 76}, {58, 2, 74}, {60, 4, 71}};
const Phrase DayTune[] = {{0, 4, 69},   {4, 4, 72},   {8, 12, 76},  {20, 4, 74}, {24, 4, 72},
                          {28, 4, 69},  {32, 4, 67},  {36, 4, 72},  {40, 8, 76}, {48, 8, 79},
                          {56, 4, 76},  {60, 4, 74},  {64, 12, 74}, {76, 4, 71}, {80, 4, 74},
                          {84, 4, 79},  {88, 4, 77},  {92, 4, 76},  {96, 8, 72}, {104, 4, 71},
                          {108, 4, 72}, {112, 16, 69}};
const Phrase DuskTune[] = {{0, 8, 69},   {8, 4, 72},   {12, 4, 74},  {16, 12, 77}, {28, 4, 76},
                           {32, 12, 76}, {44, 4, 72},  {48, 8, 69},  {56, 8, 67},  {64, 8, 65},
                           {72, 4, 69},  {76, 4, 74},  {80, 12, 72}, {92, 4, 70},  {96, 8, 68},
                           {104, 8, 71}, {112, 16, 69}};
const Phrase NightTune[] = {{0, 6, 74},  {6, 2, 76},  {8, 8, 77},   {16, 4, 76},  {20, 4, 74},
                            {24, 8, 69}, {32, 8, 70}, {40, 8, 74},  {48, 6, 77},  {54, 2, 79},
                            {56, 8, 77}, {64, 8, 79}, {72, 4, 77},  {76, 4, 74},  {80, 8, 70},
                            {88, 8, 74}, {96, 8, 73}, {104, 8, 76}, {112, 8, 81}, {120, 8, 73}};
const Phrase CloseTune[] = {{0, 8, 84},  {8, 8, 81},   {16, 8, 79},  {24, 8, 76},  {32, 8, 83},
                            {40, 8, 79}, {48, 16, 76}, {64, 8, 81},  {72, 8, 77},  {80, 8, 76},
                            {88, 8, 74}, {96, 8, 79},  {104, 8, 76}, {112, 16, 72}};

constexpr uint32_t BeatParts = PartKick | PartClap | PartHats16 | PartFill;

// A counter unit of the scenes is half a bar: where scene k and its section j start, in bars.
constexpr int FindSceneBar(int scene) {
    return SceneStartOffsets[scene] / 2;
}
constexpr int FindSectionBar(int scene, int section) {
    int units = SceneStartOffsets[scene];
    for (int i = 0; i < section; i++) units += SceneSections[scene].lengths[i];
    return units / 2;
}
// Scene 1 changes the surface's form and colours every 8 units: every four bars.
constexpr int WaveBar(int change) {
    return FindSceneBar(1) + 4 * change;
}

// Every picture cut lands on a section start with a crash or a change of groove (or both),
// and the bar before most cuts ends in a fill. Scene 2's nightfall is one arc: the beat
// drops out at dusk and comes back as the pad opens, the riser ending on the night's crash.
const Section SoundtrackSections[] = {
    // Scene 0: the two glides build, the orbit runs and fades over its last bar.
    {0, 4, ListChords(OpeningChords), 1, PartPad | PartSparkle, 260, 1100, 0.7f, 0.85f, NoTune, 0,
     2},
    {FindSectionBar(0, 1), 4, ListChords(OpeningChords), 1,
     PartPad | PartBassLong | PartArp8 | PartKick | PartHats8 | PartSparkle | PartRiser, 1100, 2200,
     0.75f, 0.9f, NoTune, 0.2f, 1},
    {FindSectionBar(0, 2), 8, ListChords(OpeningChords), 1,
     PartCrash | PartPad | PartBassOff | PartArp16 | BeatParts | PartMelody, 2200, 2600, 0.95f,
     1.0f, ListTune(OrbitTune, 4, VoiceLead), 0.35f, 0},
    {FindSceneBar(1) - 1, 1, ListChords(FadeChords), 1,
     PartPad | PartBassOff | PartArp16 | BeatParts | PartCutTails, 2600, 1200, 0.95f, 0.6f, NoTune,
     0.35f, 0},
    // Scene 1: driving; the surface changes form every four bars, so does the music.
    {WaveBar(0), 4, ListChords(DriveChords), 1,
     PartCrash | PartPad | PartBassRoll | PartStab | BeatParts, 1500, 1500, 1.0f, 1.0f, NoTune,
     0.55f, 0},
    {WaveBar(1), 4, ListChords(DriveChords), 1,
     PartCrash | PartPad | PartBassOff | PartArp16 | PartKick | PartClap | PartHats8 | PartOpenHat |
         PartFill,
     1800, 1800, 1.0f, 1.0f, NoTune, 0.45f, 0},
    {WaveBar(2), 4, ListChords(DriveChords), 1,
     PartCrash | PartPad | PartBassRoll | PartStab | BeatParts | PartMelody, 2000, 2000, 1.0f, 1.0f,
     ListTune(DriveRiff, 4, VoiceLead), 0.55f, 0},
    {WaveBar(3), 4, ListChords(DriveChords), 1,
     PartCrash | PartPad | PartBassPulse | PartArp16 | PartStab | PartKick | PartSnareHalf |
         PartHats16 | PartOpenHat | PartMelody | PartRiser | PartRiserGap | PartBreak,
     2200, 2600, 1.0f, 1.0f, ListTune(DriveRiff, 4, VoiceLead), 0.5f, 0},
    // Scene 2: broad and melodic by day; the second sweep brings the claps; then the nightfall.
    {FindSectionBar(2, 0), 4, ListChords(DayChords), 2,
     PartCrash | PartPad | PartBassPulse | PartArp8 | PartKick | PartSnareHalf | PartHats8 |
         PartMelody,
     2600, 2600, 1.0f, 0.9f, ListTune(DayTune, 8, VoiceLead), 0.25f, 0},
    {FindSectionBar(2, 1), 4, ListChords(DayChords), 2,
     PartCrash | PartPad | PartBassOff | PartArp16 | BeatParts | PartMelody, 2600, 2600, 0.95f,
     0.95f, ListTune(DayTune, 8, VoiceLead), 0.35f, 0, 0, 1, 4},
    {FindSectionBar(2, 2), 4, ListChords(DuskChords), 2,
     PartCrash | PartPad | PartBassLong | PartMelody | PartSparkle, 500, 1100, 0.7f, 0.8f,
     ListTune(DuskTune, 8, VoiceLead), 0.0f, 1},
    {FindSectionBar(2, 2) + 4, 4, ListChords(DuskChords), 2,
     PartPad | PartBassPulse | PartArp8 | PartKick | PartHats16 | PartSnareHalf | PartMelody |
         PartRiser | PartRiserGap | PartBreak,
     1100, 3400, 0.8f, 1.0f, ListTune(DuskTune, 8, VoiceLead), 0.3f, 0, 0, 2, 4},
    // Scene 3: night, four parts of eight bars.
    {FindSectionBar(3, 0), 8, ListChords(NightChords), 2,
     PartCrash | PartPad | PartBassLong | PartSparkle, 450, 700, 0.8f, 0.9f, NoTune, 0.0f, 1},
    {FindSectionBar(3, 1), 8, ListChords(NightChords), 2,
     PartPad | PartBassPulse | PartArp8 | PartKick | PartHats8 | PartRiser | PartRiserGap |
         PartBreak,
     700, 1000, 0.8f, 0.9f, NoTune, 0.3f, 0},
    {FindSectionBar(3, 2), 8, ListChords(NightChords), 2,
     PartCrash | PartPad | PartBassOff | PartStab | BeatParts, 1000, 1200, 0.95f, 0.95f, NoTune,
     0.45f, 0},
    // The last two bars, where the camera flies into the cube and the picture goes black,
    // break down to the pad, the long bass and a few bells closing over them.
    {FindSectionBar(3, 3), 6, ListChords(NightChords), 2,
     PartCrash | PartPad | PartBassOff | PartArp16 | PartStab | BeatParts | PartOpenHat |
         PartMelody,
     1300, 1500, 1.0f, 1.0f, ListTune(NightTune, 8, VoiceLead), 0.45f, 0},
    {FindSectionBar(3, 3) + 6, 2, ListChords(NightChords), 2, PartPad | PartBassLong | PartSparkle,
     1500, 600, 0.85f, 0.7f, NoTune, 0.0f, 1, 0, 1, 6},
    // Scene 4: the close. Its picture opens black, and so does the music, a dark pad and
    // bells until the credits, which bring bass, arpeggio and tune back; the greetings
    // bring the beat back for the last minute, then the fade.
    {FindSectionBar(4, 0), 3, ListChords(CloseChords), 2, PartPad | PartSparkle, 700, 1100, 0.8f,
     0.85f, NoTune, 0.0f, 2},
    {FindSectionBar(4, 1), 8, ListChords(CloseChords), 2,
     PartCrash | PartPad | PartBassLong | PartArp8 | PartMelody, 1300, 1500, 0.85f, 0.85f,
     ListTune(CloseTune, 8, VoiceBell), 0.0f, 0},
    {FindSectionBar(4, 2), 8, ListChords(CloseChords), 2,
     PartCrash | PartPad | PartBassOff | PartArp8 | PartKick | PartHats8 | PartMelody, 1500, 1500,
     0.9f, 0.9f, ListTune(CloseTune, 8, VoiceLead), 0.3f, 1, -12},
    {FindSectionBar(4, 3), 8, ListChords(LastChords), 2, PartPad | PartBassLong | PartSparkle, 1400,
     600, 0.85f, 0.6f, NoTune, 0.0f, 1},
};

constexpr float SoundtrackSeconds = 218.0f;

void SetGain(Score* score, std::initializer_list<float> points) {
    score->gainAt.assign(points.begin(), points.end());
}

// The chord the piece ends on, from the end step's first moment: it rings out into the
// black instead of the music stopping dead.
void AddLastChord(Score* score, int start) {
    int length = 3 * BarSamples;
    for (int k = 0; k < 4; k++) {
        AddNote(score, start, length, ChordAm9.tones[k], 0.8f, VoicePad, 900.0f, 0.2f + 0.2f * k);
        AddNote(score, start + 900 * k, StepSamples, ChordAm9.tones[k] + 24.0f, 0.6f - 0.1f * k,
                VoiceBell, 0.0f, 0.3f + 0.13f * k);
    }
    AddNote(score, start, length, ChordAm9.bass, 0.7f, VoiceBass, 300.0f, 0.5f);
}

}  // namespace

const Section* const SoundtrackSectionTable = SoundtrackSections;
const int SoundtrackSectionCount = static_cast<int>(std::size(SoundtrackSections));

void ScoreSoundtrack(Score* score) {
    score->frames = static_cast<int>(SoundtrackSeconds * SampleRate);
    score->notes.clear();
    score->duckAt.clear();
    uint32_t seed = 20261207u;
    for (const Section& s : SoundtrackSections) {
        ScoreSection(score, s, seed++);
    }
    AddLastChord(score, StepSample(TimelineEnd / 2, 0));
    // An arc rather than a plateau: the glides and the orbit build under the drop, the wave
    // scene eases off, the night climbs to the piece's loudest, the greetings hold it. The
    // opening fades over its last bar; a beat of near-silence before the night's crash and
    // before the greetings makes their hits land; the music sinks with the picture's
    // blackout before the close and rises with the credits; the close fades and its last chord
    // rings out into the end step, silent before the step is over.
    // clang-format off
    SetGain(score, {0.0f, 0.6f,       30.72f, 0.7f,     32.64f, 0.0f,
                    32.64f, 1.0f,     61.44f, 0.7f,
                    93.6f, 0.85f,     93.72f, 0.3f,     94.08f, 0.3f,
                    94.08f, 0.85f,    140.16f, 1.0f,
                    151.68f, 1.0f,    153.6f, 0.6f,     161.28f, 0.6f,
                    161.28f, 0.9f,    176.16f, 1.0f,    176.28f, 0.25f,   176.64f, 0.25f,
                    176.64f, 1.0f,    192.0f, 1.0f,     199.68f, 0.5f,
                    207.36f, 0.35f,   213.5f, 0.0f,     SoundtrackSeconds, 0.0f});
    // clang-format on
}

// A rising pad in three chords, a noise swell and bells that thicken towards the tenth
// second, when the logo stands at full colour; then the last chord holds under the logo and
// fades with it, a second chime marking the hold. The logo is gone about 18 s after the
// jingle starts, later when loading is slow, so the piece lasts 22 s.
void ScoreJingle(Score* score) {
    score->frames = 22 * SampleRate;
    score->notes.clear();
    score->duckAt.assign(16, 0.0f);
    const Chord* chords[3] = {&ChordF, &ChordGsus, &ChordAm9};
    const float starts[4] = {0.0f, 4.2f, 8.6f, 19.0f};
    for (int c = 0; c < 3; c++) {
        int start = static_cast<int>(starts[c] * SampleRate);
        int length = static_cast<int>((starts[c + 1] - starts[c] + 0.6f) * SampleRate);
        float velocity = 0.55f + 0.2f * c;
        for (int k = 0; k < 4; k++) {
            AddNote(score, start, length, chords[c]->tones[k] + 12.0f * (k == 3), velocity,
                    VoicePad, 500.0f + 900.0f * c, 0.2f + 0.2f * k);
        }
        AddNote(score, start, length, chords[c]->bass + 12.0f, velocity * 0.6f, VoiceBass, 120.0f,
                0.5f);
    }
    AddNote(score, static_cast<int>(1.5f * SampleRate), static_cast<int>(8.3f * SampleRate), 60.0f,
            0.4f, VoiceRiser, 7000.0f, 0.5f);
    // Bells: the gap shrinks from 0.9 s to 0.12 s towards 10 s, pitches climb the chord.
    uint32_t seed = 77u;
    const int BellTones[] = {69, 72, 76, 79, 81, 84, 88, 91, 93};
    float t = 1.0f;
    for (int i = 0; t < 10.2f; i++) {
        float x = t / 10.0f;
        seed = seed * 1664525u + 1013904223u;
        int top = 3 + static_cast<int>(x * 6.0f);
        int pitch = BellTones[(seed >> 12) % top];
        AddNote(score, static_cast<int>(t * SampleRate), 2000, static_cast<float>(pitch),
                0.35f + 0.5f * x, VoiceBell, 0.0f, (i % 2) ? 0.3f : 0.7f);
        t += 0.9f - 0.78f * x;
    }
    for (int k = 0; k < 4; k++) {  // the landing chime
        AddNote(score, static_cast<int>((10.0f + 0.09f * k) * SampleRate), 2000,
                static_cast<float>(BellTones[4 + k]), 0.8f - 0.1f * k, VoiceBell, 0.0f,
                0.3f + 0.13f * k);
    }
    for (int k = 0; k < 4; k++) {  // the hold's chime, softer and lower
        AddNote(score, static_cast<int>((13.5f + 0.12f * k) * SampleRate), 2000,
                static_cast<float>(BellTones[3 - k]), 0.5f - 0.08f * k, VoiceBell, 0.0f,
                0.7f - 0.13f * k);
    }
    SetGain(score, {0.0f, 0.0f, 0.4f, 1.0f, 13.0f, 1.0f, 16.0f, 0.75f, 22.0f, 0.0f});
}
