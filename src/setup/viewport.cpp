// Projection and rectangle helpers used by every part that draws.
#include "setup/viewport.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "setup/settings.h"

void ResizeViewport(int w, int h) {
    if (h == 0)
        h = 1;
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    DemoSettings.width = w;
    DemoSettings.height = h;
    // The dialog's aspect, not w / h: a reshaped window stretches the picture.
    gluPerspective(50.0, DemoSettings.aspect, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void FollowDrawableSize(int w, int h) {
    glViewport(0, 0, w, h);
    DemoSettings.width = w;
    DemoSettings.height = h;
}

void BeginOverlay2D() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 1.0, 1.0, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void EndOverlay2D() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void DrawTexturedQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1,
                      float t1) {
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glTexCoord2f(s0, t0);
    glVertex3f(x0, y0, 0.0f);
    glTexCoord2f(s1, t0);
    glVertex3f(x1, y0, 0.0f);
    glTexCoord2f(s1, t1);
    glVertex3f(x1, y1, 0.0f);
    glTexCoord2f(s0, t1);
    glVertex3f(x0, y1, 0.0f);
    glEnd();
}

void DrawUnitTexturedQuad(float x0, float y0, float x1, float y1) {
    DrawTexturedQuad(x0, y0, x1, y1, 0.0f, 0.0f, 1.0f, 1.0f);
}

void DrawUnitQuadOutline(float x0, float y0, float x1, float y1) {
    const float corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    glBegin(GL_LINES);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (int k : QuadOutlineCorners) {
        glTexCoord2f(k == 1 || k == 2 ? 1.0f : 0.0f, k >= 2 ? 1.0f : 0.0f);
        glVertex3f(corners[k][0], corners[k][1], 0.0f);
    }
    glEnd();
}
