// The terrain field under its sky, the detail texture over the terrain and
// the star box, drawn by scenes 2 and 3, and the sky cone behind the terrain
// (scenes 0, 2 and 3).
#include <GL/gl.h>

#include "setup/settings.h"
#include "frame/frame.h"
#include "passes/pass_state.h"
#include "geometry/models.h"
#include "geometry/terrain.h"
#include "scenes/scenes.h"

namespace {

// Texture matrix := identity scaled by s on all axes; the model-view matrix
// is current again afterwards.
void SetTextureScale(float s) {
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(s, s, s);
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

PassState PassWithColor(const PassState& pass, float r, float g, float b, float a) {
    PassState copy = pass;
    copy.color[0] = r;
    copy.color[1] = g;
    copy.color[2] = b;
    copy.color[3] = a;
    return copy;
}

void DrawSkyBehindTerrain(const PassState& pass, const float top[3], const float rim[3],
                          const float bottom[3]) {
    float color[4], normal[3], texCoord[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    ApplyPassState(pass);
    glDepthRange(1.0, 1.0);
    DrawSkyCone(top[0], top[1], top[2], rim[0], rim[1], rim[2], bottom[0], bottom[1], bottom[2]);
    glDepthRange(0.0, 1.0);
    glColor4fv(color);
    glNormal3fv(normal);
    glTexCoord4fv(texCoord);
}

void DrawTerrainUnderSky(void (*layers)(float amount), float amount, const PassState& skyPass,
                         const float horizon[3]) {
    glLoadIdentity();
    ApplyCameraRotation();
    glPushMatrix();
    ApplyCameraTranslation();
    layers(amount);
    glPopMatrix();
    const float black[3] = {0, 0, 0};
    DrawSkyBehindTerrain(skyPass, black, horizon, black);
    ApplyCameraTranslation();
}

void DrawDetailTerrain() {
    SetTextureScale(8);
    DrawTerrainTiles();
    SetTextureScale(1);
}

// DrawCube runs with the texture matrix current: its quarter turn turns the
// texture, and the box itself follows the model-view matrix alone.
void DrawStarBox(const PassState& pass, float size, float angle) {
    glLoadIdentity();
    ApplyCameraRotation();  // no translation: the box stays centred on the viewer
    ApplyPassState(pass);
    glScalef(size, size, size);
    glRotatef(angle, -1, -1, -1);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(2, 2, 2);
    DrawCube();
    if (DemoSettings.demoPlus) {
        glScalef(2, 2, 2);  // a second, finer layer of stars
        DrawCube();
    }
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}
