// The demo's timeline in counter units (CounterUnitSeconds of music each):
// where each scene starts, how its
// sections divide it, and the black end step after the last scene. The
// scenes and the dispatcher run it, the renderer estimates with it and the
// data generator writes the soundtrack to it, so this header stands alone:
// plain data, no engine types.
#pragma once

// Seconds of music in one counter unit: two beats of the soundtrack at
// 125 BPM. BeatRate in frame.h is the same fact seen from the clock.
constexpr double CounterUnitSeconds = 0.96;

constexpr int SceneCount = 5;
constexpr int EndSceneIndex = SceneCount;  // SceneIndex of the end step

// Counter units of music before each scene; the scenes resynchronise their
// counters to the music minus this at their entry.
inline constexpr int SceneStartOffsets[SceneCount] = {0, 34, 66, 98, 162};

// Each scene's sections in SectionBeat units, in order.
constexpr int MaxSceneSections = 4;
struct SectionList {
    int count;                      // 1..MaxSceneSections
    int lengths[MaxSceneSections];  // counter units
};
inline constexpr SectionList SceneSections[SceneCount] = {
    {3, {8, 8, 18}},        // terrain glides, then the orbit around the spheres
    {1, {32}},              // the wave surface
    {3, {8, 8, 16}},        // two sweeps by day, then the nightfall
    {4, {16, 16, 16, 16}},  // the night moves
    {4, {6, 16, 16, 16}},   // fade-in, credits, greetings, fade-out
};

constexpr int TimelineEnd = 216;  // counter units: where the end step begins
constexpr int EndStepLength = 8;  // counter units of black before quit or loop

constexpr int SceneLength(int scene) {
    int sum = 0;
    for (int i = 0; i < SceneSections[scene].count; ++i) sum += SceneSections[scene].lengths[i];
    return sum;
}

// Each scene starts where the one before it ends, and the last ends at the
// end step; a length changed in one place and not the other stops the build.
constexpr bool TimelineIsContiguous() {
    for (int scene = 0; scene < SceneCount; ++scene) {
        int end = scene + 1 < SceneCount ? SceneStartOffsets[scene + 1] : TimelineEnd;
        if (SceneStartOffsets[scene] + SceneLength(scene) != end)
            return false;
    }
    return SceneStartOffsets[0] == 0;
}
static_assert(TimelineIsContiguous(), "scene starts, section lengths and the end disagree");
