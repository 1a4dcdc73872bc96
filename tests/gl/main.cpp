// Entry point of the gl tests: one headless context before the first test.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "passes/glow.h"
#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/viewport.h"
#include "frame/frame.h"
#include "geometry/models.h"
#include "gl_test_support.h"
#include "platform/headless.h"
#include "resources/images.h"
#include "scenes/scenes.h"

namespace {
int ContextWidth = 0;
int ContextHeight = 0;
}  // namespace

bool UseGlTestContext(int width, int height) {
    if (!CreateHeadlessContext(width, height))
        return false;
    ContextWidth = width;
    ContextHeight = height;
    // Names from the context just replaced mean nothing in this one.
    for (unsigned int& name : TextureTable) name = 0;
    for (unsigned int& name : DisplayListTable) name = 0;
    GlowTexture = 0;
    DemoSettings.width = width;
    DemoSettings.height = height;
    glViewport(0, 0, width, height);
    return true;
}

bool UseSceneTestContext() {
    if (!UseGlTestContext(GlTestWidth, GlTestHeight))
        return false;
    DemoSettings.aspect = 1.0f;
    ResizeViewport(GlTestWidth, GlTestHeight);
    InitFixedRenderState();
    CreateGlowTexture();
    return true;
}

int GlTestContextWidth() {
    return ContextWidth;
}
int GlTestContextHeight() {
    return ContextHeight;
}

std::vector<unsigned char> ReadRgb(int x, int y, int w, int h) {
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

Rgb AverageRgb(int x, int y, int w, int h) {
    std::vector<unsigned char> pixels = ReadRgb(x, y, w, h);
    double sum[3] = {0, 0, 0};
    for (size_t i = 0; i < pixels.size(); ++i) sum[i % 3] += pixels[i];
    double count = static_cast<double>(w) * h;
    return Rgb{float(sum[0] / count), float(sum[1] / count), float(sum[2] / count)};
}

unsigned int MakeSolidTexture(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = r;
        pixels[i + 1] = g;
        pixels[i + 2] = b;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return name;
}

bool WritePpm(const char* path) {
    std::vector<unsigned char> pixels = ReadRgb(0, 0, ContextWidth, ContextHeight);
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    std::fprintf(file, "P6\n%d %d\n255\n", ContextWidth, ContextHeight);
    size_t row = static_cast<size_t>(ContextWidth) * 3;
    for (int y = ContextHeight - 1; y >= 0; --y) std::fwrite(&pixels[y * row], 1, row, file);
    return std::fclose(file) == 0;
}

SceneMusicLog Music;

namespace {
bool RecordPlay(AudioHandle handle, bool restart) {
    Music.plays += 1;
    Music.playHandle = handle;
    Music.playRestart = restart;
    return true;
}

bool RecordSeek(AudioHandle handle, uint64_t bytes) {
    Music.seeks += 1;
    Music.seekHandle = handle;
    Music.seekBytes = bytes;
    return true;
}

float LoggedSeconds() {
    return Music.seconds;
}
}  // namespace

void UseSceneMusicLog() {
    Music = SceneMusicLog();
    SceneMusic = SceneMusicInterface{RecordPlay, RecordSeek, LoggedSeconds};
}

float SecondsForBeat(float offset, float beat) {
    return static_cast<float>((beat + offset) * CounterUnitSeconds);
}

namespace {
// Every test starts from a context with no GL error pending and the scene
// state of a fresh process, whatever ran before it, so the suite passes in
// any order. (Scene tests without display lists leave glCallList(0)'s error.)
struct FreshStateEachTest : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        while (glGetError() != GL_NO_ERROR) {
        }
        ResetSceneState();
        // A scene's first frame clears before its look sets the colour: with
        // another test's colour left, that frame's glow takes it.
        glClearColor(0, 0, 0, 0);
    }
};
}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Test discovery only lists names: it needs no context.
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    if (!UseGlTestContext(GlTestWidth, GlTestHeight)) {
        std::fprintf(stderr, "no headless GL context; the gl tests cannot run\n");
        return 1;
    }
    testing::UnitTest::GetInstance()->listeners().Append(new FreshStateEachTest);
    return RUN_ALL_TESTS();
}
