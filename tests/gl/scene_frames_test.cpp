// Whole frames of scenes 0 and 1 with the real data: what each section shows.
// Every frame is also written to <build>/scene_frames/*.ppm for a person to look at.
// The terrain scenes' sight lines are traced through the real height map.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "gl_test_support.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "geometry/vec3.h"
#include "geometry/wave.h"
#include "passes/glow.h"
#include "platform/platform.h"
#include "resources/images.h"
#include "scenes/scenes.h"
#include "show/show.h"

namespace {

constexpr int Width = 320;
constexpr int Height = 240;

// The state of a section, set by hand; the clock stands still, so the
// counters do not move while the frame is drawn.
struct Moment {
    const char* name;
    int scene, section;
    float sectionBeat;
    int formula, palette;  // scene 1 only
};

class SceneFrames : public testing::Test {
   protected:
    static void SetUpTestSuite() {
        haveData = FileExists("data/heightmap.jpg") && FileExists("data/boxed.jpg");
        if (!haveData)
            return;
        UseGlTestContext(Width, Height);
        DemoSettings.aspect = 4.0f / 3.0f;
        DemoSettings.demoPlus = false;
        InitFixedRenderState();
        CreateGlowTexture();
        LoadTextureTable();
        BuildDisplayLists();
        mkdir(NORVALE_BINARY_DIR "/scene_frames", 0755);
    }
    static void TearDownTestSuite() {
        if (haveData)
            UseGlTestContext(GlTestWidth, GlTestHeight);
        ResetPlatformDefaults();
        ResetSceneState();
    }
    void SetUp() override {
        if (!haveData)
            GTEST_SKIP() << "data/ has not been generated";
        SceneTable[0] = RunScene0;
        SceneTable[1] = RunScene1;
        UseManualClock(5000);
        ResetFrameClock();
        ResizeViewport(Width, Height);
    }
    static bool FileExists(const char* path) {
        struct stat info;
        return stat(path, &info) == 0;
    }
    static bool haveData;
};
bool SceneFrames::haveData = false;

void Render(const Moment& m) {
    SceneIndex = m.scene;
    SectionIndex = m.section;
    SectionBeat = m.sectionBeat;
    SceneBeat = 40.0f;  // faded in
    SceneEntry = 0;
    WaveFormula = m.formula;
    WavePalette = m.palette;
    WaveSwitchBeat = static_cast<int32_t>(m.sectionBeat / 8) * 8;
    WaveLastBeat = m.sectionBeat;
    WavePhase = m.sectionBeat;
    // Two frames: the second one's glow comes from the same scene state.
    RenderFrame();
    SectionBeat = m.sectionBeat;
    SectionIndex = m.section;
    SceneIndex = m.scene;
    RenderFrame();
    WritePpm((std::string(NORVALE_BINARY_DIR "/scene_frames/") + m.name + ".ppm").c_str());
}

float Brightness(const Rgb& c) {
    return (c.r + c.g + c.b) / 3.0f;
}

// Average brightness of the rows from fraction y0 to y1 of the height, from the top.
float BandBrightness(float y0, float y1) {
    int top = static_cast<int>(Height * (1.0f - y1)), rows = static_cast<int>(Height * (y1 - y0));
    return Brightness(AverageRgb(0, top, Width, rows));
}

// Share of the pixels in the lower third whose channel c beats both others by 16.
float TintedShare(int c) {
    std::vector<unsigned char> px = ReadRgb(0, 0, Width, Height / 3);
    int count = 0;
    for (size_t i = 0; i < px.size(); i += 3) {
        int mine = px[i + c], a = px[i + (c + 1) % 3], b = px[i + (c + 2) % 3];
        count += mine > a + 16 && mine > b + 16;
    }
    return count / float(px.size() / 3);
}

const Moment Scene0Moments[] = {
    {"scene0_section0_b0", 0, 0, 0.5f, 0, 0},   {"scene0_section0_b4", 0, 0, 4.0f, 0, 0},
    {"scene0_section1_b4", 0, 1, 4.0f, 0, 0},   {"scene0_section2_b4", 0, 2, 4.0f, 0, 0},
    {"scene0_section2_b12", 0, 2, 12.0f, 0, 0}, {"scene0_section2_b17", 0, 2, 17.0f, 0, 0},
};
const Moment Scene1Moments[] = {
    {"scene1_b4", 1, 0, 4.0f, 0, 0},
    {"scene1_b12", 1, 0, 12.0f, 1, 1},
    {"scene1_b20", 1, 0, 20.0f, 2, 2},
    {"scene1_b28", 1, 0, 28.0f, 3, 0},
};

}  // namespace

// The mask image darkens the outermost rows, so the bands lie just inside it.
TEST_F(SceneFrames, OpeningGlideShowsLitTerrainUnderASkyBrightAboveAndBelowTheHorizon) {
    for (const Moment& m : Scene0Moments) Render(m);
    Render(Scene0Moments[1]);
    EXPECT_GT(BandBrightness(0.3f, 0.7f), 25.0f);  // lit terrain and its wireframe
    // Without the terrain the sky cone shows: black rim at the horizon (about
    // a third of the height from the top), brighter towards both apexes.
    unsigned int coarse = DisplayListTable[ListCoarseTerrain];
    DisplayListTable[ListCoarseTerrain] = 0;
    Render(Scene0Moments[1]);
    DisplayListTable[ListCoarseTerrain] = coarse;
    float horizon = BandBrightness(0.3f, 0.36f);
    EXPECT_GT(BandBrightness(0.12f, 0.16f), horizon * 1.5f);
    EXPECT_GT(BandBrightness(0.8f, 0.86f), horizon * 3.0f);
}

// Demo++ adds the faint flare sprites over the glide and nothing else.
TEST_F(SceneFrames, DemoPlusAddsTheFlareLayer) {
    Render(Scene0Moments[1]);
    float plain = Brightness(AverageRgb(0, 0, Width, Height));
    DemoSettings.demoPlus = true;
    Render(Moment{"scene0_section0_b4_demoplus", 0, 0, 4.0f, 0, 0});
    float flared = Brightness(AverageRgb(0, 0, Width, Height));
    Render(Moment{"scene1_b4_demoplus", 1, 0, 4.0f, 0, 0});
    DemoSettings.demoPlus = false;
    EXPECT_GT(flared, plain + 0.3f);  // faint: colour 0.02, added
}

TEST_F(SceneFrames, OrbitShowsTheSpheresAndFadesToBlack) {
    Render(Scene0Moments[4]);
    EXPECT_GT(Brightness(AverageRgb(0, 0, Width, Height)), 20.0f);
    Render(Moment{"scene0_section2_b18", 0, 2, 18.0f, 0, 0});
    EXPECT_FLOAT_EQ(FadeLevel, 0.0f);
    Rgb all = AverageRgb(0, 0, Width, Height);
    EXPECT_LT(Brightness(all), 1.0f);
}

// With Loop on, the sphere cluster turns with the clock: a later play must
// show what a clock that never started again shows at the same moment.
TEST_F(SceneFrames, APlayAfterALoopMatchesTheClockThatRanOn) {
    const Moment orbit = {"orbit-after-loop", 0, 2, 6.0f, 0, 0};
    DemoSettings.loop = true;
    ManualClockMilliseconds = 230000;  // the second play, 230 s into the run
    SceneIndex = 5;
    SceneEntry = 0;
    SceneBeat = 8.01f;
    UpdateFrameClock();
    RunEndScene();
    DemoSettings.loop = false;
    ResetFrameClock();  // the jump to 230 s must not move the counters
    Render(orbit);
    const std::vector<unsigned char> looped = ReadRgb(0, 0, Width, Height);
    FrameClockEpoch = 0;
    Render(orbit);
    EXPECT_TRUE(ReadRgb(0, 0, Width, Height) == looped);
}

// Palettes 0, 1, 2 lean to red, green, blue; the horizon of the sky is bright
// (the mask's graduated filter keeps it a light grey, so it does not clip).
TEST_F(SceneFrames, WaveSceneShowsQuadsInThePaletteColoursUnderAWhiteHorizon) {
    for (const Moment& m : Scene1Moments) {
        Render(m);
        EXPECT_GT(TintedShare(m.palette), 0.005f) << m.name;
        EXPECT_LT(TintedShare((m.palette + 1) % 3), 0.002f) << m.name;
        EXPECT_GT(BandBrightness(0.14f, 0.22f), 140.0f) << m.name;
    }
}

namespace {

// The height map as a scene's meshes lay it out: mesh vertices every `step`
// pixels, pixel (128 + 8x, 128 + 8z) under world (x, z), wrapping; world
// height level / 32 - 1.25. Outside the drawn tiles there is no ground.
struct TerrainView {
    const ImageRecord* map;
    int step;
    float lowest, highest;  // the drawn tiles' extent in x and z
};

float Level(const ImageRecord& map, int c, int r) {
    return map.pixels[((r & 255) * 256 + (c & 255)) * 3];
}

// Height at (x, z); false where no tile is drawn.
bool GroundAt(const TerrainView& t, float x, float z, float& y) {
    if (x < t.lowest || x > t.highest || z < t.lowest || z > t.highest)
        return false;
    float c = (128 + 8 * x) / t.step, r = (128 + 8 * z) / t.step;
    int c0 = int(std::floor(c)), r0 = int(std::floor(r));
    float fc = c - c0, fr = r - r0;
    float top = Level(*t.map, c0 * t.step, r0 * t.step) * (1 - fc) +
                Level(*t.map, (c0 + 1) * t.step, r0 * t.step) * fc;
    float bottom = Level(*t.map, c0 * t.step, (r0 + 1) * t.step) * (1 - fc) +
                   Level(*t.map, (c0 + 1) * t.step, (r0 + 1) * t.step) * fc;
    y = (top * (1 - fr) + bottom * fr) / 32.0f - 1.25f;
    return true;
}

// Distance along a ray to the ground, or `limit` when it meets none before.
float GroundDistance(const TerrainView& t, const float from[3], const float dir[3], float limit) {
    for (float d = 0.05f; d < limit; d += 0.05f) {
        float y;
        if (GroundAt(t, from[0] + dir[0] * d, from[2] + dir[2] * d, y) && from[1] + dir[1] * d < y)
            return d;
    }
    return limit;
}

// Rise per unit across the ground at (x, z), over half a unit either way.
float Steepness(const TerrainView& t, float x, float z) {
    float e, w, n, s;
    if (!GroundAt(t, x + 0.5f, z, e) || !GroundAt(t, x - 0.5f, z, w) ||
        !GroundAt(t, x, z + 0.5f, n) || !GroundAt(t, x, z - 0.5f, s))
        return 0.0f;
    return std::hypot(e - w, n - s);
}

// What one camera pose sees of the terrain.
struct SightReport {
    float steepShare;  // share of the frame filled by slopes over 45 degrees nearer than NearGround
    bool subjectSeen;  // the line to the subject's centre stays clear of the ground
};

constexpr float NearGround = 6.0f;

// Rays through a grid over the frame from the current CameraPose, with the
// camera's own matrices; the subject (if any) is a point it should see.
SightReport TraceSight(const TerrainView& t, const float* subject) {
    float view[16], projection[16];
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ApplyCamera();
    glGetFloatv(GL_MODELVIEW_MATRIX, view);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    const float* eye = CameraPose.position;
    SightReport report{0.0f, true};
    const int columns = 24, rows = 18;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            float e[3] = {((i + 0.5f) / columns * 2 - 1) / projection[0],
                          ((j + 0.5f) / rows * 2 - 1) / projection[5], -1.0f};
            float dir[3];  // the view matrix's rotation is orthonormal: its transpose undoes it
            for (int k = 0; k < 3; ++k)
                dir[k] = view[k * 4 + 0] * e[0] + view[k * 4 + 1] * e[1] + view[k * 4 + 2] * e[2];
            float length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
            for (float& v : dir) v /= length;
            float d = GroundDistance(t, eye, dir, NearGround);
            bool steep =
                d < NearGround && Steepness(t, eye[0] + dir[0] * d, eye[2] + dir[2] * d) > 1;
            report.steepShare += steep ? 1.0f / (columns * rows) : 0.0f;
        }
    if (subject) {
        float dir[3] = {subject[0] - eye[0], subject[1] - eye[1], subject[2] - eye[2]};
        float length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        for (float& v : dir) v /= length;
        report.subjectSeen = GroundDistance(t, eye, dir, length) >= length;
    }
    return report;
}

}  // namespace

// From every camera position of every section over the terrain, steep ground
// stays at a distance (a slope close by fills the frame with one dark face or
// smeared texture) and never hides scene 3's group.
TEST_F(SceneFrames, TerrainKeepsEverySectionsSubjectInViewAndItsSlopesAtADistance) {
    ImageRecord map;
    ASSERT_TRUE(LoadJpegImage("data/heightmap.jpg", &map));
    const TerrainView opening{&map, 16, -16, 18}, field{&map, 1, -48, 48};
    SceneTable[2] = RunScene2;
    SceneTable[3] = RunScene3;
    struct Section {
        int scene, section;
        float length;
        const TerrainView& terrain;
        bool watchesGroup;
    } sections[] = {{0, 0, 8, opening, false}, {0, 1, 8, opening, false}, {2, 0, 8, field, false},
                    {2, 1, 8, field, false},   {2, 2, 16, field, false},  {3, 0, 16, field, true},
                    {3, 1, 16, field, true},   {3, 2, 16, field, true},   {3, 3, 16, field, true}};
    for (const Section& s : sections)
        for (int k = 0; k <= 8; ++k) {
            float b = s.length * k / 8;
            Render({"sight", s.scene, s.section, b, 0, 0});
            float group[3];
            LerpVec3(NightGroupFrom, NightGroupTo, group, b / s.length);
            SightReport r = TraceSight(s.terrain, s.watchesGroup ? group : nullptr);
            std::string where = "scene " + std::to_string(s.scene) + " section " +
                                std::to_string(s.section) + " beat " + std::to_string(b);
            EXPECT_LE(r.steepShare, 0.15f) << where;
            EXPECT_TRUE(r.subjectSeen) << where;
        }
    std::free(map.pixels);
}
