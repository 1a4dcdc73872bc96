// Lattice shell: 602 squares on the surface of a cube, each facing the viewer.
#include "geometry/lattice.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

#include "frame/frame.h"

LatticePointsRecord LatticePoints;

namespace {

constexpr float LatticeSpacing = 0.4f;
constexpr float SquareHalf = 0.175f;

void AppendLatticePoint(int i, int j, int k) {
    float* p = LatticePoints.points[LatticePoints.count++];
    p[0] = static_cast<float>(i);
    p[1] = static_cast<float>(j);
    p[2] = static_cast<float>(k);
}

void DrawSquare() {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-SquareHalf, -SquareHalf, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(SquareHalf, -SquareHalf, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(SquareHalf, SquareHalf, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-SquareHalf, SquareHalf, 0.0f);
    glEnd();
}

}  // namespace

void FillLatticePoints() {
    LatticePoints.count = 0;
    for (int i = -5; i <= 5; ++i) {
        for (int j = -5; j <= 5; ++j) {
            for (int k = -5; k <= 5; ++k) {
                if (LatticePoints.count >= LatticeCapacity)
                    break;
                if (std::abs(i) == 5 || std::abs(j) == 5 || std::abs(k) == 5)
                    AppendLatticePoint(i, j, k);
            }
        }
    }
    LatticePoints.filled = true;
}

void LatticeSquareColor(const float p[3], float phase, float alpha, float rgba[4]) {
    const double x = p[0], y = p[1], z = p[2];
    rgba[0] = static_cast<float>(2.0 * std::fabs(std::sin((std::sin(z) + y + x) / 5.0 + phase)));
    rgba[1] = static_cast<float>(2.0 * std::fabs(std::sin((std::sin(y) + z + x) / 5.0 + phase)));
    rgba[2] = static_cast<float>(2.0 * std::fabs(std::sin((std::sin(x) + z + y) / 5.0 + phase)));
    rgba[3] = alpha;
}

// Each square undoes the shell's turn and the camera's y and x turns, so it
// faces the viewer while its position turns with the shell.
void DrawLatticeShell(float phase, float alpha) {
    if (!LatticePoints.filled)
        FillLatticePoints();
    const float a = phase * 20.0f, b = phase * 15.0f, c = phase * 10.0f;
    glPushMatrix();
    glRotatef(a, 1.0f, 0.0f, 0.0f);
    glRotatef(b, 0.0f, 1.0f, 0.0f);
    glRotatef(c, 0.0f, 0.0f, 1.0f);
    for (int n = 0; n < LatticePoints.count; ++n) {
        const float* p = LatticePoints.points[n];
        float rgba[4];
        LatticeSquareColor(p, phase, alpha, rgba);
        glPushMatrix();
        glTranslatef(LatticeSpacing * p[0], LatticeSpacing * p[1], LatticeSpacing * p[2]);
        glRotatef(c, 0.0f, 0.0f, -1.0f);
        glRotatef(b, 0.0f, -1.0f, 0.0f);
        glRotatef(a, -1.0f, 0.0f, 0.0f);
        glRotatef(CameraPose.angles[1], 0.0f, 1.0f, 0.0f);
        glRotatef(CameraPose.angles[0], 1.0f, 0.0f, 0.0f);
        glColor4fv(rgba);
        DrawSquare();
        glPopMatrix();
    }
    glPopMatrix();
}
