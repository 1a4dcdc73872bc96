// Camera transform helpers over CameraPose, and light 1.
#include <GL/gl.h>

#include <cstring>

#include "frame/camera.h"

namespace {
// Light 1 as the process starts: ambient (negative on purpose: it darkens),
// diffuse, and position (w = 1: a positional light).
constexpr float AmbientAtStart[4] = {-0.15f, -0.15f, -0.1f, 1.0f};
constexpr float DiffuseAtStart[4] = {0.9f, 0.8f, 0.7f, 1.0f};
constexpr float PositionAtStart[4] = {180.0f, 100.0f, 20.0f, 1.0f};
}  // namespace

CameraPoseRecord CameraPose;
float LightAmbient[4] = {AmbientAtStart[0], AmbientAtStart[1], AmbientAtStart[2],
                         AmbientAtStart[3]};
float LightDiffuse[4] = {DiffuseAtStart[0], DiffuseAtStart[1], DiffuseAtStart[2],
                         DiffuseAtStart[3]};
float LightPosition[4] = {PositionAtStart[0], PositionAtStart[1], PositionAtStart[2],
                          PositionAtStart[3]};

void ResetCameraAndLight() {
    CameraPose = CameraPoseRecord();
    std::memcpy(LightAmbient, AmbientAtStart, sizeof LightAmbient);
    std::memcpy(LightDiffuse, DiffuseAtStart, sizeof LightDiffuse);
    std::memcpy(LightPosition, PositionAtStart, sizeof LightPosition);
}

void ApplyCameraRotation() {
    glRotatef(-CameraPose.angles[0], 1.0f, 0.0f, 0.0f);
    glRotatef(-CameraPose.angles[1], 0.0f, 1.0f, 0.0f);
    glRotatef(-CameraPose.angles[2], 0.0f, 0.0f, 1.0f);
}

void ApplyCameraTranslation() {
    glTranslatef(-CameraPose.position[0], -CameraPose.position[1], -CameraPose.position[2]);
}

void ApplyCamera() {
    ApplyCameraRotation();
    ApplyCameraTranslation();
}

// The position is transformed by the model-view matrix current now, so
// scenes call this after placing the camera.
void SetLight(float ar, float ag, float ab, float dr, float dg, float db, float px, float py,
              float pz) {
    LightAmbient[0] = ar;
    LightAmbient[1] = ag;
    LightAmbient[2] = ab;
    LightDiffuse[0] = dr;
    LightDiffuse[1] = dg;
    LightDiffuse[2] = db;
    LightPosition[0] = px;
    LightPosition[1] = py;
    LightPosition[2] = pz;
    glLightfv(GL_LIGHT1, GL_AMBIENT, LightAmbient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, LightDiffuse);
    glLightfv(GL_LIGHT1, GL_POSITION, LightPosition);
}
