// Where the terrain scenes put their cameras and what they look at. The
// scenes fly these tables, and the data generator shapes the height map
// around them, so this header stands alone: plain data, no engine types.
#pragma once

// One straight camera move of a section: both ends of the position (world
// units) and of the angles (degrees).
struct CameraMove {
    float fromPosition[3], toPosition[3];
    float fromAngles[3], toAngles[3];
};

// Scene 0's two glides over the lit terrain (start and end position; the
// angles follow the section counter), and the centre of the sphere cluster
// its orbit circles.
inline constexpr float OpeningGlides[2][2][3] = {
    {{-18, 4, 0}, {-10, 3, -5}},
    {{-10, 4, -5}, {-10, 3, 5}},
};
inline constexpr float SphereClusterCentre[3] = {0, 7, 0};

// Scene 2: one move per section, blended by SectionBeat / its length.
inline constexpr CameraMove NightfallMoves[3] = {
    {{-20, 3, 0}, {0, 1, 0}, {-60, -30, -10}, {10, 30, 10}},
    {{20, 3, 0}, {0, 1, 0}, {5, 90, 20}, {-5, 100, -20}},
    {{0, 3, 20}, {0, 1, 30}, {-25, 15, 40}, {10, 5, -15}},
};

// Scene 3: one move per section, blended by SectionBeat / 16, while the
// cube and lattice group drifts from its start to its end in every section.
inline constexpr CameraMove NightMoves[4] = {
    {{-7, 1, -16}, {0, 2, -16}, {5, 190, 10}, {15, 180, -10}},
    {{-16, 1, 0}, {-16, 2, 7}, {5, -120, 10}, {15, -65, -10}},
    {{16, 3, 0}, {16, 2, 7}, {15, 130, 10}, {5, 66, -10}},
    {{-20, 1, 0}, {-2.5f, 5, 0}, {10, -90, 10}, {15, -90, -10}},
};
inline constexpr float NightGroupFrom[3] = {8, 5, 8}, NightGroupTo[3] = {0, 5, 0};
