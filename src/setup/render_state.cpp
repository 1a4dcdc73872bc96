// The GL state every frame starts from, the shared quadric, and the
// brightness gamma ramp's tables.
#include "setup/render_state.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "setup/settings.h"
#include "frame/camera.h"

GLUquadric* SharedQuadric = nullptr;

namespace {
void InitLightAndPolygons() {
    glLightfv(GL_LIGHT1, GL_AMBIENT, LightAmbient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, LightDiffuse);
    glLightfv(GL_LIGHT1, GL_POSITION, LightPosition);
    // Wireframe is the start state; scenes switch to fill where they need it.
    glPolygonMode(GL_BACK, GL_LINE);
    glPolygonMode(GL_FRONT, GL_LINE);
    glLineWidth(DemoSettings.height / 100.0f);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

void InitSphereMapAndQuadric() {
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    SharedQuadric = gluNewQuadric();
    gluQuadricNormals(SharedQuadric, GLU_SMOOTH);
    gluQuadricTexture(SharedQuadric, GL_TRUE);
}

void InitFog() {
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogfv(GL_FOG_COLOR, white);
    glFogf(GL_FOG_DENSITY, 0.35f);
    glFogf(GL_FOG_START, 0.5f);
    glFogf(GL_FOG_END, 5.0f);
    glHint(GL_FOG_HINT, GL_DONT_CARE);
    glEnable(GL_FOG);
}
}  // namespace

void InitFixedRenderState() {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.5f, 0.5f, 0.5f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    InitLightAndPolygons();
    InitSphereMapAndQuadric();
    InitFog();
}

void BuildBrightnessRamp(float b, uint16_t ramp[256]) {
    // Double arithmetic and truncation towards zero: step 128..383 for b in [-1, 1].
    int k = static_cast<int>((b * 0.5 + 0.5) * -255.0);
    int step = 128 - k;
    for (int i = 0; i < 256; ++i) {
        int value = i * step;
        if (value < 0)
            value = 0;  // only reachable below b = -1, which the dialog refuses
        ramp[i] = static_cast<uint16_t>(value > 65535 ? 65535 : value);
    }
}
