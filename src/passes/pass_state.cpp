// Applies one drawing pass's fixed-function state in the fixed order.
#include "passes/pass_state.h"

#include "resources/images.h"

namespace {
// In PassSwitch bit order, which is also the order they are set in.
const GLenum SwitchCaps[6] = {GL_TEXTURE_2D, GL_COLOR_MATERIAL, GL_LIGHTING,
                              GL_BLEND,      GL_CULL_FACE,      GL_DEPTH_TEST};

void SetCap(GLenum cap, bool on) {
    if (on) {
        glEnable(cap);
    } else {
        glDisable(cap);
    }
}

void ApplySwitches(unsigned switches, bool depthWrites) {
    for (int i = 0; i < 6; ++i) SetCap(SwitchCaps[i], (switches & (1u << i)) != 0);
    glDisable(GL_FOG);
    glDepthMask(depthWrites ? GL_TRUE : GL_FALSE);
}
}  // namespace

void (*PassMark)(const char* label, int texture) = nullptr;

void BindTextureSlot(int slot) {
    if (slot >= 0 && slot < TextureTableSize)
        glBindTexture(GL_TEXTURE_2D, TextureTable[slot]);
}

void ApplyPassState(const PassState& pass) {
    if (PassMark)
        PassMark("pass", pass.texture);
    if (!pass.keepSwitches)
        ApplySwitches(pass.switches, pass.depthWrites);
    BindTextureSlot(pass.texture);
    glColor4fv(pass.color);
    glBlendFunc(pass.blendSrc, pass.blendDst);
    SetCap(GL_TEXTURE_GEN_S, pass.textureGen);
    SetCap(GL_TEXTURE_GEN_T, pass.textureGen);
    glPolygonMode(GL_FRONT_AND_BACK, pass.polygonMode);
}
