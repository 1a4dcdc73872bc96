// Whole frames of scenes 0 and 1 with the real data: what each section shows.
// Every frame is also written to <build>/scene_frames/*.ppm for a person to look at.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/render_state.h"
#include "app/settings.h"
#include "app/viewport.h"
#include "frame/frame.h"
#include "gl_test_support.h"
#include "geometry/models.h"
#include "geometry/wave.h"
#include "platform/platform.h"
#include "resources/images.h"
#include "scenes/scenes.h"

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
        LoadTextureTable();
        BuildDisplayLists();
        mkdir(NORVALE_BINARY_DIR "/scene_frames", 0755);
    }
    static void TearDownTestSuite() {
        if (haveData)
            UseGlTestContext(GlTestWidth, GlTestHeight);
        ResetPlatformDefaults();
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

// Palettes 0, 1, 2 lean to red, green, blue; the horizon of the sky is white.
TEST_F(SceneFrames, WaveSceneShowsQuadsInThePaletteColoursUnderAWhiteHorizon) {
    for (const Moment& m : Scene1Moments) {
        Render(m);
        EXPECT_GT(TintedShare(m.palette), 0.005f) << m.name;
        EXPECT_LT(TintedShare((m.palette + 1) % 3), 0.002f) << m.name;
        EXPECT_GT(BandBrightness(0.14f, 0.22f), 200.0f) << m.name;
    }
}
