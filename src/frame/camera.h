// Camera pose and light 1: the scenes write them on every pass before they
// draw; the helpers below put them into GL.
#pragma once

struct CameraPoseRecord {
    float position[3] = {0, 0, 0};  // world units
    float angles[3] = {0, 0, 0};    // degrees about x, y, z
};

// Camera and light 1: written by the scenes on every pass before they draw.
extern CameraPoseRecord CameraPose;
extern float LightAmbient[4];
extern float LightDiffuse[4];
extern float LightPosition[4];

// Puts the camera and light globals back to the values the process starts
// with.
void ResetCameraAndLight();  // the last group alone
void ApplyCameraRotation();
// Moves the world by -CameraPose.position: after the rotation and the sky,
// the rest of a scene draws in world coordinates.
void ApplyCameraTranslation();
void ApplyCamera();  // rotation, then translation
void SetLight(float ar, float ag, float ab, float dr, float dg, float db, float px, float py,
              float pz);
