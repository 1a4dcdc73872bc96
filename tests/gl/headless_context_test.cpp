// The headless context: a readable default framebuffer with depth, copies
// into textures, and a size that can be changed.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

#include "gl_test_support.h"

TEST(HeadlessContext, ClearsReadsAndCopiesTheFramebuffer) {
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);
    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Rgb c = AverageRgb(0, 0, GlTestContextWidth(), GlTestContextHeight());
    EXPECT_NEAR(c.r, 255, 1);
    EXPECT_NEAR(c.g, 128, 1);
    EXPECT_NEAR(c.b, 0, 1);

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 16, 16, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    std::vector<unsigned char> texels(16 * 16 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels[0], 255);
    EXPECT_NEAR(texels[1], 128, 1);
    glDeleteTextures(1, &name);
}

TEST(HeadlessContext, CanBeRecreatedAtAnotherSize) {
    ASSERT_TRUE(UseGlTestContext(100, 60));
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 100);
    EXPECT_EQ(viewport[3], 60);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_NEAR(AverageRgb(99, 59, 1, 1).g, 255, 1);
    ASSERT_TRUE(UseGlTestContext(GlTestWidth, GlTestHeight));
}
