// Scenes 2 and 3: entries, section ends, camera poses (with scene 0's), the nightfall
// look, skipped layers, fades, frames.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "geometry/lattice.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "gl_test_support.h"
#include "platform/platform.h"
#include "resources/images.h"
#include "scenes/scenes.h"
#include "show/show.h"

namespace {

// Primitives the GL generated while fn ran, clipped or not.
GLuint PrimitivesOf(const std::function<void()>& fn) {
    GLuint query = 0, count = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_PRIMITIVES_GENERATED, query);
    fn();
    glEndQuery(GL_PRIMITIVES_GENERATED);
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &count);
    glDeleteQueries(1, &query);
    return count;
}

struct NightScenes : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(UseSceneTestContext());
        // Black images: unlit layers add nothing, so only sky and cube show.
        for (int slot : {TextureFlare, TextureStars, TextureLights})
            TextureTable[slot] = MakeSolidTexture(4, 4, 0, 0, 0);
        UseSceneMusicLog();
        UseManualClock(1000);
        ResetFrameClock();
        DemoSettings.demoPlus = true;  // as every pass after scene 2's entry
        glMatrixMode(GL_MODELVIEW);
    }
    void TearDown() override {
        ResetSceneMusicDefaults();
        ResetPlatformDefaults();
        ResetSceneState();
        DemoSettings.demoPlus = false;
        for (unsigned int& name : TextureTable) name = 0;  // names of this test's context
        for (unsigned int& name : DisplayListTable) name = 0;
    }
    static void Enter(int scene, int section, float beat) {
        SceneIndex = scene;
        SectionIndex = section;
        SectionBeat = beat;
        SceneBeat = 40.0f;  // past scene 2's fade-in
        SceneEntry = 0;
    }
    static void RunAt(int scene, int section, float beat) {
        Enter(scene, section, beat);
        SceneTable[scene]();
    }
    // Every terrain tile a single triangle.
    static void MakeOneTriangleTiles() {
        DisplayListTable[ListMediumTerrain] = DisplayListTable[ListFineTerrain] = glGenLists(1);
        glNewList(DisplayListTable[ListMediumTerrain], GL_COMPILE);
        glBegin(GL_TRIANGLES);
        glVertex3f(0, 0, 0);
        glVertex3f(1, 0, 0);
        glVertex3f(0, 1, 0);
        glEnd();
        glEndList();
    }
    // Pixels brighter than the night sky can be, and the mean brightness
    // (0..255), of one whole frame.
    static int LitPixels(int scene, int section, float beat, float* mean = nullptr) {
        Enter(scene, section, beat);
        RenderFrame();
        std::vector<unsigned char> rgb = ReadRgb(0, 0, GlTestWidth, GlTestHeight);
        int lit = 0;
        double sum = 0;
        for (size_t i = 0; i < rgb.size(); i += 3) {
            int v = rgb[i] + rgb[i + 1] + rgb[i + 2];
            lit += v > 150;
            sum += v;
        }
        if (mean)
            *mean = static_cast<float>(sum / rgb.size());
        return lit;
    }
};

void ExpectVec3(const float* v, float x, float y, float z, const char* what) {
    EXPECT_NEAR(v[0], x, 1e-5) << what;
    EXPECT_NEAR(v[1], y, 1e-5) << what;
    EXPECT_NEAR(v[2], z, 1e-5) << what;
}

}  // namespace

TEST_F(NightScenes, Scene2EntrySetsDemoPlusForGoodAndScene3StartsUnfaded) {
    DemoSettings.demoPlus = false;  // the dialog's box left clear
    Enter(2, 3, 0.5f);
    SceneEntry = 1;
    SceneBeat = 32.0f;  // scene 1's counter at its hand-over
    Music.seconds = SecondsForBeat(66, 0.25f);
    ManualClockMilliseconds = 9000;
    RunScene2();
    EXPECT_TRUE(DemoSettings.demoPlus);
    EXPECT_FLOAT_EQ(FadeLevel, 1.0f);  // faded by the counter it found
    EXPECT_EQ(SectionIndex, 0);
    EXPECT_NEAR(SectionBeat, 0.25f, 1e-4);
    EXPECT_EQ(Music.plays, 1);
    EXPECT_FALSE(Music.playRestart);
    EXPECT_EQ(Music.seeks, 0);
    EXPECT_FLOAT_EQ(FrameClock.smoothedDelta, 0.0f);
    RunScene2();
    EXPECT_NEAR(FadeLevel, 0.125f, 1e-5);  // two units of fade-in

    Enter(2, 2, 16.5f);
    RunScene2();
    EXPECT_EQ(SceneIndex, 3);
    EXPECT_EQ(SceneEntry, 1);
    EXPECT_TRUE(GradeContrast);
    Music.seconds = SecondsForBeat(98, 0.5f);
    RunScene3();
    EXPECT_TRUE(DemoSettings.demoPlus);
    EXPECT_FALSE(GradeContrast);
    EXPECT_FLOAT_EQ(FadeLevel, 1.0f);
}

TEST_F(NightScenes, Scene2GlowPeaksAtSunsetAndGradeGoesFromDayToWhite) {
    RunAt(2, 1, 4.0f);
    ExpectVec3(GlowColor, 0.5f, 0.45f, 0.4f, "day glow");
    EXPECT_FALSE(GradeContrast);
    RunAt(2, 2, 4.0f);
    ExpectVec3(GlowColor, 0.6f, 0.55f, 0.1f, "glow at 4");
    EXPECT_TRUE(GradeContrast);
    RunAt(2, 2, 8.0f);
    EXPECT_EQ(GlowColor[0], 0.7f);
    EXPECT_EQ(GlowColor[1], 0.65f);
    EXPECT_EQ(GlowColor[2], -0.2f);  // exactly the sunset glow, negative blue kept
    // Past dusk: (dusk + night) / 2 at the rim, halfway to white.
    ExpectVec3(GradeColor, 0.5875f, 0.5775f, 0.57f, "grade at n = 0.5");
    RunAt(2, 2, 12.0f);
    ExpectVec3(GlowColor, 0.6f, 0.55f, 0.1f, "glow at 12");
    RunAt(2, 2, 16.0f);
    ExpectVec3(GradeColor, 1, 1, 1, "grade at n = 1");
}

TEST_F(NightScenes, SectionsEndOnlyPastTheirLengthAndCarryTheOvershoot) {
    struct Case {
        int scene, section;
        float beat;
        int nextScene, nextSection;
        float nextBeat;
    };
    const Case cases[] = {
        {2, 0, 8.0f, 2, 0, 8.0f},   {2, 0, 8.25f, 2, 1, 0.25f},  {2, 2, 16.0f, 2, 2, 16.0f},
        {2, 2, 16.5f, 3, 3, 0.5f},  {3, 0, 16.5f, 3, 1, 0.5f},   {3, 2, 16.25f, 3, 3, 0.25f},
        {3, 3, 16.0f, 3, 3, 16.0f}, {3, 3, 16.25f, 4, 3, 0.25f},
    };
    for (const Case& c : cases) {
        RunAt(c.scene, c.section, c.beat);
        SCOPED_TRACE(testing::Message()
                     << "scene " << c.scene << " section " << c.section << " beat " << c.beat);
        EXPECT_EQ(SceneIndex, c.nextScene);
        EXPECT_EQ(SectionIndex, c.nextSection);  // stays 3 at scene 3's hand-over
        EXPECT_FLOAT_EQ(SectionBeat, c.nextBeat);
        EXPECT_EQ(SceneEntry, c.nextScene != c.scene ? 1 : 0);
        EXPECT_FLOAT_EQ(SceneBeat, 40.0f);
    }
}

// Poses worked out by hand from the scenes' tables: section starts, the middle of a
// move and its last pass. Scene 0's orbit turns 90 degrees by beat 8 and 202.5 by 18.
TEST_F(NightScenes, TerrainScenesPutTheCameraWhereTheirTablesSay) {
    struct Case {
        int scene, section;
        float beat, position[3], angles[3];
    };
    const Case cases[] = {
        {0, 0, 0.0f, {-18, 4, 0}, {-10, -100, -10}},
        {0, 0, 4.0f, {-14, 3.5f, -2.5f}, {-6, -92, -2}},
        {0, 1, 8.0f, {-10, 3, 5}, {-2, -84, 6}},
        {0, 2, 0.0f, {20, 4, 0}, {-10, 90, -10}},
        {0, 2, 8.0f, {0, 5.777778f, 20}, {-8, 0, -2}},
        {0, 2, 18.0f, {-18.477591f, 8, -7.653669f}, {-5.5f, -112.5f, 8}},
        {2, 0, 0.0f, {-20, 3, 0}, {-60, -30, -10}},
        {2, 0, 4.0f, {-10, 2, 0}, {-25, 0, 0}},
        {2, 1, 8.0f, {0, 1, 0}, {-5, 100, -20}},
        {2, 2, 8.0f, {0, 2, 25}, {-7.5f, 10, 12.5f}},
        {2, 2, 16.0f, {0, 1, 30}, {10, 5, -15}},
        {3, 0, 0.0f, {-7, 1, -16}, {5, 190, 10}},
        {3, 1, 8.0f, {-16, 1.5f, 3.5f}, {10, -92.5f, 0}},
        {3, 2, 4.0f, {16, 2.75f, 1.75f}, {12.5f, 114, 5}},
        {3, 3, 16.0f, {-2.5f, 5, 0}, {15, -90, -10}},
    };
    const SceneFunction scenes[] = {RunScene0, nullptr, RunScene2, RunScene3};
    for (const Case& c : cases) {
        Enter(c.scene, c.section, c.beat);
        scenes[c.scene]();
        SCOPED_TRACE(testing::Message()
                     << "scene " << c.scene << " section " << c.section << " beat " << c.beat);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(CameraPose.position[i], c.position[i], 1e-4) << "position " << i;
            EXPECT_NEAR(CameraPose.angles[i], c.angles[i], 1e-4) << "angle " << i;
        }
    }
}

TEST_F(NightScenes, Scene3FadesOverItsLastHalfUnitAndLightsTheCubeFromSection2) {
    RunAt(3, 1, 0.5f);  // full pulse
    EXPECT_FLOAT_EQ(FadeLevel, 1.0f);
    ExpectVec3(LightAmbient, -0.4f, -0.4f, -0.2f, "section 1");
    RunAt(3, 2, 0.5f);
    ExpectVec3(LightAmbient, 1.6f, 0.6f, 0.3f, "section 2");
    RunAt(3, 3, 15.75f);
    EXPECT_FLOAT_EQ(FadeLevel, 0.5f);
    RunAt(3, 3, 16.0f);
    EXPECT_FLOAT_EQ(FadeLevel, 0.0f);
}

TEST_F(NightScenes, Scene2DrawsTheNightTerrainAndStarsOnlyOnceNIsAboveZero) {
    MakeOneTriangleTiles();
    GLuint tiles = PrimitivesOf(DrawTerrainTiles);
    GLuint cube = PrimitivesOf(DrawCube);
    ASSERT_GT(tiles, 0u);
    GLuint day = PrimitivesOf([] { RunAt(2, 0, 4.0f); });
    EXPECT_EQ(PrimitivesOf([] { RunAt(2, 2, 0.0f); }), day);
    // Night terrain over the day one, and two star layers.
    EXPECT_EQ(PrimitivesOf([] { RunAt(2, 2, 0.5f); }), day + tiles + 2 * cube);
}

// The night layer keeps its colour's opacity n: set before the pass row, the
// row's opaque colour would cover the day terrain at once.
TEST_F(NightScenes, Scene2NightTerrainIsDrawnWithOpacityN) {
    DisplayListTable[3] = DisplayListTable[4] = glGenLists(1);
    glNewList(DisplayListTable[3], GL_COMPILE);  // every tile a wide quad: some of it in view
    glBegin(GL_QUADS);
    const float corners[4][2] = {{-9, -9}, {9, -9}, {9, 9}, {-9, 9}};
    for (const auto& corner : corners) glVertex3f(corner[0], corner[1], 0);
    glEnd();
    glEndList();
    std::vector<GLfloat> feedback(1 << 20);
    glFeedbackBuffer(GLsizei(feedback.size()), GL_3D_COLOR, feedback.data());
    glRenderMode(GL_FEEDBACK);
    RunAt(2, 2, 4.0f);  // n = 0.25
    GLint used = glRenderMode(GL_RENDER);
    // Vertices are x, y, z, r, g, b, a; look for the layer's colour.
    int nightVertices = 0;
    for (GLint i = 0; i < used;) {
        GLint token = GLint(feedback[i++]), count = 1;
        if (token == GL_POLYGON_TOKEN)
            count = GLint(feedback[i++]);
        else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN)
            count = 2;
        else if (token == GL_PASS_THROUGH_TOKEN)
            count = 0, ++i;
        for (; count > 0; --count, i += 7) {
            const GLfloat* c = &feedback[i + 3];
            nightVertices += std::fabs(c[0] - 0.55f) < 1e-3f && std::fabs(c[2] - 0.6f) < 1e-3f &&
                             std::fabs(c[3] - 0.25f) < 1e-3f;
        }
    }
    EXPECT_GT(nightVertices, 0);
}

TEST_F(NightScenes, Scene3LatticeAndLightSpritesWaitUntilTheirAmountPassesAHundredth) {
    GLuint shell = PrimitivesOf([] { DrawLatticeShell(20, 0.5f); });
    GLuint sprites = PrimitivesOf([] { DrawSpriteCloud(32, 8, 32, 10, 5); });
    GLuint before = PrimitivesOf([] { RunAt(3, 0, 0.0f); });
    EXPECT_EQ(PrimitivesOf([] { RunAt(3, 0, 0.16f); }), before);  // 0.16 / 16 is not above 0.01
    EXPECT_EQ(PrimitivesOf([] { RunAt(3, 0, 0.17f); }), before + shell + sprites);
}

TEST_F(NightScenes, Scene2SkyDarkensAcrossTheNightfallAndScene3ShowsTheCubeFromSection1) {
    float day = 0, dusk = 0, night = 0;
    LitPixels(2, 0, 4.0f, &day);
    LitPixels(2, 2, 0.5f, &dusk);
    LitPixels(2, 2, 15.5f, &night);
    EXPECT_GT(day, 80.0f);
    EXPECT_GT(dusk, 80.0f);
    EXPECT_LT(night, 25.0f);
    EXPECT_EQ(LitPixels(3, 0, 8.0f), 0);
    for (int section = 1; section < 4; ++section)
        EXPECT_GT(LitPixels(3, section, 8.0f), 500) << "section " << section;
}

// Every scene's passes as GL receives them (texture slot, blending, depth
// test and writes, lighting, blend factors) over a frame in each section,
// with and without Demo++, folded into one number a scene: the same on any
// renderer, unlike the checkpoint frames. A deliberate change of a pass
// table changes its scene's number; the failure prints the trace.
TEST_F(NightScenes, EveryScenesPassTableReachesGl) {
    static std::string trace;
    PassMark = [](const char* label, int texture) {  // each line: what its step left
        GLint v[3];
        glGetIntegerv(GL_BLEND_SRC, v);
        glGetIntegerv(GL_BLEND_DST, v + 1);
        glGetIntegerv(GL_DEPTH_WRITEMASK, v + 2);
        char line[96];
        std::snprintf(line, sizeof line, " %d%d%d%d %x %x\n%s %d:", glIsEnabled(GL_BLEND),
                      glIsEnabled(GL_DEPTH_TEST), v[2], glIsEnabled(GL_LIGHTING), v[0], v[1], label,
                      texture);
        trace += line;
    };
    const int moments[][3] = {{0, 0, 4},  {0, 1, 4}, {0, 2, 4},  {0, 2, 17}, {1, 0, 4}, {2, 0, 4},
                              {2, 1, 4},  {2, 2, 4}, {2, 2, 12}, {3, 0, 8},  {3, 1, 8}, {3, 2, 8},
                              {3, 3, 15}, {4, 0, 3}, {4, 1, 8},  {4, 2, 8},  {4, 3, 8}};
    const uint64_t want[SceneCount] = {11729355234729988177u, 9415732602333892685u,
                                       3070742194599331093u, 6386205224387178653u,
                                       6961454902780906979u};
    const SceneFunction scenes[] = {RunScene0, RunScene1, RunScene2, RunScene3, RunScene4};
    std::copy(scenes, scenes + SceneCount, SceneTable);
    for (int scene = 0; scene < SceneCount; ++scene) {
        trace.clear();
        for (bool plus : {false, true})
            for (const auto& m : moments)
                if (m[0] == scene) {
                    DemoSettings.demoPlus = plus;
                    Enter(scene, m[1], static_cast<float>(m[2]));
                    RenderFrame();
                }
        uint64_t fold = 14695981039346656037u;  // FNV-1a: the same with every library
        for (unsigned char c : trace) fold = (fold ^ c) * 1099511628211u;
        EXPECT_EQ(fold, want[scene]) << "scene " << scene << "'s passes:\n" << trace;
    }
    PassMark = nullptr;
}
