// The fixed-function state of one drawing pass as a small record, applied in
// one fixed order, so every scene's passes read as a table and cannot drift.
#pragma once

#include <GL/gl.h>

#include "resources/images.h"

// Bits of PassState::switches: the switches listed are turned on, the other
// ones of these six are turned off.
enum PassSwitch : unsigned {
    PassTexture2D = 1u << 0,      // GL_TEXTURE_2D
    PassColorMaterial = 1u << 1,  // GL_COLOR_MATERIAL
    PassLighting = 1u << 2,       // GL_LIGHTING
    PassBlend = 1u << 3,          // GL_BLEND
    PassCullFace = 1u << 4,       // GL_CULL_FACE
    PassDepthTest = 1u << 5,      // GL_DEPTH_TEST
};

// Switch sets the pass tables share: textured, coloured and blended without
// the depth test (sprites, overlays, text), and the same depth tested
// (terrain layers, and the state every scene may rely on after it).
constexpr unsigned SpriteSwitches = PassTexture2D | PassColorMaterial | PassBlend;
constexpr unsigned TerrainSwitches = SpriteSwitches | PassDepthTest;

// PassState::texture when the pass binds nothing (the previous binding stays).
constexpr int PassNoTexture = -1;

// One row of a scene's pass table. Fields are in table column order, so a
// row is written as an aggregate:
//   {4, PassTexture2D | PassColorMaterial | PassBlend, false, false,
//    {0.08f, 0.08f, 0.08f, 1}, GL_ONE, GL_ONE, false, GL_FILL}
// A row that reads "as pass N" repeats pass N's switches and depth writes.
// A row whose switches and depth writes read "unchanged" sets keepSwitches.
struct PassState {
    int texture;         // a TextureSlot, or PassNoTexture
    unsigned switches;   // PassSwitch bits switched on; all others off
    bool keepSwitches;   // true: switches, fog and depth writes stay as they are
    bool depthWrites;    // glDepthMask
    float color[4];      // glColor4fv, RGBA
    GLenum blendSrc;     // glBlendFunc source factor
    GLenum blendDst;     // glBlendFunc destination factor
    bool textureGen;     // GL_TEXTURE_GEN_S and GL_TEXTURE_GEN_T together
    GLenum polygonMode;  // GL_FILL or GL_LINE, front and back faces
};

// Sets the pass's state in this order: the six switches (GL_TEXTURE_2D,
// GL_COLOR_MATERIAL, GL_LIGHTING, GL_BLEND, GL_CULL_FACE, GL_DEPTH_TEST),
// GL_FOG off, depth writes (these three skipped with keepSwitches), the
// texture binding, colour, blend factors, texture generation, polygon mode.
void ApplyPassState(const PassState& pass);

// Binds TextureTable[slot] to GL_TEXTURE_2D; PassNoTexture binds nothing.
void BindTextureSlot(int slot);

// Called at each boundary between the steps of a frame when set: every
// ApplyPassState (label "pass", its texture slot) and the frame's own steps
// (texture PassNoTexture). The renderer's --pass-log times the steps with it;
// null, the normal case, costs one test per pass.
extern void (*PassMark)(const char* label, int texture);
