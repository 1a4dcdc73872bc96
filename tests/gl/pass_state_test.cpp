// Pass state: every field reaches GL, and keepSwitches keeps what it should.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "passes/pass_state.h"
#include "resources/images.h"

namespace {
const GLenum Caps[6] = {GL_TEXTURE_2D, GL_COLOR_MATERIAL, GL_LIGHTING,
                        GL_BLEND,      GL_CULL_FACE,      GL_DEPTH_TEST};

unsigned EnabledSwitches() {
    unsigned bits = 0;
    for (int i = 0; i < 6; ++i) bits |= glIsEnabled(Caps[i]) ? (1u << i) : 0u;
    return bits;
}

GLint Integer(GLenum name) {
    GLint values[4] = {0, 0, 0, 0};
    glGetIntegerv(name, values);
    return values[0];
}

void ExpectColor(float r, float g, float b, float a) {
    GLfloat color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[0], r);
    EXPECT_FLOAT_EQ(color[1], g);
    EXPECT_FLOAT_EQ(color[2], b);
    EXPECT_FLOAT_EQ(color[3], a);
}

const PassState LitTerrain = {0,
                              PassLighting | PassBlend | PassDepthTest,
                              false,
                              true,
                              {0.2f, 0.3f, 0.4f, 0.5f},
                              GL_SRC_ALPHA,
                              GL_ONE_MINUS_SRC_ALPHA,
                              false,
                              GL_FILL};
const PassState Sprites = {4,
                           PassTexture2D | PassColorMaterial | PassBlend | PassCullFace,
                           false,
                           false,
                           {1, 1, 1, 1},
                           GL_ONE,
                           GL_ONE,
                           true,
                           GL_LINE};
}  // namespace

TEST(PassState, SetsEverySwitchAndValue) {
    glEnable(GL_FOG);
    TextureTable[0] = 0;
    TextureTable[4] = 77;
    for (const PassState& pass : {LitTerrain, Sprites}) {
        ApplyPassState(pass);
        EXPECT_EQ(EnabledSwitches(), pass.switches);
        EXPECT_FALSE(glIsEnabled(GL_FOG));
        EXPECT_EQ(Integer(GL_DEPTH_WRITEMASK), pass.depthWrites ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(TextureTable[pass.texture]));
        ExpectColor(pass.color[0], pass.color[1], pass.color[2], pass.color[3]);
        EXPECT_EQ(Integer(GL_BLEND_SRC), GLint(pass.blendSrc));
        EXPECT_EQ(Integer(GL_BLEND_DST), GLint(pass.blendDst));
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_GEN_S), pass.textureGen);
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_GEN_T), pass.textureGen);
        GLint modes[2];
        glGetIntegerv(GL_POLYGON_MODE, modes);
        EXPECT_EQ(modes[0], GLint(pass.polygonMode));
        EXPECT_EQ(modes[1], GLint(pass.polygonMode));
    }
    TextureTable[4] = 0;
}

TEST(PassState, KeepSwitchesAndNoTextureLeaveWhatTheyShould) {
    ApplyPassState(LitTerrain);
    glEnable(GL_FOG);
    PassState wire = {PassNoTexture, PassTexture2D, true,  false,  {0.2f, 0.2f, 0.2f, 1},
                      GL_ONE,        GL_ONE,        false, GL_LINE};
    glBindTexture(GL_TEXTURE_2D, 77);
    ApplyPassState(wire);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), 77);  // PassNoTexture binds nothing
    EXPECT_EQ(EnabledSwitches(), LitTerrain.switches);
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_EQ(Integer(GL_DEPTH_WRITEMASK), GL_TRUE);
    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_ONE);
    ExpectColor(0.2f, 0.2f, 0.2f, 1);
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_LINE);
    glDisable(GL_FOG);
}
