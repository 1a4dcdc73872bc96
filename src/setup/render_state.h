// The GL state every frame starts from, and the brightness gamma ramp.
#pragma once

#include <cstdint>

class GLUquadric;
extern GLUquadric* SharedQuadric;  // smooth normals, texture coordinates; never deleted

// Steps that fix the initial GL state and create the shared quadric; the
// show's start-up runs them first.
void InitFixedRenderState();

// The three identical 256-entry tables for brightness b in [-1, 1].
void BuildBrightnessRamp(float b, uint16_t ramp[256]);
